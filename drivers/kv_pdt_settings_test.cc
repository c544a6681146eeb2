// Copyright the kvstore authors.
//
// The device settings, the ability texts that they write, and the
// localizable model texts, through whole loads of small sets.
#include "drivers/kv_pdt_settings.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "drivers/pdt_test_fixture.h"

namespace {

// The settings file with the given lines (by line number, from 3); lines
// between them are "label" alone, so that the file reaches the last one.
std::vector<std::string> settings(const std::map<int, std::string>& values) {
  std::vector<std::string> lines;
  const int last = values.empty() ? 2 : values.rbegin()->first;
  for (int line = 3; line <= last; ++line) {
    auto found = values.find(line);
    lines.push_back(found != values.end() ? "label\t" + found->second : "label");
  }
  return lines;
}

struct Loaded {
  KV_Object tree;
  std::string pens, init_term, media, res_color_mem, io;
};

void load(const PdtSet& set, Loaded& out) {
  set.load(out.tree);
  out.pens = get_text(out.tree, u"\\M\\physical_pen\\abilities");
  out.init_term = get_text(out.tree, u"\\M\\init_term\\abilities");
  out.media = get_text(out.tree, u"\\M\\media\\abilities");
  out.res_color_mem = get_text(out.tree, u"\\M\\res_color_mem\\abilities");
  out.io = get_text(out.tree, u"\\M\\io\\abilities");
}

TEST(PdtSettings, EverySettingWithItsGroups) {
  PdtSet set;
  // Line 11 stops at its empty field; line 12 names no entry (0); line 26
  // is misspelt in the vocabulary.
  std::map<int, std::string> values;
  int line = 3;
  // clang-format off
  const char* const from_3[] = {
    "8", "4", "60.5 // cm/s", "30", "MediaSizeByMediaSource = 0x1\tMediaSizeByMediaSize = 0x2",
    "MediaSizeByMediaSize = 0x2\tBogus\tMediaSizeByMediaSource = 0x1", "0.5", "99",
    "None = 0x1\tLong = 0x2\t\tShort = 0x4", "Short", "Yes", "y", "N", "Large format", "y", "N",
    "yes", "Y", "2.0", "0.1", "5", "Full Motion Optimization", "0.25",
    "Limited Motion Optimization", "7", "7", "y", "\"Colour Best\"", "\"Roll 1\"", "ISO A4",
    "Bin", "\"Plain Paper\" ", "7", "Y", "7", "2.4.0", "Plotter 2400", "914.4", "15000", "0"};
  // clang-format on
  for (const char* value : from_3) values[line++] = value;
  values.insert({{64, "\"RS232\""}, {65, "plt"}, {66, "Y"}, {67, "N"}, {68, "Yes"}});
  set.file("Misc Non-Localizable Info", settings(values));
  Loaded l;
  load(set, l);
  const KV_Object& o = l.tree;
  EXPECT_EQ(pia_text(o, u"\\M\\physical_pen"),
            "max_npens=8\n"
            "default_npens=4\n"
            "max_speed=60.5\n"
            "default_speed=30.0\n"
            "programmable_widths=TRUE\n"
            "programmable_speeds=FALSE\n"
            "hardware_fills=TRUE\n"
            "area_fill_corr=TRUE\n"
            "max_width=2.0\n"
            "min_width=0.10000000149 (    H)F9N3^Z0 )\n"
            "min_speed=5.0\n"
            "max_optimization=4\n"
            "default_width=0.25\n"
            "default_optimization=0\n"
            "ui_owner=\"0,0,0,0,0,0,0\n"
            "abilities=\"" +
                groups_text(19, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 18}) +
                "\n"
                "caps_state=\"0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n");
  const std::u16string m = u"\\M\\media\\";
  EXPECT_EQ(get_int(o, m + u"selection_methods"), 3);
  EXPECT_EQ(get_int(o, m + u"default_selection_method"), 3);
  EXPECT_EQ(get_double(o, m + u"default_longplot_reduction"), 0.5);
  EXPECT_EQ(get_int(o, m + u"max_number_of_copies"), 99);
  EXPECT_EQ(get_int(o, m + u"duplexing_modes"), 3);
  EXPECT_EQ(get_int(o, m + u"default_duplexing_mode"), 0);
  EXPECT_EQ(get_text(o, m + u"default_source"), "Roll_1");
  EXPECT_EQ(get_text(o, m + u"default_size"), "ISO_A4");
  EXPECT_EQ(get_text(o, m + u"default_destination"), "Bin");
  EXPECT_EQ(get_text(o, m + u"default_type"), "Plain_Paper");
  EXPECT_EQ(get_bool(o, m + u"mediacopies"), "true");
  EXPECT_EQ(get_double(o, m + u"size_max_x"), 914.4);  // a real, not a float
  EXPECT_EQ(get_double(o, m + u"size_max_y"), 15000.0);
  EXPECT_EQ(get_double(o, m + u"max_roll_height"), 0.0);
  EXPECT_EQ(l.media, groups_text(51, {0, 22, 23, 24, 25, 34, 39, 40, 42, 43, 45, 46, 50}));
  EXPECT_EQ(pia_text(o, u"\\M\\meta"),
            "canonical_family_name=\"Large format\n"
            "driver_version=\"2.4.0\n"
            "canonical_model_name=\"Plotter 2400\n"
            "model_abilities=\"0,0,0,0,0,0,0,0,0,0,0,0\n"
            "toolkit_version=0.0\n");
  // Exact "Y" for the init/term answers: "y" is no.
  EXPECT_EQ(l.init_term, "5,0,0");
  EXPECT_EQ(get_bool(o, u"\\M\\res_color_mem\\memory_changes_print_area"), "false");
  EXPECT_EQ(get_text(o, u"\\M\\res_color_mem\\default_name"), "Colour_Best");
  EXPECT_EQ(l.res_color_mem, groups_text(24, {12, 15, 18, 22}));
  EXPECT_EQ(get_int(o, u"\\M\\io\\default_type"), 4);
  EXPECT_EQ(get_text(o, u"\\M\\io\\default_plot_file_extension"), "plt");
  EXPECT_EQ(l.io, groups_text(12, {1, 3}));
}

