// Copyright the kvstore authors.
#include "platform/file_stream.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "kvstore/kv_exceptions.h"
#include "platform/codepage.h"
#include "platform/stream_check.h"
#include "testutil/temp_dir.h"
#include "tree/kv_revision.h"

namespace {

namespace fs = std::filesystem;
using std::ios;

// The id that the stream check raises for stream, 0 when it raises nothing.
unsigned check_id(const std::ios& stream) {
  try {
    kv_stream_check(u"op", u"detail", stream, kRevKvpia);
  } catch (const KV_Severe& e) {
    return e.id();
  }
  return 0;
}

class FileStream : public ::testing::Test {
 protected:
  std::u16string path16(const char16_t* name) const { return m_dir16 + u"/" + name; }

  TempDir m_tmp;
  const std::string m_dir = m_tmp.path().string();
  const std::u16string m_dir16 = kv_utf8_to_u16(m_dir.c_str());
};

TEST_F(FileStream, RoundTripsBytesByNonAsciiPath) {
  const std::u16string path = path16(u"caf\u00E9 \u4E2D.bin");
  // Longer than the buffer, with zero bytes and every byte value.
  std::string data;
  for (int i = 0; i < 20000; ++i) data.push_back(static_cast<char>(i * 7 % 256));
  kv_file_stream out;
  out.open(path.c_str(), ios::out | ios::trunc);
  ASSERT_TRUE(out.good() && out.is_open());
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  out.close();
  EXPECT_TRUE(out.good() && !out.is_open());
  EXPECT_EQ(out.last_error(), 0);
  // The name reaches the system as UTF-8.
  EXPECT_EQ(read_file(fs::path(m_dir) / "caf\xC3\xA9 \xE4\xB8\xAD.bin"), data);
  EXPECT_TRUE(kv_file_exists(path.c_str()));

  kv_file_stream in;
  in.open(path.c_str(), ios::in);
  ASSERT_TRUE(in.good());
  std::string back(data.size(), '\0');
  in.read(back.data(), static_cast<std::streamsize>(back.size()));
  EXPECT_EQ(back, data);
  EXPECT_TRUE(in.good());
  // Reading on at the end is a failure without a system error: id 82.
  errno = ENOENT;
  EXPECT_EQ(in.get(), std::char_traits<char>::eof());
  EXPECT_TRUE(in.eof() && in.fail());
  EXPECT_EQ(in.last_error(), 0);
  EXPECT_EQ(check_id(in), 82u);
}

TEST_F(FileStream, FailedOpensRecordTheirErrno) {
  const std::u16string missing = path16(u"missing.pia");
  EXPECT_FALSE(kv_file_exists(missing.c_str()));
  kv_file_stream stream;
  stream.open(missing.c_str(), ios::in);
  EXPECT_TRUE(stream.fail());
  EXPECT_FALSE(stream.is_open());
  EXPECT_EQ(stream.last_error(), ENOENT);
  EXPECT_EQ(check_id(stream), 63u);

  // A folder exists but opens neither way.
  EXPECT_TRUE(kv_file_exists(m_dir16.c_str()));
  kv_file_stream folder;
  folder.open(m_dir16.c_str(), ios::in);
  EXPECT_TRUE(folder.fail());
  EXPECT_EQ(folder.last_error(), EISDIR);
  folder.open(m_dir16.c_str(), ios::out | ios::trunc);
  EXPECT_EQ(folder.last_error(), EISDIR);
  EXPECT_EQ(check_id(folder), 82u);

  // No path, or a mode that the standard streams refuse.
  kv_file_stream bad;
  bad.open(nullptr, ios::in);
  EXPECT_TRUE(bad.fail());
  EXPECT_EQ(bad.last_error(), EINVAL);
  const std::u16string name = path16(u"x");
  bad.open(name.c_str(), ios::in | ios::trunc);
  EXPECT_EQ(bad.last_error(), EINVAL);
  EXPECT_FALSE(kv_file_exists(name.c_str()));
  EXPECT_FALSE(kv_file_exists(nullptr));
  // A later good open clears the state.
  bad.open(name.c_str(), ios::out);
  EXPECT_TRUE(bad.good());
}

TEST_F(FileStream, ReadingAndWritingShareOnePosition) {
  const std::u16string path = path16(u"seek.bin");
  kv_file_stream stream;
  stream.open(path.c_str(), ios::in | ios::out | ios::trunc);
  ASSERT_TRUE(stream.good());
  stream << "0123456789";
  EXPECT_EQ(stream.tellp(), 10);
  stream.seekg(3);
  EXPECT_EQ(stream.get(), '3');
  EXPECT_EQ(stream.tellg(), 4);
  // A write after a read lands at the read position, not after the read-ahead.
  stream.put('X');
  EXPECT_EQ(stream.tellp(), 5);
  EXPECT_EQ(stream.get(), '5');
  stream.seekg(-2, ios::cur);
  EXPECT_EQ(stream.get(), 'X');
  stream.seekg(0, ios::end);
  EXPECT_EQ(stream.tellg(), 10);
  stream.seekg(0);
  std::string all;
  std::getline(stream, all);
  EXPECT_EQ(all, "0123X56789");
  EXPECT_TRUE(stream.eof());

  // A seek before the start fails with EINVAL and leaves the position.
  stream.clear();
  stream.seekg(6);
  stream.seekg(-1, ios::beg);
  EXPECT_TRUE(stream.fail());
  EXPECT_EQ(stream.last_error(), EINVAL);
  EXPECT_EQ(check_id(stream), 78u);
  stream.clear();
  EXPECT_EQ(stream.get(), '6');
  stream.close();
  EXPECT_EQ(fs::file_size(fs::path(m_dir) / "seek.bin"), 10u);
}

TEST_F(FileStream, FailedReadsAndWritesRecordTheirErrno) {
  // Reading a stream opened only for writing fails in read(2) with EBADF.
  const std::u16string path = path16(u"write-only.bin");
  kv_file_stream out;
  out.open(path.c_str(), ios::out);
  out << "abc";
  out.seekg(0);
  EXPECT_EQ(out.get(), std::char_traits<char>::eof());
  EXPECT_EQ(out.last_error(), EBADF);
  EXPECT_EQ(check_id(out), 73u);
  out.close();
  EXPECT_EQ(fs::file_size(fs::path(m_dir) / "write-only.bin"), 3u);

  // Every write to /dev/full fails with ENOSPC; the close fails too.
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  kv_file_stream full;
  full.open(u"/dev/full", ios::out | ios::trunc);
  ASSERT_TRUE(full.good());
  full << "data" << std::flush;
  EXPECT_TRUE(full.bad());
  EXPECT_EQ(full.last_error(), ENOSPC);
  EXPECT_EQ(check_id(full), 65u);
  full.clear();
  full.close();
  EXPECT_TRUE(full.fail());
  EXPECT_FALSE(full.is_open());
}

}  // namespace
