// Copyright the kvstore authors.
#include "codecs/kv_freq_trie.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

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

// The heap rules written out step by step, with swaps, as a reference.
struct ReferenceHeap {
  std::vector<uint32_t> weight;  // by node
  std::vector<int> left, right;
  std::vector<int> heap{-1};  // place 0 unused

  void insert(int node) {
    std::size_t place = heap.size();
    heap.push_back(node);
    while (place > 1 && weight[heap[place / 2]] > weight[node]) {
      std::swap(heap[place], heap[place / 2]);
      place /= 2;
    }
  }
  int remove() {
    const int top = heap[1];
    heap[1] = heap.back();
    heap.pop_back();
    const std::size_t size = heap.size() - 1;
    std::size_t place = 1;
    while (2 * place + 1 <= size) {
      const uint32_t w = weight[heap[place]];
      const uint32_t lw = weight[heap[2 * place]];
      const uint32_t rw = weight[heap[2 * place + 1]];
      if (!(w > lw) && !(w > rw)) return top;
      const std::size_t lighter = rw < lw ? 2 * place + 1 : 2 * place;
      std::swap(heap[place], heap[lighter]);
      place = lighter;
    }
    if (2 * place == size && weight[heap[2 * place]] < weight[heap[place]]) {
      std::swap(heap[place], heap[2 * place]);
    }
    return top;
  }
};

// The code of every symbol by the reference heap.
std::map<int, std::string> reference_codes(const uint32_t* counts) {
  ReferenceHeap h;
  std::vector<int> symbol;
  for (int s = 0; s < 256; ++s) {
    if (counts[s] == 0) continue;
    h.weight.push_back(counts[s]);
    h.left.push_back(-1);
    h.right.push_back(-1);
    symbol.push_back(s);
    h.insert(static_cast<int>(h.weight.size()) - 1);
  }
  std::map<int, std::string> codes;
  if (h.heap.size() < 3) return codes;
  while (h.heap.size() > 2) {
    const int a = h.remove();
    const int b = h.remove();
    h.weight.push_back(h.weight[a] + h.weight[b]);
    h.left.push_back(a);
    h.right.push_back(b);
    symbol.push_back(-1);
    h.insert(static_cast<int>(h.weight.size()) - 1);
  }
  std::vector<std::pair<int, std::string>> stack{{h.remove(), ""}};
  while (!stack.empty()) {
    auto [node, prefix] = stack.back();
    stack.pop_back();
    if (h.left[node] < 0) {
      codes[symbol[node]] = prefix;
    } else {
      stack.push_back({h.right[node], prefix + "1"});
      stack.push_back({h.left[node], prefix + "0"});
    }
  }
  return codes;
}

TEST(KvFreqTrie, EveryTieIsBrokenLikeTheHeapRules) {
  std::mt19937 random(5);
  for (int trial = 0; trial < 400; ++trial) {
    // Few distinct small counts, so that ties abound.
    uint32_t counts[256] = {};
    const int symbols = 2 + static_cast<int>(random() % 80);
    const uint32_t spread = 1 + random() % 6;
    for (int k = 0; k < symbols; ++k) counts[random() % 256] = 1 + random() % spread;
    KV_FreqTrie trie(counts);
    std::map<int, std::string> got;
    for (int s = 0; s < 256; ++s) {
      if (counts[s] != 0) got[s] = code_text(trie, s);
    }
    const std::map<int, std::string> expected = reference_codes(counts);
    if (expected.empty()) continue;  // a single value
    ASSERT_EQ(got, expected) << "trial " << trial;
  }
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
