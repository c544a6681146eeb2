// Copyright the kvstore authors.
#include "platform/temp_stream.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/codepage.h"
#include "platform/file_stream.h"
#include "testutil/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// Points TMPDIR at a value for the life of the object.
class ScopedTmpdir {
 public:
  explicit ScopedTmpdir(const std::string& value) {
    if (const char* old = getenv("TMPDIR")) m_old = old;
    setenv("TMPDIR", value.c_str(), 1);
  }
  ~ScopedTmpdir() {
    if (m_old) {
      setenv("TMPDIR", m_old->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }

 private:
  std::optional<std::string> m_old;
};

// Writes bytes with zeros among them, reads them back from the start.
void expect_round_trip(std::iostream& stream) {
  const std::string data("a\0b\0\0c\xFF\n", 8);
  stream.write(data.data(), static_cast<std::streamsize>(data.size()));
  stream.flush();
  stream.seekg(0, std::ios::end);
  EXPECT_EQ(stream.tellg(), 8);
  stream.seekg(0);
  std::string back(data.size(), 'x');
  stream.read(back.data(), static_cast<std::streamsize>(back.size()));
  EXPECT_TRUE(stream.good());
  EXPECT_EQ(back, data);
}

TEST(TempStream, FileInTmpdirLivesAsLongAsTheObject) {
  TempDir dir;
  const std::string folder = dir.path().string();
  ScopedTmpdir tmpdir(folder);
  std::string native;
  {
    kv_temp_stream temp;
    ASSERT_FALSE(temp.in_memory());
    native = kv_u16_to_utf8(temp.file_name().c_str());
    EXPECT_EQ(fs::path(native).parent_path(), fs::path(folder));
    EXPECT_TRUE(fs::is_regular_file(native));
    EXPECT_EQ(fs::file_size(native), 0u);
    EXPECT_NE(dynamic_cast<kv_file_stream*>(&temp.stream()), nullptr);
    expect_round_trip(temp.stream());
    // The bytes are in the file, not only in the stream's buffer.
    EXPECT_EQ(read_file(native), std::string("a\0b\0\0c\xFF\n", 8));

    kv_temp_stream second;
    EXPECT_NE(std::u16string(second.file_name().c_str()), temp.file_name().c_str());
  }
  EXPECT_FALSE(fs::exists(native));
  EXPECT_TRUE(fs::is_empty(folder));
}

TEST(TempStream, FallsBackToMemoryWhenNoNameCanBeMade) {
  TempDir dir;
  const std::string folder = dir.path().string();
  {
    kv_temp_stream missing(fs::path(folder) / "missing");
    EXPECT_TRUE(missing.in_memory());
    EXPECT_TRUE(missing.file_name().empty());
    expect_round_trip(missing.stream());
  }
  {
    // TMPDIR naming a file: the system's temporary folder is unusable.
    const std::string file = folder + "/plain";
    write_file(file, "x");
    ScopedTmpdir tmpdir(file);
    kv_temp_stream temp;
    EXPECT_TRUE(temp.in_memory());
    expect_round_trip(temp.stream());
  }
}

}  // namespace
