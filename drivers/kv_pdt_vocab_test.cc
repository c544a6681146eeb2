// Copyright the kvstore authors.
#include "drivers/kv_pdt_vocab.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using V = kv_pdt_vocabulary;

TEST(PdtVocabularies, SizesAndBoundaryValues) {
  // The number of pairs of each vocabulary, in the order of the enumeration,
  // and the value of its last pair, transcribed independently of the table:
  // a dropped, added or mistyped pair changes a count or a last value.
  const struct {
    V vocabulary;
    std::size_t pairs;
    const char16_t* last;
    uint32_t value;
  } expected[] = {
      {V::parity, 5, u"Space", 4},
      {V::dithering_types, 11, u"CustomHardwareDithering", 10},
      {V::handshake_lines, 13, u"Rlsd = 0x800", 2048},
      {V::bidirectional_features, 14, u"Jams = 0x2000", 8192},
      {V::io_types, 7, u"Network", 6},
      {V::data_bits, 6, u"DataBits_16X", 5},
      {V::stop_bits, 3, u"TwoStopBits = TWOSTOPBITS", 2},
      {V::collating_types, 3, u"Custom", 2},
      {V::cutting_times, 3, u"Endofpage", 3},
      {V::media_groups, 17, u"UserDefinedRaster", 16},
      {V::folding_types, 7, u"Xfold", 6},
      {V::folding_times, 3, u"Endofpage", 3},
      {V::feed_kinds, 4, u"RollFeeder", 3},
      {V::stapling_times, 4, u"Endofpage", 3},
      {V::stapling_locations, 6, u"LandscapeSaddle", 6},
      {V::line_types, 18, u"User_Defined", 17},
      {V::raster_abilities, 4, u"OrientationPrefs", 3},
      {V::raster_orientations, 8, u"IOrient_Y_Bottom_To_Top_Right_First", 7},
      {V::colour_systems, 5, u"Direct_CMYK", 4},
      {V::media_selection_methods, 2, u"MediaSizeByMediaSize = 0x2", 2},
      {V::duplexing_modes, 3, u"Short = 0x4", 4},
      {V::pen_optimizations, 7, u"Elimination of Overlapped Diagonal Vectors", 6},
      {V::line_type_abilities, 2, u"LinetypeAdaptive", 1},
      {V::init_term_ui_groups, 3, u"TerminationString", 2},
      {V::pen_ui_groups, 7, u"PenChangingEnable", 6},
      {V::res_color_mem_ui_groups, 14, u"LinesOverwrite", 13},
      {V::io_ui_groups, 9, u"Pathname", 8},
      {V::media_ui_groups, 20, u"ActualBounds", 19},
  };
  ASSERT_EQ(std::size(expected), static_cast<std::size_t>(kv_pdt_vocabulary_count));
  std::size_t total = 0;
  for (const auto& e : expected) {
    const kv_pdt_pairs pairs = kv_pdt_vocabulary_pairs(e.vocabulary);
    EXPECT_EQ(pairs.size, e.pairs) << std::string(e.last, e.last + 3);
    EXPECT_EQ(kv_pdt_lookup(e.vocabulary, e.last), e.value);
    total += pairs.size;
  }
  EXPECT_EQ(total, 208u);
}

TEST(PdtVocabularies, MatchingIsExact) {
  EXPECT_EQ(kv_pdt_lookup(V::io_types, u"RS232"), 4u);
  EXPECT_EQ(kv_pdt_lookup(V::io_types, u"rs232"), kv_pdt_not_found);
  EXPECT_EQ(kv_pdt_lookup(V::io_types, u"RS232 "), kv_pdt_not_found);
  EXPECT_EQ(kv_pdt_lookup(V::handshake_lines, u"Rts_Enable = 0x10"), 16u);
  EXPECT_EQ(kv_pdt_lookup(V::handshake_lines, u"Rts_Enable"), kv_pdt_not_found);
  EXPECT_EQ(kv_pdt_lookup(V::pen_optimizations, u"Limited Motion Optimzation"), 3u);
  EXPECT_EQ(kv_pdt_lookup(V::pen_optimizations, u"Limited Motion Optimization"), kv_pdt_not_found);
  EXPECT_EQ(kv_pdt_lookup(V::bidirectional_features, u"PaperSourceCaps = 0x08"), 8u);
  // A name of another vocabulary is not found here: "None" is 0 in parity
  // and in the stapling times, but no cutting time.
  EXPECT_EQ(kv_pdt_lookup(V::parity, u"None"), 0u);
  EXPECT_EQ(kv_pdt_lookup(V::stapling_times, u"None"), 0u);
  EXPECT_EQ(kv_pdt_lookup(V::cutting_times, u"None"), kv_pdt_not_found);
  EXPECT_EQ(kv_pdt_lookup(V::cutting_times, u"Endofjob"), 1u);
  EXPECT_EQ(kv_pdt_lookup(V::folding_times, u"Endofjob"), 1u);
  EXPECT_EQ(kv_pdt_lookup(V::stapling_times, u"Endofjob"), 1u);
  EXPECT_EQ(kv_pdt_lookup(V::io_types, u""), kv_pdt_not_found);
  // "ALL" is no entry, only the word for every entry.
  EXPECT_TRUE(kv_pdt_is_all(u"ALL"));
  EXPECT_FALSE(kv_pdt_is_all(u"All"));
  EXPECT_EQ(kv_pdt_lookup(V::media_ui_groups, u"ALL"), kv_pdt_not_found);
  EXPECT_EQ(kv_pdt_renderer(u"BothDitherAndFB"), 2);
  EXPECT_EQ(kv_pdt_renderer(u"Both"), -1);
}

TEST(PdtVocabularies, LookupsDoNotGrowTheTable) {
  const std::size_t size = kv_pdt_vocabulary_table_size();
  // Distinct names (a name shared by several vocabularies counts once) and "ALL".
  std::set<std::u16string> distinct{u"ALL"};
  for (int v = 0; v < kv_pdt_vocabulary_count; ++v) {
    for (const kv_pdt_name_value& pair : kv_pdt_vocabulary_pairs(static_cast<V>(v))) {
      distinct.insert(pair.name);
    }
  }
  EXPECT_EQ(size, distinct.size());
  for (int i = 0; i < 1000; ++i) {
    kv_pdt_lookup(V::media_groups, u"field text " + std::u16string(1, char16_t(u'a' + i % 26)) +
                                       std::u16string(i / 26 + 1, u'x'));
  }
  EXPECT_EQ(kv_pdt_vocabulary_table_size(), size);
}

// Run in a process of its own (see CMakeLists.txt): threads race to create
// the table.
TEST(PdtVocabulariesFirstUse, ConcurrentFirstLookupsAgree) {
  std::vector<std::thread> threads;
  std::vector<uint32_t> results(8);
  for (std::size_t i = 0; i < results.size(); ++i) {
    threads.emplace_back([&results, i] {
      results[i] = kv_pdt_lookup(V::line_types, u"Long_Dash_Dot_Dot") +
                   kv_pdt_lookup(V::line_types, u"not a line type");
    });
  }
  for (std::thread& t : threads) t.join();
  for (uint32_t r : results) EXPECT_EQ(r, 13u + kv_pdt_not_found);
}

}  // namespace
