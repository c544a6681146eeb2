// Copyright the kvstore authors.
#include "platform/temp_stream.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <sstream>
#include <system_error>
#include <vector>

#include "platform/codepage.h"
#include "platform/file_stream.h"

kv_temp_stream::kv_temp_stream() : m_stream(nullptr) {
  // Gives an empty path when the folder that TMPDIR names is no folder.
  std::error_code error;
  make(std::filesystem::temp_directory_path(error));
}

kv_temp_stream::kv_temp_stream(const std::filesystem::path& directory) : m_stream(nullptr) {
  make(directory);
}

kv_temp_stream::~kv_temp_stream() {
  if (m_file) m_file->close();
  if (!m_path.empty()) ::unlink(m_path.c_str());
}

// An empty directory makes the in-memory stream.
void kv_temp_stream::make(const std::filesystem::path& directory) {
  if (!directory.empty()) {
    const std::string pattern = (directory / "XXXXXX").native();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    auto file = std::make_unique<kv_file_stream>();
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) {
      file->attach(fd);
      m_path = name.data();
      m_name.copy(kv_utf8_to_u16(m_path.c_str()).c_str());
      m_file = std::move(file);
      m_stream = m_file.get();
      return;
    }
  }
  m_memory = std::make_unique<std::stringstream>(std::ios::in | std::ios::out | std::ios::binary);
  m_stream = m_memory.get();
}
