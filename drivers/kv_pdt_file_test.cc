// Copyright the kvstore authors.
//
// The driver description reader as a whole: the example set against its
// reviewed dump, the argument checks, the open errors, the version query,
// the default capability states and concurrent loads.
#include "drivers/kv_pdt_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kvstore/kv_exceptions.h"
#include "testutil/pdt_set.h"

namespace {

std::filesystem::path source_dir() {
  const char* dir = std::getenv("KV_SOURCE_DIR");
  return dir != nullptr ? dir : ".";
}

std::u16string example_key_file() {
  const std::string path = (source_dir() / "examples" / "drivers" / "keytexts.txt").string();
  return std::u16string(path.begin(), path.end());
}

std::string dump_of_example() {
  KV_Object object;
  object.load(example_key_file().c_str(), KV_Object::FT_PDT, u"\\Model");
  return pia_text(object);
}

// Runs f and returns the KV_Severe it raises as "id|argument" ("none" when
// it raises nothing).
template <typename F>
std::string severe_of(F f) {
  try {
    f();
  } catch (const KV_Severe& e) {
    std::u16string arg = e.argument() != nullptr ? e.argument() : u"<null>";
    EXPECT_EQ(std::u16string(e.source()), u"KV_PDTFile::load()");
    EXPECT_EQ(std::u16string(e.file()), u"$Workfile: kvpdt.cc $ $Revision: 2 $");
    return std::to_string(e.id()) + "|" + std::string(arg.begin(), arg.end());
  }
  return "none";
}

TEST(PdtFile, ExampleSetGivesTheReviewedTree) {
  const std::string expected =
      read_file(source_dir() / "drivers" / "testdata" / "example_set.expected");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(dump_of_example(), expected);

  // The widths and heights of the source entries are 32-bit floats in the
  // files' records: their long double texts must read back as exactly those.
  KV_Object reread;
  std::stringstream stream("PIAFILEVERSION_2.0,\r\n" + expected);
  reread.load(&stream, KV_Object::FT_PIA, u"\\");
  const std::u16string entry = u"\\Model\\media\\source\\";
  EXPECT_EQ(get_double(reread, entry + u"Roll_Feeder\\entry\\Roll_1\\width"),
            static_cast<double>(914.4f));
  EXPECT_EQ(get_double(reread, entry + u"Manual\\entry\\Manual_Slot\\width"),
            static_cast<double>(330.2f));
  EXPECT_EQ(get_double(reread, entry + u"Manual\\entry\\Manual_Slot\\frame_height"),
            static_cast<double>(482.6f));
}

// Every property that an import defines, below the root; "*" stands for
// one path component (an index or a name from the files).
constexpr const char* kEveryProperty[] = {
    // Custom capabilities.
    "custom_name\\*\\localized_name", "custom_name\\*\\custom_caps_type",
    "custom_name\\*\\verifiable", "custom_name\\*\\data_type", "custom_name\\*\\default_value",
    "custom_name\\*\\range_type", "custom_name\\*\\range_max", "custom_name\\*\\range_min",
    "custom_name\\*\\number_of_values", "custom_name\\*\\value_list\\*\\value",
    "custom_name\\*\\value_list\\*\\caps_type",
    // Dithering methods, memory areas, combinations.
    "res_color_mem\\dithering_list\\*\\localized_name",
    "res_color_mem\\dithering_list\\*\\pixel_expansion_ratio",
    "res_color_mem\\dithering_list\\*\\source_pixel_ratio",
    "res_color_mem\\dithering_list\\*\\renderers", "res_color_mem\\dithering_list\\*\\caps_type",
    "res_color_mem\\dithering_list\\*\\dithering_type",
    "res_color_mem\\dithering_list\\*\\threshold",
    "res_color_mem\\dithering_list\\*\\matrix_size_x",
    "res_color_mem\\dithering_list\\*\\matrix_size_y",
    "res_color_mem\\dithering_list\\*\\matrix_list\\*\\*\\data",
    "res_color_mem\\mem_area_list\\*\\caps_type", "res_color_mem\\mem_area_list\\*\\localized_name",
    "res_color_mem\\mem_area_list\\*\\device_memory",
    "res_color_mem\\mem_area_list\\*\\printable_area", "res_color_mem\\rcm_list\\*\\localized_name",
    "res_color_mem\\rcm_list\\*\\number_of_colors", "res_color_mem\\rcm_list\\*\\color_depth",
    "res_color_mem\\rcm_list\\*\\undithered_colors", "res_color_mem\\rcm_list\\*\\color_system",
    "res_color_mem\\rcm_list\\*\\default_resolution", "res_color_mem\\rcm_list\\*\\caps_type",
    "res_color_mem\\rcm_list\\*\\resolution_list\\*\\caps_type",
    "res_color_mem\\rcm_list\\*\\resolution_list\\*\\localized_name",
    "res_color_mem\\rcm_list\\*\\resolution_list\\*\\physical_resolution_x",
    "res_color_mem\\rcm_list\\*\\resolution_list\\*\\physical_resolution_y",
    "res_color_mem\\rcm_list\\*\\resolution_list\\*\\addressable_resolution_x",
    "res_color_mem\\rcm_list\\*\\resolution_list\\*\\addressable_resolution_y",
    "res_color_mem\\rcm_list\\*\\resolution_list\\*\\effective_resolution_x",
    "res_color_mem\\rcm_list\\*\\resolution_list\\*\\effective_resolution_y",
    "res_color_mem\\rcm_list\\*\\resolution_list\\*\\default_mem_area",
    "res_color_mem\\rcm_list\\*\\resolution_list\\*\\res_color_mem\\dithering_list",
    "res_color_mem\\rcm_list\\*\\resolution_list\\*\\mem_area\\*\\caps_type",
    "res_color_mem\\rcm_list\\*\\resolution_list\\*\\mem_area\\*\\name",
    "res_color_mem\\memory_changes_print_area", "res_color_mem\\default_name",
    "res_color_mem\\ui_owner", "res_color_mem\\abilities", "res_color_mem\\caps_state",
    // I/O methods and defaults.
    "io\\method\\*\\caps_type", "io\\method\\*\\max_output_timeout",
    "io\\method\\*\\min_output_timeout", "io\\method\\*\\max_input_timeout",
    "io\\method\\*\\min_input_timeout", "io\\method\\*\\default_output_timeout",
    "io\\method\\*\\default_input_timeout", "io\\method\\*\\default_baud_rate",
    "io\\method\\*\\default_protocol", "io\\method\\*\\default_handshake",
    "io\\method\\*\\handshakes", "io\\method\\*\\bidi_flags", "io\\method\\*\\abilities",
    "io\\method\\*\\protocol\\*\\canonical_name", "io\\method\\*\\protocol\\*\\data_bits",
    "io\\method\\*\\protocol\\*\\stop_bits", "io\\method\\*\\protocol\\*\\parity",
    "io\\method\\*\\protocol\\*\\localized_name", "io\\method\\*\\protocol\\*\\caps_type",
    "io\\method\\*\\baudrates\\*\\rate", "io\\method\\*\\baudrates\\*\\caps_type",
    "io\\ui_owner", "io\\default_type", "io\\default_plot_file_extension", "io\\abilities",
    "io\\caps_state",
    // Media.
    "media\\description\\*\\caps_type", "media\\description\\*\\name",
    "media\\description\\*\\dimensional", "media\\description\\*\\printable_area",
    "media\\description\\*\\media_bounds_urx", "media\\description\\*\\media_bounds_ury",
    "media\\description\\*\\printable_bounds_llx", "media\\description\\*\\printable_bounds_lly",
    "media\\description\\*\\printable_bounds_urx", "media\\description\\*\\printable_bounds_ury",
    "media\\size\\*\\media_group", "media\\size\\*\\caps_type", "media\\size\\*\\name",
    "media\\size\\*\\localized_name", "media\\size\\*\\landscape_mode",
    "media\\size\\*\\media_description_name", "media\\type\\*\\name", "media\\type\\*\\caps_type",
    "media\\type\\*\\localized_name", "media\\type\\*\\max_resolution_x",
    "media\\type\\*\\max_resolution_y", "media\\type\\*\\drying_time",
    "media\\source\\*\\caps_type", "media\\source\\*\\localized_name",
    "media\\source\\*\\default_entry", "media\\source\\*\\feed",
    "media\\source\\*\\entry\\*\\default_size", "media\\source\\*\\entry\\*\\width",
    "media\\source\\*\\entry\\*\\frame_height", "media\\source\\*\\entry\\*\\localized_name",
    "media\\source\\*\\entry\\*\\caps_type", "media\\source\\*\\entry\\*\\size_names\\*\\name",
    "media\\source\\*\\entry\\*\\size_names\\*\\caps_type",
    "media\\destination\\*\\localized_name", "media\\destination\\*\\caps_type",
    "media\\destination\\*\\default_collating", "media\\destination\\*\\default_stapling",
    "media\\destination\\*\\default_folding", "media\\destination\\*\\default_cutting",
    "media\\destination\\*\\collating\\*\\caps_type",
    "media\\destination\\*\\collating\\*\\localized_name",
    "media\\destination\\*\\collating\\*\\collating_type",
    "media\\destination\\*\\stapling\\*\\caps_type",
    "media\\destination\\*\\stapling\\*\\localized_name",
    "media\\destination\\*\\stapling\\*\\location", "media\\destination\\*\\stapling\\*\\when",
    "media\\destination\\*\\stapling\\*\\orientation",
    "media\\destination\\*\\folding\\*\\caps_type",
    "media\\destination\\*\\folding\\*\\localized_name",
    "media\\destination\\*\\folding\\*\\folding_type", "media\\destination\\*\\folding\\*\\when",
    "media\\destination\\*\\cutting\\*\\caps_type",
    "media\\destination\\*\\cutting\\*\\localized_name", "media\\destination\\*\\cutting\\*\\when",
    "media\\selection_methods", "media\\default_selection_method",
    "media\\default_longplot_reduction", "media\\max_number_of_copies", "media\\duplexing_modes",
    "media\\default_duplexing_mode", "media\\default_source", "media\\default_size",
    "media\\default_destination", "media\\default_type", "media\\mediacopies",
    "media\\size_max_x", "media\\size_max_y", "media\\max_roll_height", "media\\ui_owner",
    "media\\landscape", "media\\abilities", "media\\caps_state",
    // Raster abilities.
    "RASTER\\abilities", "RASTER\\orientation_prefs",
    // Pens.
    "physical_pen\\max_npens", "physical_pen\\default_npens", "physical_pen\\max_speed",
    "physical_pen\\default_speed", "physical_pen\\programmable_widths",
    "physical_pen\\programmable_speeds", "physical_pen\\hardware_fills",
    "physical_pen\\area_fill_corr", "physical_pen\\max_width", "physical_pen\\min_width",
    "physical_pen\\min_speed", "physical_pen\\max_optimization", "physical_pen\\default_width",
    "physical_pen\\default_optimization", "physical_pen\\ui_owner", "physical_pen\\abilities",
    "physical_pen\\caps_state",
    // Model.
    "meta\\canonical_family_name", "meta\\driver_version", "meta\\canonical_model_name",
    "meta\\model_abilities", "meta\\localized_model_name", "meta\\localized_family_name",
    "meta\\driver_tag_line", "meta\\toolkit_version",
    // Line types, init/term.
    "linetype\\abilities", "linetype\\capabilities", "linetype\\caps_state",
    "linetype\\font\\*\\width", "init_term\\ui_owner", "init_term\\abilities",
};

// The property paths of a PIA text, below its first node.
std::vector<std::string> property_paths(const std::string& text) {
  std::vector<std::string> paths;
  std::vector<std::string> nodes;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    line.erase(0, line.find_first_not_of(' '));
    if (line == "}") {
      nodes.pop_back();
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) {
      nodes.push_back(line.substr(0, line.size() - 1));
      continue;
    }
    std::string path;
    for (std::size_t i = 1; i < nodes.size(); ++i) path += nodes[i] + "\\";
    paths.push_back(path + line.substr(0, equals));
  }
  return paths;
}

