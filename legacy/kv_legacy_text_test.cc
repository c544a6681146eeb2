// Copyright the kvstore authors.
//
// The line reading and number forms shared by the PC2, CFG and PCP readers.
#include "legacy/kv_legacy_text.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "kvstore/kv_exceptions.h"
#include "kvstore/kv_platform.h"
#include "tree/kv_revision.h"

namespace {

TEST(LegacyText, IntegersReadLikeStrtolAndSaturate) {
  struct Case {
    const char16_t* text;
    bool hex;
    bool ok;
    int32_t value;
  };
  const Case cases[] = {
      {u"12abc", false, true, 12},
      {u" \t-7", false, true, -7},
      {u"+5", false, true, 5},
      {u"2147483647", false, true, 2147483647},
      {u"2147483648", false, true, 2147483647},
      {u"-2147483648", false, true, -2147483647 - 1},
      {u"-99999999999999999999", false, true, -2147483647 - 1},
      {u"", false, false, 0},
      {u"-", false, false, 0},
      {u"x1", false, false, 0},
      {u"ff", false, false, 0},
      {u"ff", true, true, 255},
      {u"0x1F", true, true, 31},
      {u"0XaB", true, true, 171},
      {u"0xg", true, true, 0},  // the "0" before the x
      {u"-0x10", true, true, -16},
      {u"FFFFFFFF", true, true, -1},
      {u"123456789", true, true, -1},  // beyond 32 bits
      {u"zz", true, false, 0},
  };
  for (const Case& c : cases) {
    int32_t value = 0;
    EXPECT_EQ(kv_parse_legacy_int(c.text, c.hex, value), c.ok)
        << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
    if (c.ok) {
      EXPECT_EQ(value, c.value);
    }
  }
}

TEST(LegacyText, DoublesReadOnlyFiniteDecimalPrefixes) {
  double value = 0;
  EXPECT_TRUE(kv_parse_legacy_double(u" 0.25abc", value));
  EXPECT_EQ(value, 0.25);
  EXPECT_TRUE(kv_parse_legacy_double(u"-1.5e2x", value));
  EXPECT_EQ(value, -150.0);
  EXPECT_TRUE(kv_parse_legacy_double(u"+.5", value));
  EXPECT_EQ(value, 0.5);
  EXPECT_TRUE(kv_parse_legacy_double(u"3.", value));
  EXPECT_EQ(value, 3.0);
  value = 7;
  for (const char16_t* text : {u"", u".", u"inf", u"nan", u"0x1p3x", u"1e999", u"-+1", u"e5"}) {
    const bool ok = kv_parse_legacy_double(text, value);
    // "0x1p3x" reads its "0" only.
    EXPECT_EQ(ok, text[0] == u'0') << std::string(text, text + 3);
  }
}

TEST(LegacyText, LinesAreCutAtTheBufferAndTrimmed) {
  const std::string line1023(1023, 'a');
  std::stringstream in(line1023 + std::string("\nab\0cd\r\n", 8) + "\xE4\xF6" + "\n" + line1023 + "b\nz");
  std::u16string line;
  const char16_t* src = u"src";
  EXPECT_FALSE(kv_read_legacy_line(in, line, src, u"f", kRevKvpc2));
  EXPECT_EQ(line.size(), 1023u);
  EXPECT_FALSE(kv_read_legacy_line(in, line, src, u"f", kRevKvpc2));
  EXPECT_EQ(line, u"ab");  // text ends at a zero byte
  EXPECT_FALSE(kv_read_legacy_line(in, line, src, u"f", kRevKvpc2));
  EXPECT_EQ(line, u"\u00e4\u00f6");  // Windows-1252
  try {
    kv_read_legacy_line(in, line, src, u"f", kRevKvpc2);
    FAIL();
  } catch (const KV_Severe& e) {
    EXPECT_EQ(e.id(), 66u);
    EXPECT_EQ(std::u16string(e.source()), u"src");
    EXPECT_EQ(std::u16string(e.argument()), u"f");
  }

  std::stringstream last("x\n\ny");
  EXPECT_FALSE(kv_read_legacy_line(last, line, src, nullptr, kRevKvpc2));
  EXPECT_FALSE(kv_read_legacy_line(last, line, src, nullptr, kRevKvpc2));
  EXPECT_EQ(line, u"");
  EXPECT_TRUE(kv_read_legacy_line(last, line, src, nullptr, kRevKvpc2));
  EXPECT_EQ(line, u"y");

  EXPECT_EQ(kv_trim_legacy_line(u" \t a b \t \r"), u"a b \t");
  EXPECT_EQ(kv_trim_legacy_line(u"a\r\r"), u"a\r");
  EXPECT_EQ(kv_trim_legacy_line(u"   "), u"");
  EXPECT_TRUE(kv_iequal(u"PC2Version", u"pc2VERSION"));
  EXPECT_FALSE(kv_iequal(u"\u00c4", u"\u00e4"));
}

}  // namespace
