// Copyright the kvstore authors.
#include "platform/replace_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/codepage.h"

namespace {

// Links followed before giving up, as the kernel does (ELOOP).
constexpr int kMaxLinks = 40;
// Bytes of the target's name kept in the new file's name.
constexpr std::size_t kMaxNameBytes = 200;
// Names tried before giving up on a folder that has them all.
constexpr int kMaxAttempts = 100;

// Six characters for a unique name. getrandom rarely fails; a counter and
// the clock stand in when it does (the name is only tried, never trusted).
std::string random_suffix() {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::atomic<uint64_t> counter{0};
  uint64_t bits = 0;
  if (getrandom(&bits, sizeof(bits), GRND_NONBLOCK) != static_cast<ssize_t>(sizeof(bits))) {
    bits = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
           (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull) ^ static_cast<uint64_t>(::getpid());
  }
  std::string suffix;
  for (int i = 0; i < 6; ++i) {
    suffix.push_back(kChars[bits % 62]);
    bits /= 62;
  }
  return suffix;
}

// name cut to at most max bytes, never inside a UTF-8 sequence.
std::string cut_name(const std::string& name, std::size_t max) {
  if (name.size() <= max) return name;
  std::size_t end = max;
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  return name.substr(0, end);
}

// Flushes a folder to the disk; a folder that cannot be flushed is left so.
void sync_folder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Whether another open file holds an exclusive flock on path. The probe
// takes a shared lock for a moment, which a holder of an exclusive lock
// refuses; a file that cannot be opened for reading is taken as unlocked.
bool locked_by_another(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  bool locked = false;
  if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
    locked = errno == EWOULDBLOCK;
  } else {
    ::flock(fd, LOCK_UN);
  }
  ::close(fd);
  return locked;
}

}  // namespace

kv_replace_file::kv_replace_file(const char16_t* target) : m_target(target) {
  if (target == nullptr) return;
  m_path = kv_u16_to_utf8(target);
  if (m_path.empty()) return;

  // Follow links to the file that they name.
  struct stat info;
  for (int links = 0;; ++links) {
    if (::lstat(m_path.c_str(), &info) != 0) {
      if (errno != ENOENT) return;  // a plain write meets the same error
      m_exists = false;
      break;
    }
    if (!S_ISLNK(info.st_mode)) {
      m_exists = true;
      break;
    }
    if (links == kMaxLinks) return;
    std::vector<char> buffer(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 2);
    const ssize_t n = ::readlink(m_path.c_str(), buffer.data(), buffer.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return;
    std::string next(buffer.data(), static_cast<std::size_t>(n));
    if (next[0] != '/') {
      const std::size_t slash = m_path.rfind('/');
      if (slash != std::string::npos) next = m_path.substr(0, slash + 1) + next;
    }
    m_path = next;
  }

  if (m_exists) {
    if (!S_ISREG(info.st_mode) || info.st_nlink > 1) return;
    // A target that the process may not write is refused by the plain
    // write, with its own error.
    if (::faccessat(AT_FDCWD, m_path.c_str(), W_OK, AT_EACCESS) != 0) return;
    // So is a target that a writer holds locked (a compound document open
    // for use holds an exclusive flock): the format meets the lock as it
    // always did, rather than the new file taking the held file's place.
    if (locked_by_another(m_path)) return;
    m_mode = info.st_mode & 07777;
    m_uid = info.st_uid;
    m_gid = info.st_gid;
  }

  const std::size_t slash = m_path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string(".")
                             : slash == 0               ? std::string("/")
                                                        : m_path.substr(0, slash);
  const std::string name = slash == std::string::npos ? m_path : m_path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return;
  make_temp(folder, name, m_exists);
}

bool kv_replace_file::make_temp(const std::string& folder, const std::string& name, bool exists) {
  const std::string stem = folder + "/." + cut_name(name, kMaxNameBytes) + ".";
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    const std::string candidate = stem + random_suffix();
    // A new target is made as a plain write would make it (0666 less the
    // umask); the replacement of an existing one stays private until it
    // takes that file's permission bits.
    const int fd =
        ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : 0666);
    if (fd < 0) {
      if (errno == EEXIST || errno == EINTR) continue;
      // A full folder cannot be written in place without losing the target.
      if (errno == ENOSPC || errno == EDQUOT) m_error = errno;
      return false;
    }
    bool usable = true;
    if (exists) {
      struct stat info;
      usable = ::fstat(fd, &info) == 0 &&
               ((info.st_uid == m_uid && info.st_gid == m_gid) || ::fchown(fd, m_uid, m_gid) == 0);
    }
    ::close(fd);
    // The writer reopens the file by name: the name must survive the trip
    // through UTF-16.
    std::u16string wide = kv_utf8_to_u16(candidate.c_str());
    if (usable && kv_u16_to_utf8(wide.c_str()) != candidate) usable = false;
    if (!usable) {
      ::unlink(candidate.c_str());
      return false;
    }
    m_temp = candidate;
    m_temp_name = std::move(wide);
    return true;
  }
  return false;
}

kv_replace_file::~kv_replace_file() {
  abort();
}

const char16_t* kv_replace_file::write_name() const {
  return in_place() ? m_target : m_temp_name.c_str();
}

void kv_replace_file::abort() {
  if (in_place() || m_committed) return;
  ::unlink(m_temp.c_str());
  m_temp.clear();
  m_temp_name.clear();
}

int kv_replace_file::commit() {
  if (in_place() || m_committed) return 0;
  int error = 0;
  const int fd = ::open(m_temp.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
  } else {
    struct stat info;
    if (m_exists) {
      // Owner first: a change of owner clears the set-id bits.
      if (::fstat(fd, &info) != 0) {
        error = errno;
      } else if ((info.st_uid != m_uid || info.st_gid != m_gid) &&
                 ::fchown(fd, m_uid, m_gid) != 0) {
        error = errno;
      } else if (::fchmod(fd, m_mode) != 0) {
        error = errno;
      }
    }
    // Only an old file can be lost: its replacement reaches the disk before
    // the rename does. A new file is left to the system's own write-back.
    if (error == 0 && m_exists && ::fdatasync(fd) != 0) error = errno;
    ::close(fd);
  }
  if (error == 0 && ::rename(m_temp.c_str(), m_path.c_str()) != 0) error = errno;
  if (error != 0) {
    abort();
    return error;
  }
  m_committed = true;
  if (!m_exists) return 0;
  const std::size_t slash = m_path.rfind('/');
  sync_folder(slash == std::string::npos ? std::string(".")
              : slash == 0               ? std::string("/")
                                         : m_path.substr(0, slash));
  return 0;
}
