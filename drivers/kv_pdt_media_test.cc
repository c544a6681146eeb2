// Copyright the kvstore authors.
//
// The media steps, through whole loads of small sets.
#include "drivers/kv_pdt_media.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "drivers/pdt_test_fixture.h"

namespace {

// Loads the set under \M and returns the media groups that its media files
// marked (group 24, which the device settings mark in every load, left out).
std::set<int> load(const PdtSet& set, KV_Object& object) {
  std::set<int> groups = marked(PdtLoad(set, object).state().media_abilities);
  EXPECT_EQ(groups.erase(24), 1u);
  return groups;
}

TEST(PdtMedia, Descriptions) {
  PdtSet set;
  set.file("Media Description",
           {"A4\t\tISO\t\tY\t\t\t62370.0\t\t\t\t\t210\t297\t5\t5\t205\t292",
            "\t\tANSI\t\tU",  // no name: ignored
            "B\t\tANSI_expand\t\tU", "C\t\tNoSuchGroup\t\tN", "D\t\t\t\tmaybe", "\"E F\""});
  KV_Object o;
  EXPECT_EQ(load(set, o), (std::set<int>{9, 14, 15, 16, 17, 33}));
  const std::u16string d = u"\\M\\media\\description\\";
  EXPECT_EQ(get_text(o, d + u"0\\name"), "A4");
  EXPECT_EQ(get_int(o, d + u"0\\caps_type"), 0);
  EXPECT_EQ(get_double(o, d + u"0\\printable_area"), 62370.0);
  EXPECT_EQ(get_double(o, d + u"0\\media_bounds_ury"), 297.0);
  EXPECT_EQ(get_double(o, d + u"0\\printable_bounds_urx"), 205.0);
  EXPECT_EQ(get_bool(o, d + u"0\\dimensional"), "true");
  EXPECT_EQ(get_bool(o, d + u"1\\dimensional"), "false");
  EXPECT_EQ(get_bool(o, d + u"2\\dimensional"), "true");
  EXPECT_EQ(get_bool(o, d + u"3\\dimensional"), "true");
  EXPECT_EQ(get_bool(o, d + u"4\\dimensional"), "missing");
  EXPECT_EQ(get_text(o, d + u"4\\name"), "E_F");
  EXPECT_FALSE(has(o, d + u"1\\printable_area"));
  EXPECT_FALSE(has(o, d + u"1\\media_bounds_urx"));
  EXPECT_FALSE(has(o, d + u"1\\printable_bounds_llx"));
  // The group goes to the size branch, by the description's index.
  const std::u16string s = u"\\M\\media\\size\\";
  EXPECT_EQ(get_int(o, s + u"0\\media_group"), 4);
  EXPECT_EQ(get_int(o, s + u"1\\media_group"), 1);
  EXPECT_EQ(get_int(o, s + u"2\\media_group"), 0);
  EXPECT_FALSE(has(o, s + u"3\\media_group"));
  EXPECT_FALSE(has_node(o, u"\\M\\media\\description\\5"));
}

TEST(PdtMedia, Sizes) {
  PdtSet set;
  set.keys(
      "ORVA_MEDIA_SIZE_B3 \"from B\"\nORVA_MEDIA_SIZE_C3 \"from C\"\n"
      "ORVA_MEDIA_SIZE_C5 \"five\"\n");
  set.file("Media Size", {"\"ISO A4\"\tB text\tC text\tLandscape\t\"ISO A4\"  ", "\t\t\tPortrait",
                          "Roll\t\t\tPortrait\tRoll", "Sheet\t\t\t\t", "X\t\t\tsideways"});
  KV_Object o;
  EXPECT_EQ(load(set, o), (std::set<int>{5, 6, 12}));
  const std::u16string s = u"\\M\\media\\size\\";
  EXPECT_EQ(get_text(o, s + u"0\\name"), "ISO_A4");
  EXPECT_EQ(get_text(o, s + u"0\\localized_name"), "from C");
  EXPECT_EQ(get_bool(o, s + u"0\\landscape_mode"), "true");
  EXPECT_EQ(get_text(o, s + u"0\\media_description_name"), "ISO_A4");
  // Row 5 is the second size; row 6 has no key and keeps row 5's text.
  EXPECT_EQ(get_text(o, s + u"1\\localized_name"), "five");
  EXPECT_EQ(get_bool(o, s + u"1\\landscape_mode"), "false");
  EXPECT_EQ(get_text(o, s + u"2\\localized_name"), "five");
  EXPECT_EQ(get_bool(o, s + u"2\\landscape_mode"), "missing");
  EXPECT_EQ(get_text(o, s + u"2\\media_description_name"), "");
  EXPECT_EQ(get_bool(o, s + u"3\\landscape_mode"), "false");
}

TEST(PdtMedia, SourcesAndTheirEntries) {
  PdtSet set;
  set.keys("ORVA_MEDIA_SOURCE_ENTRY_B4 \"Tray entry\"\nORVA_MEDIA_SOURCE_B3 \"Tray 1\"\n");
  // Row 3 has no name: the list starts with an empty entry that holds the
  // size name of row 3.
  set.file("Media Source Entry",
           {"\t\t\t\t\tLoose", "Tray\t\tA4\t210\t297\tA4", "\t\t\t\t\tA3 // second",
            "\t\t\t\t\t\"A 2\"", "Roll\t\tR36\t914.4\t\tR36", "Slot\t\tX\t\t\t"});
  set.file("Media Source", {"\"Tray 1\"\t\tSheetFeeder\tTray\tTray", "\t\t\tRoll",
                            "Bypass\t\tConveyor\tNowhere", "Odd\t\tNone\t\"\"\t\"\""});
  KV_Object o;
  EXPECT_EQ(load(set, o), (std::set<int>{1, 2, 3, 4, 32, 48, 49}));
  const std::u16string t = u"\\M\\media\\source\\Tray_1\\";
  EXPECT_EQ(get_int(o, t + u"caps_type"), 0);
  EXPECT_EQ(get_text(o, t + u"localized_name"), "Tray 1");
  EXPECT_EQ(get_text(o, t + u"default_entry"), "Tray");
  EXPECT_EQ(get_int(o, t + u"feed"), 2);
  EXPECT_EQ(get_text(o, t + u"entry\\Tray\\default_size"), "A4");
  EXPECT_EQ(get_double(o, t + u"entry\\Tray\\width"), 210.0);
  EXPECT_EQ(get_double(o, t + u"entry\\Tray\\frame_height"), 297.0);
  EXPECT_EQ(get_text(o, t + u"entry\\Tray\\localized_name"), "Tray entry");
  EXPECT_EQ(get_text(o, t + u"entry\\Tray\\size_names\\0\\name"), "A4");
  EXPECT_EQ(get_text(o, t + u"entry\\Tray\\size_names\\1\\name"), "A3");
  EXPECT_EQ(get_text(o, t + u"entry\\Tray\\size_names\\2\\name"), "A_2");
  EXPECT_EQ(get_int(o, t + u"entry\\Tray\\size_names\\2\\caps_type"), 0);
  EXPECT_FALSE(has_node(o, u"\\M\\media\\source\\Tray_1\\entry\\Tray\\size_names\\3"));
  // A line without a name adds an entry to the source above it; an empty
  // field keeps the value of the entry before.
  EXPECT_EQ(get_double(o, t + u"entry\\Roll\\width"), static_cast<double>(914.4f));
  EXPECT_EQ(get_double(o, t + u"entry\\Roll\\frame_height"), 297.0);
  EXPECT_EQ(get_text(o, t + u"entry\\Roll\\size_names\\0\\name"), "R36");
  // A feed or an entry that no list holds writes nothing.
  EXPECT_FALSE(has(o, u"\\M\\media\\source\\Bypass\\feed"));
  EXPECT_FALSE(has_node(o, u"\\M\\media\\source\\Bypass\\entry"));
  EXPECT_EQ(get_int(o, u"\\M\\media\\source\\Odd\\feed"), 0);
  // A quoted empty name finds the empty first entry.
  EXPECT_EQ(get_text(o, u"\\M\\media\\source\\Odd\\default_entry"), "");
  EXPECT_EQ(get_text(o, u"\\M\\media\\source\\Odd\\entry\\default_size"), "");
  EXPECT_EQ(get_text(o, u"\\M\\media\\source\\Odd\\entry\\size_names\\0\\name"), "Loose");
}

TEST(PdtMedia, OptionListsAndDestinations) {
  PdtSet set;
  set.keys("ORVA_MEDIA_COLLATING_B4 \"Sets\"\nORVA_MEDIA_STAPLING_B3 \"Corner\"\n");
  set.file("Media Collating",
           {"\t\tRegular", "Sets\t\tRegular", "Odd\t\tregular", "Sets\t\tCustom"});
  set.file("Media Cutting", {"Page\t\tEndofpage", "Never\t\tNone"});
  set.file("Media Folding", {"Z\t\tZfold\tEndofset", "Odd\t\tFan\tNone"});
  set.file("Media Stapling", {"Corner\t\tPortraitUR\tEndofset\t90", "Odd\t\tTop\tNever\tx"});
  set.file("Media Destination",
           {"Bin\t\tSets\tMissing\tPage\tZ\tSets\tCorner\tPage\tZ", "\t\t\t\t\t\tNope\tOdd",
            "\t\t\t\t\t\tOdd\t\tNever\tOdd", "Empty"});
  KV_Object o;
  EXPECT_EQ(load(set, o), (std::set<int>{7, 8, 19, 20, 21, 35, 36, 37}));
  const std::u16string p = u"\\M\\media\\destination\\Bin\\";
  EXPECT_EQ(get_int(o, p + u"caps_type"), 0);
  EXPECT_EQ(get_text(o, p + u"default_collating"), "Sets");
  EXPECT_FALSE(has(o, p + u"default_stapling"));
  EXPECT_EQ(get_text(o, p + u"default_cutting"), "Page");
  EXPECT_EQ(get_text(o, p + u"default_folding"), "Z");
  // The first record of a name wins; a type outside the vocabulary is 65535.
  EXPECT_EQ(get_int(o, p + u"collating\\Sets\\collating_type"), 1);
  EXPECT_EQ(get_text(o, p + u"collating\\Sets\\localized_name"), "Sets");
  EXPECT_EQ(get_int(o, p + u"collating\\Odd\\collating_type"), 65535);
  EXPECT_FALSE(has_node(o, u"\\M\\media\\destination\\Bin\\collating\\Nope"));
  EXPECT_EQ(get_text(o, p + u"stapling\\Corner\\localized_name"), "Corner");
  EXPECT_EQ(get_int(o, p + u"stapling\\Corner\\location"), 2);
  EXPECT_EQ(get_int(o, p + u"stapling\\Corner\\when"), 2);
  EXPECT_EQ(get_int(o, p + u"stapling\\Corner\\orientation"), 90);
  EXPECT_EQ(get_int(o, p + u"stapling\\Odd\\location"), 0);
  EXPECT_EQ(get_int(o, p + u"stapling\\Odd\\when"), -1);
  EXPECT_EQ(get_int(o, p + u"stapling\\Odd\\orientation"), 0);
  EXPECT_EQ(get_int(o, p + u"cutting\\Page\\when"), 3);
  EXPECT_EQ(get_int(o, p + u"cutting\\Never\\when"), 0);
  EXPECT_EQ(get_int(o, p + u"folding\\Z\\folding_type"), 1);
  EXPECT_EQ(get_int(o, p + u"folding\\Z\\when"), 2);
  EXPECT_EQ(get_int(o, p + u"folding\\Odd\\folding_type"), 0);
  EXPECT_EQ(get_int(o, p + u"folding\\Odd\\when"), 0);
  // A destination with nothing that a list holds: only its own texts.
  EXPECT_EQ(get_int(o, u"\\M\\media\\destination\\Empty\\caps_type"), 0);
  EXPECT_FALSE(has(o, u"\\M\\media\\destination\\Empty\\default_collating"));
}

TEST(PdtMedia, DestinationListStartsWithAnEmptyRecordAfterAnUnnamedRow) {
  PdtSet set;
  set.file("Media Collating", {"C\t\tRegular"});
  set.file("Media Destination", {"\t\t\t\t\t\tC", "Bin\t\tC"});
  KV_Object o;
  EXPECT_EQ(load(set, o), (std::set<int>{7, 8, 19, 36}));
  // The empty record is written at the destination branch itself.
  EXPECT_EQ(get_int(o, u"\\M\\media\\destination\\collating\\C\\collating_type"), 1);
  EXPECT_EQ(get_text(o, u"\\M\\media\\destination\\Bin\\default_collating"), "C");
  EXPECT_FALSE(has_node(o, u"\\M\\media\\destination\\Bin\\collating"));
}

TEST(PdtMedia, Types) {
  PdtSet set;
  set.keys("ORVA_MEDIA_TYPE_B3 \"Plain\"\n");
  set.file("Media Type", {"Plain\t\t600\t300.5", "Film\t\t\t\t120 // minutes?", "Empty"});
  KV_Object o;
  EXPECT_EQ(load(set, o), (std::set<int>{10, 11, 30, 31}));
  const std::u16string t = u"\\M\\media\\type\\";
  EXPECT_EQ(get_text(o, t + u"0\\name"), "Plain");
  EXPECT_EQ(get_text(o, t + u"0\\localized_name"), "Plain");
  EXPECT_EQ(get_double(o, t + u"0\\max_resolution_x"), 600.0);
  EXPECT_EQ(get_double(o, t + u"0\\max_resolution_y"), 300.5);
  EXPECT_FALSE(has(o, t + u"0\\drying_time"));
  EXPECT_FALSE(has(o, t + u"1\\max_resolution_x"));
  EXPECT_EQ(get_int(o, t + u"1\\drying_time"), 120);
  EXPECT_EQ(get_text(o, t + u"2\\localized_name"), "Plain");
}

}  // namespace
