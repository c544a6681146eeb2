// Copyright the kvstore authors.
#include "drivers/kv_pdt_keys.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

std::u16string text_of(const kv_pdt_keys& keys, std::u16string_view key) {
  const char16_t* text = keys.find(key);
  return text != nullptr ? text : u"<none>";
}

kv_pdt_keys& read_into(kv_pdt_keys& keys, const std::string& bytes) {
  std::stringstream in(bytes);
  keys.read(in);
  return keys;
}

TEST(PdtKeys, EntryLines) {
  kv_pdt_keys keys;
  read_into(keys,
            "\xEF\xBB\xBFORVA_A \"first line after a byte order mark\"\n"
            "   ORVA_B   \"leading blanks\" trailing words\n"
            "\tORVA_C \"starts with a tab: no entry\"\n"
            "ORVA_D\t\"a tab before the quote stays in the key\"\n"
            "orva_E \"lower case: no entry\"\n"
            "ORVA_F \"unterminated text\r\n"
            "ORVA_G no quote at all\n"
            "ORVA_H \"\"\n"
            "ORVA_I \"Gr\xC3\xB6\xC3\x9F"
            "e \xE2\x82\xAC\"\n"
            "ORVA_B \"the later entry wins\"\n"
            "ORVA_J \"last line without a break\"");
  EXPECT_EQ(text_of(keys, u"ORVA_A"), u"first line after a byte order mark");
  EXPECT_EQ(text_of(keys, u"ORVA_B"), u"the later entry wins");
  EXPECT_EQ(text_of(keys, u"ORVA_C"), u"<none>");
  EXPECT_EQ(text_of(keys, u"ORVA_D"), u"<none>");
  EXPECT_EQ(text_of(keys, u"ORVA_D\t"), u"a tab before the quote stays in the key");
  EXPECT_EQ(text_of(keys, u"orva_E"), u"<none>");
  EXPECT_EQ(text_of(keys, u"ORVA_F"), u"unterminated text");
  EXPECT_EQ(text_of(keys, u"ORVA_G no quote at all"), u"<none>");
  EXPECT_EQ(text_of(keys, u"ORVA_H"), u"");
  EXPECT_EQ(text_of(keys, u"ORVA_I"), u"Gr\u00F6\u00DFe \u20AC");
  EXPECT_EQ(text_of(keys, u"ORVA_J"), u"last line without a break");
  EXPECT_EQ(keys.entries(), 8);
}

TEST(PdtKeys, LookupBuildsTheKeyFromPrefixColumnAndRow) {
  kv_pdt_keys keys;
  read_into(keys,
            "ORVA_MEDIA_SIZE_B3 \"column B is not the size's column\"\n"
            "ORVA_MEDIA_SIZE_C3 \"A4\"\n"
            "ORVA_MEDIA_TYPE_B12 \"Film\"\n"
            "ORVA_PROTOCOL__B4 \"8N1\"\n"
            "ORVA_PROTOCOL_B5 \"one underscore\"\n");
  EXPECT_EQ(std::u16string(keys.text()), u"");
  EXPECT_TRUE(keys.lookup(kv_pdt_media_size, 3));
  EXPECT_EQ(std::u16string(keys.text()), u"A4");
  EXPECT_TRUE(keys.lookup(kv_pdt_media_type, 12));
  EXPECT_EQ(std::u16string(keys.text()), u"Film");
  EXPECT_TRUE(keys.lookup(kv_pdt_protocol, 4));
  EXPECT_EQ(std::u16string(keys.text()), u"8N1");
  // A missing key leaves the text of the last lookup.
  EXPECT_FALSE(keys.lookup(kv_pdt_protocol, 5));
  EXPECT_FALSE(keys.lookup(kv_pdt_media_type, 120));
  EXPECT_EQ(std::u16string(keys.text()), u"8N1");
  // Files without localizable texts find nothing.
  EXPECT_FALSE(keys.lookup(kv_pdt_io_method, 3));
  EXPECT_EQ(kv_pdt_key_prefix(kv_pdt_io_method), nullptr);
}

TEST(PdtKeys, LongTextsAreCutInTheBuffer) {
  kv_pdt_keys keys;
  // 254 units, then a character outside the BMP: its two halves would be
  // units 255 and 256, so neither is kept.
  std::string text(254, 'x');
  read_into(keys, "ORVA_MEMORY_AREA_B3 \"" + text + "\xF0\x9F\x96\xA8\"\n" +
                      "ORVA_MEMORY_AREA_B4 \"" + std::string(300, 'y') + "\"\n");
  ASSERT_TRUE(keys.lookup(kv_pdt_memory_area, 3));
  EXPECT_EQ(std::u16string(keys.text()), std::u16string(254, u'x'));
  ASSERT_TRUE(keys.lookup(kv_pdt_memory_area, 4));
  EXPECT_EQ(std::u16string(keys.text()), std::u16string(255, u'y'));
  // The table keeps the text whole.
  EXPECT_EQ(text_of(keys, u"ORVA_MEMORY_AREA_B4"), std::u16string(300, u'y'));
}

TEST(PdtKeys, ManyKeysStayFindable) {
  // Row 3 is given twice before the table grows (five times, to 512
  // chains): its later entry still wins.
  std::string file = "ORVA_RESOLUTION_B3 \"superseded\"\n";
  for (int row = 3; row < 10003; ++row) {
    file += "ORVA_RESOLUTION_B" + std::to_string(row) + " \"r" + std::to_string(row) + "\"\n";
  }
  kv_pdt_keys keys;
  read_into(keys, file);
  EXPECT_EQ(keys.entries(), 10001);
  for (int row : {3, 4, 999, 5000, 10002}) {
    ASSERT_TRUE(keys.lookup(kv_pdt_resolution, row)) << row;
    const std::string digits = std::to_string(row);
    EXPECT_EQ(std::u16string(keys.text()), u"r" + std::u16string(digits.begin(), digits.end()));
  }
}

}  // namespace