bool matches(const std::string& pattern, const std::string& path) {
  std::istringstream p(pattern);
  std::istringstream q(path);
  std::string a;
  std::string b;
  for (;;) {
    const bool more_a = static_cast<bool>(std::getline(p, a, '\\'));
    const bool more_b = static_cast<bool>(std::getline(q, b, '\\'));
    if (!more_a || !more_b) return more_a == more_b;
    if (a != "*" && a != b) return false;
  }
}

TEST(PdtFile, ExampleSetHoldsEveryPropertyAndNoOther) {
  const std::vector<std::string> paths =
      property_paths(read_file(source_dir() / "drivers" / "testdata" / "example_set.expected"));
  for (const char* pattern : kEveryProperty) {
    bool found = false;
    for (const std::string& path : paths) found = found || matches(pattern, path);
    EXPECT_TRUE(found) << "the example set lacks " << pattern;
  }
  for (const std::string& path : paths) {
    bool known = false;
    for (const char* pattern : kEveryProperty) known = known || matches(pattern, path);
    EXPECT_TRUE(known) << "no import writes " << path;
  }
}

TEST(PdtFile, ArgumentsAreCheckedAfterTheKeyTextFileIsRead) {
  PdtSet set;
  set.keys("ORVA_MEDIA_SIZE_C3 \"A4\"\nORVA_MEDIA_TYPE_B3 \"Plain\"\n");
  const std::u16string name = set.key_file();
  KV_Object object;
  struct Case {
    KV_Object* object;
    const char16_t* root;
    KV_Object::FileType type;
    std::string error;
  };
  const Case cases[] = {
      {nullptr, u"\\M", KV_Object::FT_PDT, "52|\\M"},
      {&object, u"", KV_Object::FT_PDT, "51|"},
      {&object, nullptr, KV_Object::FT_PDT, "51|<null>"},
      {&object, u"\\M", KV_Object::FT_PIA, "54|\\M"},
  };
  for (const Case& c : cases) {
    KV_PDTFile reader(nullptr);
    reader.open(name.c_str(), 0);
    EXPECT_EQ(severe_of([&] { reader.load(c.object, c.root, c.type); }), c.error);
    EXPECT_EQ(reader.state().keys.entries(), 2);
    reader.close();
  }
  // Nothing was written for the refused calls.
  EXPECT_FALSE(has_node(object, u"\\M"));
}

