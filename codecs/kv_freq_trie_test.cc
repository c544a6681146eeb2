// Copyright the kvstore authors.
#include "codecs/kv_freq_trie.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>

namespace {

// The code of symbol as text of 0 and 1.
std::string code_text(const KV_FreqTrie& trie, int symbol) {
  std::string text;
  for (int bit = trie.length(symbol) - 1; bit >= 0; --bit) {
    text.push_back((trie.code(symbol) >> bit & 1) != 0 ? '1' : '0');
  }
  return text;
}

std::map<char, std::string> codes_of(const std::string& input) {
  uint32_t counts[256] = {};
  for (unsigned char c : input) ++counts[c];
  KV_FreqTrie trie(counts);
  std::map<char, std::string> codes;
  for (int s = 0; s < 256; ++s) {
    if (counts[s] != 0) codes[static_cast<char>(s)] = code_text(trie, s);
  }
  return codes;
}

TEST(KvFreqTrie, WorkedExamplesGetTheirCodes) {
  EXPECT_EQ(codes_of("mississippi"),
            (std::map<char, std::string>{{'i', "0"}, {'m', "100"}, {'p', "101"}, {'s', "11"}}));
  // Equal counts: the smaller byte value is removed first, the left child.
  EXPECT_EQ(codes_of("ab"), (std::map<char, std::string>{{'a', "0"}, {'b', "1"}}));
  EXPECT_EQ(codes_of("ba"), (std::map<char, std::string>{{'a', "0"}, {'b', "1"}}));
  // Three equal counts: the heap's order, not the byte order, decides.
  EXPECT_EQ(codes_of("abc"), (std::map<char, std::string>{{'a', "10"}, {'b', "0"}, {'c', "11"}}));
}

TEST(KvFreqTrie, HeapTiesFollowTheSiftRules) {
  // Five equal counts. a and e merge first (e is moved to the top when a
  // leaves, and nothing is lighter); the merged node sinks below b, so d and
  // b merge next; then c with the (d, b) node, and last the (a, e) node with
  // the (c, (d, b)) node.
  EXPECT_EQ(codes_of("abcde"),
            (std::map<char, std::string>{
                {'a', "00"}, {'b', "111"}, {'c', "10"}, {'d', "110"}, {'e', "01"}}));
  // A newly merged node as heavy as a waiting leaf stays below it.
  EXPECT_EQ(codes_of("aabbbbcc"),
            (std::map<char, std::string>{{'a', "10"}, {'b', "0"}, {'c', "11"}}));
}

TEST(KvFreqTrie, EmptyAndSingleTables) {
  uint32_t counts[256] = {};
  KV_FreqTrie none(counts);
  EXPECT_EQ(none.root(), KV_FreqTrie::kNone);
  EXPECT_EQ(none.maxLength(), 0);

  counts[0xFF] = 7;
  KV_FreqTrie one(counts);
  ASSERT_NE(one.root(), KV_FreqTrie::kNone);
  EXPECT_TRUE(one.is_leaf(one.root()));
  EXPECT_EQ(one.node(one.root()).symbol, 0xFF);
  EXPECT_EQ(one.node(one.root()).weight, 7u);
  EXPECT_EQ(one.length(0xFF), 0);
}

TEST(KvFreqTrie, CodeLengthsAtTheExtremes) {
  // Every byte value once: a complete tree of 8 levels.
  uint32_t flat[256];
  for (uint32_t& c : flat) c = 1;
  KV_FreqTrie even(flat);
  for (int s = 0; s < 256; ++s) ASSERT_EQ(even.length(s), 8) << s;

  // Counts that leave no choice make a chain: each is heavier than both the
  // node merged before it and the count before it. 45 such counts stay
  // below 2^32 in all; the first two get 44 bits, count k then 45 - k.
  uint32_t chain[256] = {};
  uint64_t before = 1, sum = 1;
  chain[0] = 1;
  chain[1] = 2;
  sum = 3;
  uint64_t merged = 1;  // the sum of the counts before the previous one
  for (int s = 2; s < 45; ++s) {
    before = chain[s - 1];
    chain[s] = static_cast<uint32_t>((merged > before ? merged : before) + 1);
    merged = sum;
    sum += chain[s];
  }
  ASSERT_LT(sum, uint64_t{1} << 32);
  KV_FreqTrie deep(chain);
  EXPECT_EQ(deep.maxLength(), 44);
  EXPECT_EQ(deep.length(0), 44);
  for (int s = 1; s < 45; ++s) ASSERT_EQ(deep.length(s), 45 - s) << s;
  // The codes form a prefix code: the deepest pair differs in its last bit.
  EXPECT_EQ(deep.code(0) ^ deep.code(1), 1u);
}

}  // namespace
