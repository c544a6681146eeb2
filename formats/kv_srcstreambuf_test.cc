// Copyright the kvstore authors.
#include "formats/kv_srcstreambuf.h"

#include <gtest/gtest.h>

#include <istream>
#include <string>

namespace {

using std::ios;

const std::streampos kInvalid(std::streamoff(-1));

TEST(KvSrcStreambuf, SeeksWithinTheBlockOnly) {
  static const char kDigits[] = "0123456789";
  kv_srcstreambuf buf(kDigits, 10);
  EXPECT_EQ(buf.pubseekoff(0, ios::end, ios::in), 10);
  EXPECT_EQ(buf.sgetc(), std::char_traits<char>::eof());
  EXPECT_EQ(buf.pubseekoff(3, ios::beg, ios::in), 3);
  EXPECT_EQ(buf.sbumpc(), '3');
  EXPECT_EQ(buf.in_avail(), 6);
  // Out of bounds, from each origin: nothing moves.
  EXPECT_EQ(buf.pubseekoff(11, ios::beg, ios::in), kInvalid);
  EXPECT_EQ(buf.pubseekoff(-1, ios::beg, ios::in), kInvalid);
  EXPECT_EQ(buf.pubseekoff(1, ios::end, ios::in), kInvalid);
  EXPECT_EQ(buf.pubseekoff(-5, ios::cur, ios::in), kInvalid);
  EXPECT_EQ(buf.pubseekoff(7, ios::cur, ios::in), kInvalid);
  EXPECT_EQ(buf.pubseekpos(11, ios::in), kInvalid);
  EXPECT_EQ(buf.pubseekoff(0, ios::cur, ios::in), 4);
  // The bounds themselves are reachable.
  EXPECT_EQ(buf.pubseekoff(-4, ios::cur, ios::in), 0);
  EXPECT_EQ(buf.pubseekoff(-10, ios::end, ios::in), 0);
  EXPECT_EQ(buf.pubseekpos(10, ios::in), 10);
  EXPECT_EQ(buf.pubseekpos(9, ios::in), 9);
  EXPECT_EQ(buf.sgetc(), '9');
  // The output side does not exist.
  EXPECT_EQ(buf.pubseekoff(0, ios::beg, ios::out), kInvalid);
  EXPECT_EQ(buf.pubseekpos(0, ios::in | ios::out), kInvalid);
  EXPECT_EQ(buf.sputc('x'), std::char_traits<char>::eof());
  EXPECT_EQ(buf.sgetc(), '9');

  kv_srcstreambuf empty(nullptr, 0);
  EXPECT_EQ(empty.pubseekoff(0, ios::end, ios::in), 0);
  EXPECT_EQ(empty.pubseekoff(1, ios::beg, ios::in), kInvalid);
}

TEST(KvSrcStreambuf, ReadsLinesThroughAnIstream) {
  static const char kText[] = "first\nsecond\r\n\nlast";
  kv_srcstreambuf buf(kText, sizeof kText - 1);
  std::istream in(&buf);
  // Measuring the block leaves the stream where it started.
  in.seekg(0, ios::end);
  EXPECT_EQ(in.tellg(), 19);
  in.seekg(0, ios::beg);
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line, "first");
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line, "second\r");
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line, "");
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line, "last");
  EXPECT_TRUE(in.eof());
  EXPECT_FALSE(std::getline(in, line));
  // Seeking clears the end of the stream.
  in.clear();
  in.seekg(6);
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line, "second\r");
  // A putback of another byte than the one read fails; the block is intact.
  in.putback('x');
  EXPECT_TRUE(in.bad());
  EXPECT_EQ(std::string(kText), "first\nsecond\r\n\nlast");
}

}  // namespace
