// Copyright the kvstore authors.
#include "platform/stream_check.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>
#include <string>

#include "kvstore/kv_exceptions.h"
#include "tree/kv_revision.h"

namespace {

TEST(StreamCheck, MapsErrnoValuesToIds) {
  const struct {
    int error;
    unsigned id;
  } rows[] = {{2, 63},  {7, 71},  {8, 79},  {9, 73},  {10, 74}, {11, 72}, {12, 64}, {13, 61},
              {17, 77}, {18, 81}, {22, 78}, {24, 62}, {28, 65}, {33, 76}, {34, 80}, {36, 75}};
  for (const auto& row : rows) EXPECT_EQ(kv_stream_error_id(row.error), row.id) << row.error;
  for (int other : {0, 1, 3, 14, 21, 35, 37, -1}) {
    EXPECT_EQ(kv_stream_error_id(other), 82u) << other;
  }
}

TEST(StreamCheck, ThrowsSevereForAnyStateButGood) {
  std::stringstream good("abc");
  EXPECT_NO_THROW(kv_stream_check(u"op", u"f", good, kRevKvpia));

  // A stream without a recorded error is explained by errno.
  std::stringstream at_end("");
  at_end.get();
  errno = ENOSPC;
  try {
    kv_stream_check(u"KV_PIAFile::save()", u"out.pia", at_end, kRevKvdpia);
    FAIL() << "no exception";
  } catch (const KV_Severe& e) {
    EXPECT_EQ(e.id(), 65u);
    EXPECT_EQ(std::u16string(e.source()), u"KV_PIAFile::save()");
    ASSERT_NE(e.argument(), nullptr);
    EXPECT_EQ(std::u16string(e.argument()), u"out.pia");
    EXPECT_EQ(std::u16string(e.file()), kRevKvdpia);
  }

  // Only eofbit set still fails the check; 62 never names the file.
  std::stringstream eof_only("x");
  eof_only.setstate(std::ios::eofbit);
  errno = EMFILE;
  try {
    kv_stream_check(u"op", u"f.pia", eof_only, kRevKvpia);
    FAIL() << "no exception";
  } catch (const KV_Severe& e) {
    EXPECT_EQ(e.id(), 62u);
    EXPECT_EQ(e.argument(), nullptr);
  }

  // A lost stream without detail carries no argument.
  std::stringstream bad;
  bad.setstate(std::ios::badbit);
  errno = 0;
  try {
    kv_stream_check(u"op", nullptr, bad, kRevKvpia);
    FAIL() << "no exception";
  } catch (const KV_Severe& e) {
    EXPECT_EQ(e.id(), 82u);
    EXPECT_EQ(e.argument(), nullptr);
  }
}

}  // namespace
