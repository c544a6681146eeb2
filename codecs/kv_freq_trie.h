// Copyright the kvstore authors.
//
// KV_FreqTrie: the code tree of the Huffman codec, rebuilt from a table of
// 256 byte counts. Encoder and decoder must build the very same tree from the
// same table, since a block stores the counts and never the codes; so the
// order of the merges is fixed to the last tie:
//
//   - the leaves (byte values whose count is not 0) enter a 1-based binary
//     min-heap in increasing byte order;
//   - insert puts a node at the next free place and moves it up while its
//     parent is strictly heavier (equal weights never move);
//   - remove takes the node at place 1, puts the last node there and moves it
//     down while it is heavier than one of two children, swapping it with
//     the lighter child (the left one when both weigh the same); with only a
//     left child left, it swaps once more when that child is strictly lighter;
//   - while more than one node is left, the first node removed becomes the
//     left child and the second the right child of a new node weighing both,
//     which is inserted; the last node is the root.
//
// A code is the path from the root: 0 for a left child, 1 for a right child.
// With one leaf the root is that leaf and its code is empty; with none there
// is no root.
//
// Weights are 32-bit, as in the block. REQUIRES of every table given: the
// counts add up to less than 2^32 (the codec refuses other tables), so no
// weight wraps; the codes are then at most 45 bits long, since a code of
// length L needs a total weight of at least the (L + 2)-th Fibonacci number
// (F(48) > 2^32).
#ifndef KVSTORE_CODECS_KV_FREQ_TRIE_H_
#define KVSTORE_CODECS_KV_FREQ_TRIE_H_

#include <cstdint>

#include "kvstore/kv_mem_obj.h"

class KV_FreqTrie : public KV_Mem_Obj {
 public:
  static constexpr int kSymbols = 256;
  // Codes longer than this are not stored (see length()); none arises from a
  // table whose total fits in 32 bits.
  static constexpr int kMaxCodeBits = 64;
  static constexpr int16_t kNone = -1;

  struct Node {
    uint32_t weight;
    int16_t left;    // index of the left child, kNone for a leaf
    int16_t right;   // index of the right child, kNone for a leaf
    int16_t symbol;  // the byte value of a leaf, 0 for an inner node
  };

  // Builds the tree of counts[0..255] and assigns the codes. Throws KV_Severe
  // 91 (source "kv_compress") when a symbol would receive a second code.
  explicit KV_FreqTrie(const uint32_t* counts);
  ~KV_FreqTrie() override;

  KV_FreqTrie(const KV_FreqTrie&) = delete;
  KV_FreqTrie& operator=(const KV_FreqTrie&) = delete;

  // The root's index, or kNone when every count is 0.
  int16_t root() const { return m_root; }
  const Node& node(int16_t index) const { return m_nodes[index]; }
  bool is_leaf(int16_t index) const { return m_nodes[index].left == kNone; }

  // The code length of symbol in bits: 0 when the symbol does not occur or
  // is the only one. The longest code of the tree is maxLength().
  int length(int symbol) const { return m_length[symbol]; }
  int maxLength() const { return m_maxLength; }
  // The code's bits, the first bit the most significant of the length()
  // lowest bits. Defined only when maxLength() <= kMaxCodeBits.
  uint64_t code(int symbol) const { return m_code[symbol]; }

 private:
  void insert(int16_t node);
  int16_t remove();
  void assign_codes();

  // A heap place keeps its node's weight beside the node, so that sifting
  // compares without a trip to the node.
  struct Place {
    uint32_t weight;
    int16_t node;
  };

  Node m_nodes[2 * kSymbols - 1];  // the leaves first, then the inner nodes
  int m_nodeCount = 0;
  int m_leafCount = 0;
  Place m_heap[kSymbols + 1];  // place 0 unused
  int m_heapNext = 1;          // the next free place
  int16_t m_root = kNone;
  uint64_t m_code[kSymbols] = {};
  uint8_t m_length[kSymbols] = {};
  bool m_hasCode[kSymbols] = {};
  int m_maxLength = 0;
};

#endif  // KVSTORE_CODECS_KV_FREQ_TRIE_H_
