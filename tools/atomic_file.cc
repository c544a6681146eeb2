// Copyright the kvstore authors.
#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "tool_error.h"

namespace {

std::string system_message(int error) {
  return std::strerror(error);
}

// The mode for a file that replaces path: its own permission bits when it
// exists, else 0666 less the umask.
mode_t replacement_mode(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) == 0) return info.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// Flushes the file or folder at path to the disk.
int sync_path(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return errno;
  const int result = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  return result;
}

}  // namespace

AtomicFile::AtomicFile(const std::string& target) : m_target(target) {
  std::error_code ignored;
  if (std::filesystem::is_symlink(m_target, ignored)) {
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(m_target, ignored);
    if (!resolved.empty()) m_target = resolved.string();
  }
  const std::filesystem::path target_path(m_target);
  const std::filesystem::path folder = target_path.parent_path();
  std::string pattern =
      (folder / ("." + target_path.filename().string() + ".kvtool-XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    const int error = errno;
    throw ToolError("cannot write " + target + ": cannot create a temporary file beside it (" +
                    system_message(error) + ")");
  }
  m_temp = name.data();
  ::fchmod(fd, replacement_mode(m_target));
  ::close(fd);
}

AtomicFile::~AtomicFile() {
  if (!m_committed) ::unlink(m_temp.c_str());
}

void AtomicFile::commit() {
  if (const int error = sync_path(m_temp, O_RDONLY)) {
    throw ToolError("cannot write " + m_target + ": " + system_message(error));
  }
  if (::rename(m_temp.c_str(), m_target.c_str()) != 0) {
    const int error = errno;
    throw ToolError("cannot replace " + m_target + ": " + system_message(error));
  }
  m_committed = true;
  // The rename is durable once the folder is flushed; a folder that cannot
  // be flushed does not undo it.
  std::string folder = std::filesystem::path(m_target).parent_path().string();
  sync_path(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY);
}

void write_file_atomically(const std::string& path, const std::string& bytes) {
  AtomicFile file(path);
  const int fd = ::open(file.temp_path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    throw ToolError("cannot write " + path + ": " + system_message(error));
  }
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : EIO;
      ::close(fd);
      throw ToolError("cannot write " + path + ": " + system_message(error));
    }
    written += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) {
    const int error = errno;
    throw ToolError("cannot write " + path + ": " + system_message(error));
  }
  file.commit();
}
