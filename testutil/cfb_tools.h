// Copyright the kvstore authors.
//
// Compound files seen from outside, for tests: a listing of a document in one
// fixed text form, and the same listing made by python3-olefile (through
// platform/testdata/cfb_olefile_list.py) and checks with libgsf's gsf tool.
// Tests that need a tool skip when it is not installed (see have_olefile).
#ifndef KVSTORE_TESTUTIL_CFB_TOOLS_H_
#define KVSTORE_TESTUTIL_CFB_TOOLS_H_

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/compound_file.h"
#include "testutil/sha256.h"

struct RunResult {
  int exit_code = -1;
  std::string out;
};

// Runs a shell command and collects its standard output.
inline RunResult run_command(const std::string& command) {
  RunResult r;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return r;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) r.out.append(buffer, n);
  const int status = ::pclose(pipe);
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

inline std::string shell_quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out.push_back(c);
    }
  }
  return out + "'";
}

inline std::string shell_quote(const std::filesystem::path& p) {
  return shell_quote(p.string());
}

// The source folder (tests run with KV_SOURCE_DIR set).
inline std::string source_dir() {
  const char* dir = std::getenv("KV_SOURCE_DIR");
  return dir != nullptr ? dir : ".";
}

// The Debian interpreter: another python3 may come first on PATH and lack
// the Debian modules.
inline const char* debian_python() {
  return "/usr/bin/python3";
}

inline bool have_olefile() {
  static const bool present =
      run_command(std::string(debian_python()) + " -c 'import olefile' 2>/dev/null").exit_code == 0;
  return present;
}

inline bool have_gsf() {
  static const bool present = run_command("command -v gsf >/dev/null 2>&1").exit_code == 0;
  return present;
}

#define KV_REQUIRE_OLEFILE()                                                             \
  if (!have_olefile())                                                                   \
  GTEST_SKIP() << "python3-olefile is not installed (apt-get install python3-olefile); " \
                  "the check by an independent reader is skipped"
#define KV_REQUIRE_GSF()                                                                \
  if (!have_gsf())                                                                      \
  GTEST_SKIP() << "gsf is not installed (apt-get install libgsf-bin); the check by an " \
                  "independent reader is skipped"

// "D <path>" per storage and "S <path> <size> <sha256>" per stream, sorted,
// paths joined by "/" in UTF-8: the form of cfb_olefile_list.py.
inline std::string cfb_listing(kv_compound_file& doc) {
  std::vector<std::string> lines;
  struct Level {
    kv_cfb_enumerator it;
    std::string prefix;
  };
  std::vector<Level> stack;
  stack.push_back({kv_cfb_enumerator(doc.root()), ""});
  while (!stack.empty()) {
    kv_cfb_entry e;
    if (!stack.back().it.next(e)) {
      stack.pop_back();
      continue;
    }
    const std::string path = stack.back().prefix + kv_u16_to_utf8(std::u16string(e.name).c_str());
    if (e.kind == kv_cfb_kind::storage) {
      lines.push_back("D " + path);
      stack.push_back({kv_cfb_enumerator(e.storage()), path + "/"});
    } else {
      kv_cfb_stream s = e.stream();
      std::string data(static_cast<std::size_t>(s.size()), '\0');
      s.read(data.data(), data.size());
      lines.push_back("S " + path + " " + std::to_string(data.size()) + " " + sha256_hex(data));
    }
  }
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

// The listing of the file's bytes by our reader, or "ERROR <cause>".
inline std::string cfb_listing_of(const std::string& bytes) {
  kv_cfb_status status;
  auto doc = kv_compound_file::parse(bytes.data(), bytes.size(), status);
  if (doc == nullptr) return std::string("ERROR ") + kv_cfb_error_name(status.error);
  return cfb_listing(*doc);
}

// The listing by olefile at its strictest, or its "ERROR ..." line.
inline std::string olefile_listing(const std::filesystem::path& file) {
  return run_command(std::string(debian_python()) + " " +
                     shell_quote(source_dir() + "/platform/testdata/cfb_olefile_list.py") + " " +
                     shell_quote(file) + " 2>&1")
      .out;
}

// What gsf list prints on standard error (empty for a sound file), or a
// note of its exit status when it fails.
inline std::string gsf_complaints(const std::filesystem::path& file) {
  const RunResult r = run_command("gsf list " + shell_quote(file) + " 2>&1 >/dev/null");
  return r.exit_code == 0 ? r.out : "exit " + std::to_string(r.exit_code) + ": " + r.out;
}

#endif  // KVSTORE_TESTUTIL_CFB_TOOLS_H_
