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
  // "id source argument file" of what the check throws for a stream in state.
  auto thrown = [](std::ios::iostate state, int error, const char16_t* detail) -> std::u16string {
    std::stringstream stream("x");
    stream.setstate(state);
    errno = error;
    try {
      kv_stream_check(u"KV_PIAFile::save()", detail, stream, kRevKvdpia);
    } catch (const KV_Severe& e) {
      const std::string id = std::to_string(e.id());
      return std::u16string(id.begin(), id.end()) + u" " + e.source() + u" " +
             (e.argument() ? e.argument() : u"<null>") + u" " + e.file();
    }
    return u"no exception";
  };
  // A stream without a recorded error is explained by errno.
  EXPECT_EQ(thrown(std::ios::failbit | std::ios::eofbit, ENOSPC, u"out.pia"),
            std::u16string(u"65 KV_PIAFile::save() out.pia ") + kRevKvdpia);
  // Only eofbit set still fails the check; 62 never names the file.
  EXPECT_EQ(thrown(std::ios::eofbit, EMFILE, u"f.pia"),
            std::u16string(u"62 KV_PIAFile::save() <null> ") + kRevKvdpia);
  // A lost stream without detail carries no argument.
  EXPECT_EQ(thrown(std::ios::badbit, 0, nullptr),
            std::u16string(u"82 KV_PIAFile::save() <null> ") + kRevKvdpia);
}

}  // namespace