TEST(PdtSettings, EmptyAndNoAnswers) {
  // Settings given as "N", "0" or a name outside their vocabulary: written,
  // with their groups, except max_npens 0 and the answers that are no. An
  // empty field writes nothing.
  PdtSet set;
  // clang-format off
  set.file("Misc Non-Localizable Info", settings({
      {3, "0"}, {4, ""}, {13, "N"}, {17, "N"}, {24, "Pen Sorting"}, {29, "N"}, {36, "n"},
      {64, "rs232"}, {66, "y"}, {67, "Y"}}));
  // clang-format on
  Loaded l;
  load(set, l);
  EXPECT_EQ(get_int(l.tree, u"\\M\\physical_pen\\max_npens"), 0);
  EXPECT_FALSE(has(l.tree, u"\\M\\physical_pen\\default_npens"));
  EXPECT_EQ(get_bool(l.tree, u"\\M\\physical_pen\\programmable_widths"), "false");
  EXPECT_EQ(get_int(l.tree, u"\\M\\physical_pen\\max_optimization"), 2);
  EXPECT_EQ(l.pens, groups_text(19, {6, 17}));
  EXPECT_EQ(l.init_term, "0,0,0");
  EXPECT_EQ(get_bool(l.tree, u"\\M\\res_color_mem\\memory_changes_print_area"), "false");
  EXPECT_EQ(get_bool(l.tree, u"\\M\\media\\mediacopies"), "false");
  EXPECT_EQ(l.res_color_mem, groups_text(24, {11, 18}));
  EXPECT_EQ(get_int(l.tree, u"\\M\\io\\default_type"), -1);
  EXPECT_EQ(l.io, groups_text(12, {3}));
  EXPECT_EQ(l.media, groups_text(51, {23, 24}));
}

TEST(PdtSettings, EveryGroupThatTheSettingsCanMark) {
  std::map<int, std::string> all;
  for (int line = 3; line <= 68; ++line) all[line] = "Y";
  all[3] = "2";
  all[7] = "MediaSizeByMediaSource = 0x1";
  all[8] = "MediaSizeByMediaSize = 0x2";
  all[11] = "Long = 0x2";
  all[12] = "Short = 0x4";
  all[43] = "LinetypeScale\tLinetypeAdaptive";
  PdtSet set;
  set.file("Misc Non-Localizable Info", settings(all));
  // A landscape and a portrait size add group 12 and its property.
  set.file("Media Size", {"A\t\t\tLandscape", "B\t\t\tPortrait"});
  Loaded l;
  load(set, l);
  // The pen groups but 15, all init/term groups; the media, resolution and
  // I/O groups of the settings, with the media sizes' 5, 6 and 12.
  EXPECT_EQ(l.pens,
            groups_text(19, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 18}));
  EXPECT_EQ(l.init_term, "5,5,5");
  EXPECT_EQ(l.media,
            groups_text(51, {0, 5, 6, 12, 22, 23, 24, 25, 34, 39, 40, 42, 43, 45, 46, 50}));
  EXPECT_EQ(l.res_color_mem, groups_text(24, {11, 12, 15, 18, 22}));
  EXPECT_EQ(l.io, groups_text(12, {1, 3}));
  EXPECT_EQ(get_bool(l.tree, u"\\M\\media\\landscape"), "true");
  EXPECT_EQ(get_text(l.tree, u"\\M\\linetype\\abilities"), "5,5");
  // "Y" names no vocabulary entry: the default I/O type is -1.
  EXPECT_EQ(get_int(l.tree, u"\\M\\io\\default_type"), -1);
}

