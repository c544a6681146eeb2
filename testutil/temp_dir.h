// Copyright the kvstore authors.
//
// A fresh folder under the system's temporary folder for one test, removed
// with everything in it when the test ends.
#ifndef KVSTORE_TESTUTIL_TEMP_DIR_H_
#define KVSTORE_TESTUTIL_TEMP_DIR_H_

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kvtest-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return m_path; }
  // The UTF-16 path of a file in the folder (names are ASCII in tests).
  std::u16string file(const std::string& name) const {
    std::string full = (m_path / name).string();
    return std::u16string(full.begin(), full.end());
  }

 private:
  std::filesystem::path m_path;
};

inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The names in folder, sorted: what a failed save must not leave behind.
inline std::vector<std::string> listing(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

#endif  // KVSTORE_TESTUTIL_TEMP_DIR_H_
