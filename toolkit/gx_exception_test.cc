// Copyright the kvstore authors.
#include "kvstore/gx_exception.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(GxException, CopyKeepsFieldsAndOwnsItsArgument) {
  char16_t argument[] = u"\\media\\size";
  const uint64_t extra[2] = {7, 9};
  GX_Exception e(42, 57, u"source()", argument, u"$Workfile: x $", 2, extra);
  argument[0] = u'X';  // the exception holds its own copy
  GX_Exception copy(e);
  EXPECT_EQ(copy.module(), 42u);
  EXPECT_EQ(copy.id(), 57u);
  EXPECT_EQ(std::u16string(copy.source()), u"source()");
  EXPECT_EQ(std::u16string(copy.argument()), u"\\media\\size");
  EXPECT_NE(copy.argument(), e.argument());
  EXPECT_EQ(copy.arg_count(), 2);
  EXPECT_EQ(copy.args()[1], 9u);
  EXPECT_EQ(copy.severity(), 2);
  EXPECT_STREQ(copy.what(), "GX_Exception 57 source(): \\media\\size");

  GX_Exception none(0, 50, u"s", nullptr, u"f");
  GX_Exception none_copy(none);
  EXPECT_EQ(none_copy.argument(), nullptr);
  EXPECT_EQ(none_copy.arg_count(), 0);
  EXPECT_EQ(none_copy.args(), nullptr);
}

TEST(GxException, OwnedSourceSurvivesItsText) {
  std::u16string line = u"x=yes";
  GX_Exception e(0, 88, line.c_str(), u"", u"f");
  e.own_source();
  line.assign(u"changed");
  GX_Exception copy = e;
  EXPECT_EQ(std::u16string(copy.source()), u"x=yes");
  EXPECT_NE(copy.source(), e.source());
}

}  // namespace