TEST(PdtSettings, LandscapeNeedsBothOrientations) {
  for (const auto& [sizes, landscape] :
       {std::pair<std::vector<std::string>, bool>{{"A\t\t\tLandscape"}, false},
        {{"A\t\t\tPortrait", "B\t\t\tportrait", "C\t\t\tlandscape"}, false},
        {{"A\t\t\tPortrait", "B\t\t\tLandscape"}, true},
        // The first letter decides, in upper case only.
        {{"A\t\t\tL", "B\t\t\tP"}, true}}) {
    PdtSet set;
    set.file("Media Size", sizes);
    KV_Object o;
    set.load(o);
    EXPECT_EQ(get_bool(o, u"\\M\\media\\landscape"), landscape ? "true" : "missing");
  }
}

TEST(PdtSettings, LineTypeAbilitiesNeedTheLabel) {
  for (const auto& [line43, expected] : std::vector<std::pair<std::string, std::string>>{
           {"label\tLinetypeAdaptive", "0,5"},
           {"label\tLinetypeScale\tnone", "5,0"},
           {"label\tlinetypescale", "0,0"},
           {"\tLinetypeScale\tLinetypeAdaptive", "<missing>"}}) {
    std::vector<std::string> lines = settings({{42, "1"}});
    lines.push_back(line43);
    PdtSet set;
    set.file("Misc Non-Localizable Info", lines);
    KV_Object o;
    set.load(o);
    EXPECT_EQ(get_text(o, u"\\M\\linetype\\abilities"), expected) << line43;
  }
}

TEST(PdtSettings, OwnershipLaterLinesOverride) {
  PdtSet set;
  // Line 49's list ends at its empty field.
  // clang-format off
  set.file("Misc Non-Localizable Info", settings({
      {44, "ALL"}, {45, "PostInitString"}, {47, "TerminationString\tALL extra"},
      {48, "PenColor\tPenWidth"}, {49, "PenWidth\t\tPenSpeed"}, {51, "all"}, {52, "ALL"},
      {53, "Resolution\tColorDepth"}, {54, "ALL"}, {55, "ICMIntent\tBogus"},
      {57, "Portname\tProtocol"}, {59, "PlotToFile\tPathname"}, {61, "Type\tSource"}, {62, "ALL"},
      {63, "Size\tDuplexingMode"}}));
  // clang-format on
  KV_Object o;
  set.load(o);
  EXPECT_EQ(get_text(o, u"\\M\\init_term\\ui_owner"), "0,1,3");
  EXPECT_EQ(get_text(o, u"\\M\\physical_pen\\ui_owner"), "0,0,1,0,0,0,0");
  EXPECT_EQ(get_text(o, u"\\M\\res_color_mem\\ui_owner"), "2,2,2,2,2,2,2,2,2,2,2,3,2,2");
  EXPECT_EQ(get_text(o, u"\\M\\io\\ui_owner"), "1,0,1,0,0,0,0,3,3");
  // "ALL" covers the 20 names of the media vocabulary, not the set's
  // three further groups.
  EXPECT_EQ(get_text(o, u"\\M\\media\\ui_owner"), "2,2,2,2,2,2,2,2,3,2,2,2,2,2,3,2,2,2,2,2,0,0,0");
}

TEST(PdtSettings, ModelTexts) {
  PdtSet set;
  set.keys(
      "ORVA_MISC_LOCALIZABLE_INFORMATION_B3 \"Plotter\"\n"
      "ORVA_MISC_LOCALIZABLE_INFORMATION_B5 \"Tag line\"\n");
  set.file("Misc Localizable Information", {"Model\tY", "Family", "Tag\tN", "Sixth\tY"});
  KV_Object o;
  set.load(o);
  EXPECT_EQ(get_text(o, u"\\M\\meta\\localized_model_name"), "Plotter");
  EXPECT_FALSE(has(o, u"\\M\\meta\\localized_family_name"));
  // Field 2 only says whether the text is there.
  EXPECT_EQ(get_text(o, u"\\M\\meta\\driver_tag_line"), "Tag line");
  EXPECT_EQ(pia_text(o, u"\\M\\meta").find("Sixth"), std::string::npos);
}

}  // namespace
