// Copyright the kvstore authors.
//
// Loader of the message library. The handle is the only process-wide state
// of the tree unit: read without a lock once it is set, searched for under a
// lock, so that threads raising their first exceptions at once load the
// library once (see kv_exceptions.h).
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <string>

#include "kvstore/kv_exceptions.h"
#include "platform/codepage.h"

namespace {

constexpr const char* kMessageLibrary = "libkvres14.so";
constexpr const char* kLanguageLibrary = "libuserdata.so";
constexpr const char* kLanguageExport = "orudGetProductUILanguage";
// The relative path <language>/libkvres14.so is bounded like the original
// 260-unit path buffer; a longer language name is not tried.
constexpr std::size_t kMaxRelativePath = 260;

// The handle, 0 until a search succeeds. Searches run one at a time.
std::atomic<uint64_t> g_message_library{0};
std::mutex g_search;

void* open_library(const std::string& path) {
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

// The folder of the running executable, with its trailing "/"; empty when it
// cannot be found.
std::string executable_folder() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof(path) - 1) return std::string();
  path[n] = 0;
  std::string full(path, static_cast<std::size_t>(n));
  std::size_t slash = full.rfind('/');
  return slash == std::string::npos ? std::string() : full.substr(0, slash + 1);
}

__attribute__((destructor)) void release_message_library() {
  const uint64_t handle = g_message_library.exchange(0);
  if (handle != 0) dlclose(reinterpret_cast<void*>(static_cast<uintptr_t>(handle)));
}

// The search for the library (see GetKVErrResHandle); 0 when it fails.
uint64_t search_message_library() {
  if (void* found = open_library(kMessageLibrary)) return reinterpret_cast<uintptr_t>(found);

  std::string language = "en-US";
  void* language_library = nullptr;
  std::string folder = executable_folder();
  if (!folder.empty()) {
    language_library = open_library(folder + kLanguageLibrary);
    if (language_library != nullptr) {
      using LanguageFn = const char16_t* (*)();
      auto fn = reinterpret_cast<LanguageFn>(dlsym(language_library, kLanguageExport));
      if (fn != nullptr) {
        if (const char16_t* reported = fn()) language = kv_u16_to_utf8(reported);
      }
    }
  }

  std::string relative = language + "/" + kMessageLibrary;
  void* localized = relative.size() < kMaxRelativePath ? open_library(relative) : nullptr;
  if (language_library != nullptr) dlclose(language_library);
  return reinterpret_cast<uintptr_t>(localized);
}

}  // namespace

uint64_t GetKVErrResHandle() {
  const uint64_t cached = g_message_library.load(std::memory_order_acquire);
  if (cached != 0) return cached;
  // Every exception asks for the handle; a failed search must not disturb
  // the errno that a stream check is about to read.
  const int saved_errno = errno;
  uint64_t handle;
  {
    std::lock_guard<std::mutex> lock(g_search);
    // Another thread may have found it while this one waited.
    handle = g_message_library.load(std::memory_order_acquire);
    if (handle == 0) {
      // A failed search leaves 0, so that the next call searches again.
      handle = search_message_library();
      g_message_library.store(handle, std::memory_order_release);
    }
  }
  errno = saved_errno;
  return handle;
}

const char16_t* kv_message_text(uint64_t module, unsigned id) {
  if (module == 0) return nullptr;
  using TextFn = const char16_t* (*)(unsigned);
  auto fn = reinterpret_cast<TextFn>(
      dlsym(reinterpret_cast<void*>(static_cast<uintptr_t>(module)), "kvres_text"));
  return fn != nullptr ? fn(id) : nullptr;
}