TEST(PdtFile, MissingFilesAreErrors) {
  {
    PdtSet set;
    KV_Object object;
    std::filesystem::remove(set.folder() / "keys.txt");
    try {
      set.load(object);
      ADD_FAILURE() << "no error";
    } catch (const KV_Severe& e) {
      EXPECT_EQ(e.id(), 63u);
      EXPECT_EQ(std::u16string(e.source()), u"KV_PIAFile::load()");
    }
  }
  // Every file that the load order names must exist, converted or not; the
  // two files that it never reads need not.
  for (const std::string& missing : PdtSet::file_names()) {
    PdtSet set;
    set.remove(missing);
    KV_Object object;
    const std::string path = (set.folder() / (missing + ".pdt")).string();
    const bool read = missing != "Baud Rate" && missing != "Media Source Size" &&
                      missing != "Global Static Lists";
    EXPECT_EQ(severe_of([&] { set.load(object); }), read ? "63|" + path : "none") << missing;
  }
  // A folder in place of a file; what earlier steps wrote stays.
  PdtSet set;
  set.file("Media Size", {"A4"});
  std::filesystem::remove(set.folder() / "Media Type.pdt");
  std::filesystem::create_directory(set.folder() / "Media Type.pdt");
  KV_Object object;
  EXPECT_EQ(severe_of([&] { set.load(object); }),
            "68|" + (set.folder() / "Media Type.pdt").string());
  EXPECT_EQ(get_text(object, u"\\M\\media\\size\\0\\name"), "A4");
  EXPECT_FALSE(has_node(object, u"\\M\\meta"));
}

