// Copyright the kvstore authors.
#include "drivers/kv_pdt_vocab.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using V = kv_pdt_vocabulary;

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
