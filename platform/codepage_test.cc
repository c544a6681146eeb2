// Copyright the kvstore authors.
#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <string>

#include "kvstore/kv_platform.h"

namespace {

TEST(Codepage, Windows1252MapsItsSpecialsAndKeepsUndefinedBytes) {
  ASSERT_EQ(kv_ansi_codepage(), kCodepageWindows1252);
  std::u16string wide;
  kv_ansi_to_u16(
      "\x80\x81\x9F\xE9"
      "A",
      5, wide);
  EXPECT_EQ(wide, u"\u20AC\u0081\u0178\u00E9A");
  std::string narrow;
  kv_u16_to_ansi(wide.data(), wide.size(), narrow);
  EXPECT_EQ(narrow,
            "\x80\x81\x9F\xE9"
            "A");
  // Characters outside the code page become "?", a surrogate pair one "?".
  std::u16string outside = u"\u0080\u4E2D\U0001F600x";
  kv_u16_to_ansi(outside.data(), outside.size(), narrow);
  EXPECT_EQ(narrow, "???x");
}

TEST(Codepage, Utf8RoundTripsAndReplacesInvalidInput) {
  std::u16string text = u"caf\u00E9 \u4E2D \U0001F600";
  std::string utf8 = kv_u16_to_utf8(text.c_str());
  EXPECT_EQ(utf8, "caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80");
  EXPECT_EQ(kv_utf8_to_u16(utf8.c_str()), text);
  // Stray continuation, overlong form, truncated sequence, encoded surrogate.
  EXPECT_EQ(kv_utf8_to_u16("a\x80"
                           "b\xC0\xAF"
                           "c\xE4\xB8"),
            u"a\uFFFDb\uFFFD\uFFFDc\uFFFD\uFFFD");
  EXPECT_EQ(kv_utf8_to_u16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
  const char16_t lone[] = {u'x', 0xD800, u'y', 0};
  EXPECT_EQ(kv_u16_to_utf8(lone), "x\xEF\xBF\xBDy");
  // The exported forms for hosts.
  EXPECT_EQ(kv_utf16_to_utf8(text.data(), text.size()), utf8);
  EXPECT_EQ(kv_utf8_to_utf16(utf8.data(), utf8.size()), text);
  EXPECT_EQ(kv_utf16_to_utf8(nullptr, 3), "");
}

TEST(Codepage, PrefixBytesCountCharactersOfTheCodePage) {
  const auto* text = reinterpret_cast<const unsigned char*>("\xC3\xA9\xC3\xA9x");
  EXPECT_EQ(kv_ansi_prefix_bytes(text, 2), 2u);  // 1252: one byte a character
  ASSERT_TRUE(kv_set_ansi_codepage(kCodepageUtf8));
  EXPECT_EQ(kv_ansi_prefix_bytes(text, 2), 4u);
  EXPECT_EQ(kv_ansi_prefix_bytes(text, 9), 5u);
  EXPECT_EQ(kv_ansi_to_u16("\xC3\xA9"), u"\u00E9");
  ASSERT_TRUE(kv_set_ansi_codepage(932));  // Shift-JIS through iconv
  const auto* sjis = reinterpret_cast<const unsigned char*>(
      "\x93\xFA"
      "a\x96\x7B");
  EXPECT_EQ(kv_ansi_prefix_bytes(sjis, 2), 3u);
  EXPECT_EQ(kv_ansi_to_u16(reinterpret_cast<const char*>(sjis)), u"\u65E5a\u672C");
  EXPECT_EQ(kv_u16_to_ansi(u"\u65E5a\u00E9"),
            "\x93\xFA"
            "a?");
  EXPECT_FALSE(kv_set_ansi_codepage(4242));
  EXPECT_EQ(kv_ansi_codepage(), 932u);
  ASSERT_TRUE(kv_set_ansi_codepage(kCodepageWindows1252));
}

}  // namespace