TEST(PdtFile, VersionIsField62OfLine2OfTheGlobalLists) {
  PdtSet set;
  std::string line2;
  for (int i = 1; i <= 61; ++i) line2 += "f" + std::to_string(i) + "\t";
  set.raw("Global Static Lists", "header\n" + line2 + "3.1.4 // release\tmore\n");
  KV_PDTFile reader(nullptr);
  reader.open(set.key_file().c_str(), 0);
  char16_t buffer[64];
  reader.getVersion(buffer, std::numeric_limits<std::size_t>::max());
  EXPECT_EQ(std::u16string(buffer), u"3.1.4");
  reader.getVersion(buffer, 4);
  EXPECT_EQ(std::u16string(buffer), u"3.1");
  buffer[0] = u'x';
  reader.getVersion(buffer, 0);
  EXPECT_EQ(buffer[0], u'x');

  // 61 fields, or no line 2 at all (even without a line break): empty.
  set.raw("Global Static Lists", "header\n" + line2.substr(0, line2.size() - 1) + "\n");
  reader.getVersion(buffer, 64);
  EXPECT_EQ(std::u16string(buffer), u"");
  set.raw("Global Static Lists", "header only");
  reader.getVersion(buffer, 64);
  EXPECT_EQ(std::u16string(buffer), u"");
  set.remove("Global Static Lists");
  EXPECT_EQ(severe_of([&] { reader.getVersion(buffer, 64); }),
            "63|" + (set.folder() / "Global Static Lists.pdt").string());

  // The example's version.
  KV_PDTFile example(nullptr);
  example.open(example_key_file().c_str(), 0);
  example.getVersion(buffer, 64);
  EXPECT_EQ(std::u16string(buffer), u"2.4.0");
}

