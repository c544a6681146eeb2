// Copyright the kvstore authors.
//
// The memory area, resolution, combination, dithering, raster and line type
// steps, through whole loads of small sets.
#include "drivers/kv_pdt_raster.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "drivers/pdt_test_fixture.h"
#include "kvstore/kv_exceptions.h"

namespace {

// Loads the set under \M and returns the resolution/colour/memory groups
// that it marked.
std::set<int> load(const PdtSet& set, KV_Object& object) {
  return marked(PdtLoad(set, object).state().res_color_mem_abilities);
}

const std::u16string kRcm = u"\\M\\res_color_mem\\";

TEST(PdtRaster, MemoryAreasInTheTreeAndInTheirList) {
  PdtSet set;
  set.keys("ORVA_MEMORY_AREA_B4 \"Expanded\"\n");
  set.file("Memory Area",
           {"Base\t\t64", "\"Big One\"\t\t256\t12.75 // MB", "\t\t\t1", "Junk\t\tlots\tnone"});
  KV_Object o;
  const PdtLoad loaded(set, o);
  // Only the unnamed line and "Junk" have a field 4: group 6 is marked
  // by them alone in this set.
  EXPECT_EQ(marked(loaded.state().res_color_mem_abilities), (std::set<int>{6}));
  EXPECT_EQ(pia_text(o, u"\\M\\res_color_mem\\mem_area_list"),
            "Base{\n"
            " caps_type=0\n"
            " localized_name=\"\n"
            " device_memory=64\n"
            "}\n"
            "Big_One{\n"
            " caps_type=0\n"
            " localized_name=\"Expanded\n"
            " device_memory=256\n"
            " printable_area=12.75\n"
            "}\n"
            "Junk{\n"
            " caps_type=0\n"
            " localized_name=\"Expanded\n"
            " device_memory=0\n"
            " printable_area=0.0\n"
            "}\n");
  // The list holds one record a named line; the printable area is the
  // field read as an integer.
  const auto& areas = loaded.state().memory_areas;
  ASSERT_EQ(areas.count(), 3);
  EXPECT_EQ(areas.find(std::u16string_view(u"Base"))->printable_area, 0);
  EXPECT_EQ(areas.find(std::u16string_view(u"Big_One"))->printable_area, 12);
  EXPECT_EQ(areas.find(std::u16string_view(u"Big_One"))->device_memory, 256);
  EXPECT_EQ(std::u16string(areas.find(std::u16string_view(u"Big_One"))->localized_name.c_str()),
            u"Expanded");
}

TEST(PdtRaster, CombinationsWriteTheirResolutionsAndMemoryAreas) {
  PdtSet set;
  set.keys(
      "ORVA_RESOLUTION_B3 \"Draft\"\nORVA_RESOLUTION_B5 \"Fine\"\n"
      "ORVA_RESOLUTION_COLOR_MEMORY_B3 \"Colour\"\n");
  set.file("Memory Area", {"First\t\t1", "Third\t\t3"});
  set.file("Resolution", {"Draft\t\t0\t300\t600\t600.5\t300\t0\tLine Art\tFirst",
                          "\t\t\t\t\t\t\t\t\tSecond", "Fine\t\t1200\t1200\t0\t0\t0.25\t2\t\tFirst",
                          "\t\t\t\t\t\t\t\t\tMissing", "\t\t\t\t\t\t\t\t\tThird"});
  set.file("Resolution Color Memory",
           {"Colour\t\t256\t8\t16\tDirect_RGB\tDraft\tDraft\ty", "\t\t\t\t\t\tNowhere",
            "\t\t\t\t\t\tFine", "Mono\t\t2\t1\t2\tgray\tFine\t\tN",
            "\"No Res\"\t\t1\t1\t1\tBitonal\t\tFine"});
  KV_Object o;
  EXPECT_EQ(load(set, o), (std::set<int>{0, 1, 2, 3, 4, 7, 8, 9, 10, 23}));
  const std::u16string q = kRcm + u"rcm_list\\";
  EXPECT_EQ(pia_text(o, (q + u"Colour").c_str()),
            "localized_name=\"Colour\n"
            "number_of_colors=256\n"
            "color_depth=8\n"
            "undithered_colors=16\n"
            "color_system=1\n"
            "default_resolution=\"Draft\n"
            "caps_type=0\n"
            "resolution_list{\n"
            // Physical x is 0: no physical pair, although y is not.
            " Draft{\n"
            "  caps_type=0\n"
            "  localized_name=\"Draft\n"
            "  addressable_resolution_x=600.0\n"
            "  addressable_resolution_y=600.5\n"
            "  effective_resolution_x=300.0\n"
            "  effective_resolution_y=0.0\n"
            "  default_mem_area=\"First\n"
            "  res_color_mem{\n"
            "   dithering_list=\"Line_Art\n"
            "  }\n"
            "  mem_area{\n"
            "   0{\n"
            "    caps_type=0\n"
            "    name=\"First\n"
            "   }\n"
            "  }\n"
            " }\n"
            // "Missing" is skipped: "Third" is memory area 1.
            " Fine{\n"
            "  caps_type=0\n"
            "  localized_name=\"Fine\n"
            "  physical_resolution_x=1200.0\n"
            "  physical_resolution_y=1200.0\n"
            "  effective_resolution_x=0.25\n"
            "  effective_resolution_y=2.0\n"
            "  default_mem_area=\"First\n"
            "  mem_area{\n"
            "   0{\n"
            "    caps_type=0\n"
            "    name=\"First\n"
            "   }\n"
            "   1{\n"
            "    caps_type=0\n"
            "    name=\"Third\n"
            "   }\n"
            "  }\n"
            " }\n"
            "}\n");
  // A colour system outside the vocabulary is 5; without both fields 7
  // and 8 the default resolution of the combination before stays.
  EXPECT_EQ(get_int(o, q + u"Mono\\color_system"), 5);
  EXPECT_EQ(get_text(o, q + u"Mono\\default_resolution"), "Draft");
  EXPECT_EQ(get_text(o, q + u"No_Res\\default_resolution"), "Draft");
  EXPECT_FALSE(has_node(o, q + u"No_Res\\resolution_list"));
  EXPECT_FALSE(has_node(o, q + u"Colour\\resolution_list\\Nowhere"));
}

TEST(PdtRaster, CombinationListStartsWithAnEmptyRecordAfterAnUnnamedRow) {
  PdtSet set;
  set.file("Resolution", {"\t\t\t\t\t\t\t\t\tArea", "R\t\t300\t300"});
  set.file("Resolution Color Memory", {"\t\t\t\t\t\tR", "Named\t\t2\t\t\t\t\t\tY"});
  KV_Object o;
  const PdtLoad loaded(set, o);
  EXPECT_EQ(loaded.state().resolutions.count(), 2);
  EXPECT_EQ(loaded.state().res_color_mem.count(), 2);
  // The first record has an empty name: it is written at rcm_list itself.
  EXPECT_EQ(get_int(o, kRcm + u"rcm_list\\number_of_colors"), 0);
  EXPECT_EQ(get_double(o, kRcm + u"rcm_list\\resolution_list\\R\\physical_resolution_x"), 300.0);
  EXPECT_EQ(get_int(o, kRcm + u"rcm_list\\Named\\number_of_colors"), 2);
  EXPECT_EQ(get_int(o, kRcm + u"rcm_list\\Named\\color_system"), 5);
  EXPECT_FALSE(has_node(o, kRcm + u"rcm_list\\Named\\resolution_list"));
}

TEST(PdtRaster, ExpansionOfReferencesIsBounded) {
  // A resolution with 300 memory areas, named 400 times by one combination:
  // each naming rewrites the resolution with all its areas, about 600
  // writes for an 8-byte line, far past what the set's bytes allow.
  std::vector<std::string> resolution = {"R\t\t1\t1\t\t\t\t\t\tA"};
  for (int i = 0; i < 299; ++i) resolution.push_back("\t\t\t\t\t\t\t\t\tA");
  std::vector<std::string> combinations = {"K\t\t1\t\t\t\tR"};
  for (int i = 0; i < 399; ++i) combinations.push_back("\t\t\t\t\t\tR");
  PdtSet set;
  set.file("Memory Area", {"A\t\t1"});
  set.file("Resolution", resolution);
  set.file("Resolution Color Memory", combinations);
  KV_Object o;
  try {
    set.load(o);
    ADD_FAILURE() << "no error";
  } catch (const KV_Memory_Exception& e) {
    EXPECT_EQ(e.id(), 55u);
    EXPECT_EQ(std::u16string(e.source()), u"KV_PDTFile::load()");
    EXPECT_EQ(std::u16string(e.argument()), u"properties");
  }
  // What was written before stays.
  EXPECT_EQ(get_int(o, kRcm + u"mem_area_list\\A\\device_memory"), 1);
  EXPECT_EQ(get_text(o, kRcm + u"rcm_list\\K\\resolution_list\\R\\mem_area\\299\\name"), "A");
  // A tenth of the namings is within bounds.
  combinations.resize(40);
  set.file("Resolution Color Memory", combinations);
  KV_Object fine;
  set.load(fine);
  EXPECT_EQ(get_int(fine, kRcm + u"rcm_list\\K\\number_of_colors"), 1);
}

TEST(PdtRaster, DitheringMethodsAndTheirMatrices) {
  PdtSet set;
  set.keys("ORVA_DITHERING_METHOD_B3 \"Ordered\"\n");
  set.file(
      "Dithering Method",
      {"\"Ordered 2\"\t\t\tOrderedDithering\t\t128\tFrameBuffer\t2\t2\tMatrix_8\t1\t",
       "\t\t\t\t\t\t\t\t\t\t3\t4\t99",  // the third cell is past the width
       "\t\t\t\t\t\t\t\t\t\t5\t6",      // the matrix is complete: not read
       "Wide\t\t4\tNoSuch\t3\t\tBoth\t3\t1\tW\t7\t// none\t8", "Plain\t\t\t\t\t\t\t\t\t\t1\t2"});
  KV_Object o;
  EXPECT_EQ(load(set, o), (std::set<int>{5}));
  const std::u16string d = kRcm + u"dithering_list\\";
  EXPECT_EQ(pia_text(o, (d + u"Ordered_2").c_str()),
            "localized_name=\"Ordered\n"
            "pixel_expansion_ratio=1\n"
            "source_pixel_ratio=1\n"
            "renderers=1\n"
            "caps_type=0\n"
            "dithering_type=2\n"
            "threshold=128\n"
            "matrix_size_x=2\n"
            "matrix_size_y=2\n"
            "matrix_list{\n"
            " Matrix_{\n"  // the name is cut to seven characters
            "  0{\n"
            "   data=1\n"
            "  }\n"
            "  2{\n"  // the empty cell 1 is counted but not written
            "   data=3\n"
            "  }\n"
            "  3{\n"
            "   data=4\n"
            "  }\n"
            " }\n"
            "}\n");
  EXPECT_EQ(get_int(o, d + u"Wide\\pixel_expansion_ratio"), 4);
  EXPECT_EQ(get_int(o, d + u"Wide\\source_pixel_ratio"), 3);
  EXPECT_EQ(get_int(o, d + u"Wide\\renderers"), -1);
  EXPECT_EQ(get_int(o, d + u"Wide\\dithering_type"), -1);
  EXPECT_FALSE(has(o, d + u"Wide\\threshold"));
  EXPECT_EQ(get_int(o, d + u"Wide\\matrix_list\\W\\0\\data"), 7);
  EXPECT_FALSE(has_node(o, d + u"Wide\\matrix_list\\W\\1"));
  EXPECT_EQ(get_int(o, d + u"Wide\\matrix_list\\W\\2\\data"), 8);
  // No renderer, no type, no matrix.
  EXPECT_EQ(get_int(o, d + u"Plain\\renderers"), 0);
  EXPECT_FALSE(has(o, d + u"Plain\\dithering_type"));
  EXPECT_EQ(get_int(o, d + u"Plain\\matrix_size_x"), 0);
  EXPECT_FALSE(has_node(o, d + u"Plain\\matrix_list"));
}

TEST(PdtRaster, MatrixCellNumbersNeverOverflow) {
  // A width of 2^31 - 1 and two rows: the first row's cells are numbered
  // from 0, the second row's from 2^31 - 1, so only its first cell fits.
  PdtSet set;
  set.file("Dithering Method",
           {"Huge\t\t\t\t\t\t\t2147483647\t2\tM\t1\t2", "\t\t\t\t\t\t\t\t\t\t3\t4"});
  KV_Object o;
  set.load(o);
  const std::u16string m = kRcm + u"dithering_list\\Huge\\matrix_list\\M\\";
  EXPECT_EQ(get_int(o, m + u"0\\data"), 1);
  EXPECT_EQ(get_int(o, m + u"1\\data"), 2);
  EXPECT_EQ(get_int(o, m + u"2147483647\\data"), 3);
  EXPECT_FALSE(has_node(o, m + u"-2147483648"));
}

TEST(PdtRaster, MatrixRowsStillExpectedRunIntoTheNextMethod) {
  // The first method's matrix expects three rows and gets one; the next
  // method's line gives the second row, under the next method's name.
  PdtSet set;
  set.file("Dithering Method", {"A\t\t\t\t\t\t\t1\t3\tM\t1", "B\t\t\t\t\t\t\t1\t1\t\t2"});
  KV_Object o;
  set.load(o);
  EXPECT_EQ(get_int(o, kRcm + u"dithering_list\\A\\matrix_list\\M\\0\\data"), 1);
  EXPECT_EQ(get_int(o, kRcm + u"dithering_list\\B\\matrix_list\\M\\1\\data"), 2);
}

// A set without raster lines: kv_pdt_file_test.cc (the empty set).
TEST(PdtRaster, RasterAbilitiesAndOrientations) {
  {
    PdtSet set;
    set.file("Raster Capability",
             {"CanDoRasters\tIOrient_Y_Top_To_Bottom_Left_First",
              "\"OrientationPrefs\"\tIOrient_X_Right_To_Left_Bottom_First // 3", "Unknown\t",
              "\tIOrient_X_Left_To_Right_Top_First"});
    KV_Object o;
    set.load(o);
    EXPECT_EQ(pia_text(o, u"\\M\\RASTER"), "abilities=\"5,0,0,5\norientation_prefs=7\n");
  }
  {
    // An orientation outside the vocabulary sets every bit.
    PdtSet set;
    set.file("Raster Capability", {"DrawsRastersAsVectors\tsideways"});
    KV_Object o;
    set.load(o);
    EXPECT_EQ(pia_text(o, u"\\M\\RASTER"), "abilities=\"0,0,5,0\norientation_prefs=-1\n");
  }
}

TEST(PdtRaster, LineTypes) {
  PdtSet set;
  set.file("Line Type Capabilities", {"Long_Dash\t0.5", "\"Dash Dot\"\t0.25 // mm", "Solid",
                                      "Wavy\t1.0", "\t2.0", "User_Defined\t0.1"});
  KV_Object o;
  set.load(o);
  const std::u16string f = u"\\M\\linetype\\font\\";
  // Long_Dash (6) is bit 2 of group 1; Dash_Dot (3) bit 3 and Solid (0)
  // bit 0 of group 0; User_Defined (17) bit 1 of group 4.
  EXPECT_EQ(get_text(o, u"\\M\\linetype\\capabilities"), "9,4,0,0,2,0,0,0,0");
  EXPECT_EQ(get_double(o, f + u"6\\width"), 0.5);
  EXPECT_EQ(get_double(o, f + u"3\\width"), 0.25);
  EXPECT_EQ(get_double(o, f + u"0\\width"), 0.0);
  EXPECT_EQ(get_double(o, f + u"17\\width"), static_cast<double>(0.1f));
  // A name outside the vocabulary writes no width, at no index.
  EXPECT_FALSE(has_node(o, f + u"-1"));
  EXPECT_EQ(pia_text(o, u"\\M\\linetype\\font").find("2.0"), std::string::npos);
}

}  // namespace
