// Copyright the kvstore authors.
#include "kvstore/gx_string.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string str(const GX_String& s) {
  return std::u16string(s.c_str());
}

TEST(GxString, NullAndEmptyNeverGiveANullText) {
  GX_String empty;
  EXPECT_EQ(empty.buffer(), nullptr);
  EXPECT_NE(empty.c_str(), nullptr);
  EXPECT_EQ(empty.length(), 0u);
  GX_String from_null(static_cast<const char16_t*>(nullptr));
  EXPECT_EQ(from_null.buffer(), nullptr);
  EXPECT_EQ(str(from_null), u"");
}

TEST(GxString, CopiesAreIndependent) {
  GX_String a(u"media");
  GX_String b(a);
  b.copy(u"pens");
  EXPECT_EQ(str(a), u"media");
  EXPECT_EQ(str(b), u"pens");
  a = b;
  b.copy(static_cast<const char16_t*>(nullptr));
  EXPECT_EQ(str(a), u"pens");
  EXPECT_EQ(b.buffer(), nullptr);
  a.copy(a.c_str());  // copying its own text keeps it
  EXPECT_EQ(str(a), u"pens");
}

TEST(GxString, ConcatenationLeavesOperandsAlone) {
  GX_String root(u"\\media");
  GX_String full = root + u"\\size";
  EXPECT_EQ(str(full), u"\\media\\size");
  EXPECT_EQ(str(root), u"\\media");
  EXPECT_EQ(str(root + GX_String(u"\\x")), u"\\media\\x");
  EXPECT_EQ(str(GX_String() + static_cast<const char16_t*>(nullptr)), u"");
}

TEST(GxString, FormatHandlesWideStringsIntegersAndWidths) {
  GX_String s;
  EXPECT_EQ(s.Format(u"%ls\\%d", u"pen", -12), 7);
  EXPECT_EQ(str(s), u"pen\\-12");
  s.Format(u"[%5d|%-4d|%03d|%u|%ld|%c|%%]", 42, 7, -5, 4000000000u, 123456789012L, u'x');
  EXPECT_EQ(str(s), u"[   42|7   |-05|4000000000|123456789012|x|%]");
  s.Format(u"%s and %ls", u"a", static_cast<const char16_t*>(nullptr));
  EXPECT_EQ(str(s), u"a and (null)");
  s.Format(u"trailing %");
  EXPECT_EQ(str(s), u"trailing ");
}

}  // namespace