TEST(PdtFile, EmptySetWritesTheStatesAndAbilityTexts) {
  // With no data line, what is written is what every load writes: the
  // raster abilities, the ownership and ability texts of the device
  // settings (media group 24 always marked), the line type capabilities and
  // the default capability states.
  PdtSet set;
  KV_Object object;
  set.load(object, u"\\Dev\\Model");
  EXPECT_EQ(pia_text(object),
            "Dev{\n"
            " Model{\n"
            "  RASTER{\n"
            "   abilities=\"0,0,0,0\n"
            "   orientation_prefs=0\n"
            "  }\n"
            "  init_term{\n"
            "   ui_owner=\"0,0,0\n"
            "   abilities=\"0,0,0\n"
            "  }\n"
            "  physical_pen{\n"
            "   ui_owner=\"0,0,0,0,0,0,0\n"
            "   abilities=\"0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n"
            "   caps_state=\"0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n"
            "  }\n"
            "  res_color_mem{\n"
            "   ui_owner=\"0,0,0,0,0,0,0,0,0,0,0,0,0,0\n"
            "   abilities=\"0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n"
            "   caps_state=\"0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n"
            "  }\n"
            "  io{\n"
            "   ui_owner=\"0,0,0,0,0,0,0,0,0\n"
            "   abilities=\"0,0,0,0,0,0,0,0,0,0,0,0\n"
            "   caps_state=\"0,0,0,0\n"
            "  }\n"
            "  media{\n"
            "   ui_owner=\"0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n"
            "   "
            "abilities=\"0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,5,0,0,0,0,0,0,0,0,0,0,0,0,"
            "0,0,0,0,0,0,0,0,0,0,0,0,0,0\n"
            "   caps_state=\"0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n"
            "  }\n"
            "  meta{\n"
            "   model_abilities=\"0,0,0,0,0,0,0,0,0,0,0,0\n"
            "   toolkit_version=0.0\n"
            "  }\n"
            "  linetype{\n"
            "   capabilities=\"0,0,0,0,0,0,0,0,0\n"
            "   caps_state=\"0,0,0,0\n"
            "  }\n"
            " }\n"
            "}\n");
}

TEST(PdtFile, StreamLoadsAreRefused) {
  std::stringstream stream("ORVA_MEDIA_SIZE_C3 \"A4\"\n");
  KV_Object object;
  try {
    object.load(&stream, KV_Object::FT_PDT, u"\\M");
    ADD_FAILURE() << "no error";
  } catch (const KV_Warning& e) {
    EXPECT_EQ(e.id(), 67u);
  }
}

TEST(PdtFile, ConcurrentLoadsGiveTheSameTree) {
  const std::string expected = dump_of_example();
  std::vector<std::string> dumps(6);
  std::vector<std::thread> threads;
  for (std::string& dump : dumps) {
    threads.emplace_back([&dump] { dump = dump_of_example(); });
  }
  for (std::thread& t : threads) t.join();
  for (const std::string& dump : dumps) EXPECT_EQ(dump, expected);
}

}  // namespace
