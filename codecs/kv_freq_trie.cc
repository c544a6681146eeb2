// Copyright the kvstore authors.
#include "codecs/kv_freq_trie.h"

#include "kvstore/kv_exceptions.h"
#include "tree/kv_revision.h"

KV_FreqTrie::KV_FreqTrie(const uint32_t* counts) {
  // The byte values that occur, in increasing order (gathered without a
  // branch on the counts, which would be mispredicted half the time).
  int16_t present[kSymbols];
  int leaves = 0;
  for (int s = 0; s < kSymbols; ++s) {
    present[leaves] = static_cast<int16_t>(s);
    leaves += counts[s] != 0 ? 1 : 0;
  }
  for (int j = 0; j < leaves; ++j) {
    const auto leaf = static_cast<int16_t>(m_nodeCount++);
    m_nodes[leaf] = {counts[present[j]], kNone, kNone, present[j]};
    insert(leaf);
  }
  m_leafCount = leaves;
  if (m_heapNext - 1 < 2) {
    m_root = remove();
  } else {
    while (m_heapNext - 1 > 1) {
      const int16_t a = remove();
      const int16_t b = remove();
      const auto inner = static_cast<int16_t>(m_nodeCount++);
      m_nodes[inner] = {m_nodes[a].weight + m_nodes[b].weight, a, b, 0};
      insert(inner);
    }
    m_root = remove();
  }
  assign_codes();
}

KV_FreqTrie::~KV_FreqTrie() = default;

// The sifts move a hole rather than swapping: the node being placed is
// written once, where it ends.
void KV_FreqTrie::insert(int16_t node) {
  const Place entering{m_nodes[node].weight, node};
  int place = m_heapNext++;
  while (place > 1) {
    const int parent = place / 2;
    if (m_heap[parent].weight <= entering.weight) break;
    m_heap[place] = m_heap[parent];
    place = parent;
  }
  m_heap[place] = entering;
}

int16_t KV_FreqTrie::remove() {
  const int count = m_heapNext - 1;
  if (count == 0) return kNone;
  const int16_t top = m_heap[1].node;
  --m_heapNext;
  const int size = count - 1;
  if (size == 0) return top;
  const Place moving = m_heap[count];
  int place = 1;
  while (2 * place + 1 <= size) {
    const int left = 2 * place;
    const uint32_t lw = m_heap[left].weight;
    const uint32_t rw = m_heap[left + 1].weight;
    if (moving.weight <= lw && moving.weight <= rw) break;
    const int lighter = rw < lw ? left + 1 : left;
    m_heap[place] = m_heap[lighter];
    place = lighter;
  }
  if (2 * place == size && m_heap[2 * place].weight < moving.weight) {
    m_heap[place] = m_heap[2 * place];
    place = 2 * place;
  }
  m_heap[place] = moving;
  return top;
}

// A code is the path from the root. Every node is made after its children,
// so walking the nodes from the last made (the root) to the first hands each
// child its code before the child's own turn: the inner nodes (made after
// every leaf) pass prefix + 0 to the left child and prefix + 1 to the right
// one. Bits past the 64th fall off the codes (see kMaxCodeBits); the
// lengths stay exact.
void KV_FreqTrie::assign_codes() {
  if (m_root == kNone) return;
  uint64_t code[2 * kSymbols - 1];
  uint8_t length[2 * kSymbols - 1];
  code[m_root] = 0;
  length[m_root] = 0;
  for (int j = m_nodeCount - 1; j >= m_leafCount; --j) {
    const Node& n = m_nodes[j];
    code[n.left] = code[j] << 1;
    code[n.right] = code[j] << 1 | 1;
    length[n.left] = length[n.right] = static_cast<uint8_t>(length[j] + 1);
  }
  for (int j = 0; j < m_leafCount; ++j) {
    const int symbol = m_nodes[j].symbol;
    if (m_hasCode[symbol]) throw KV_Severe(91, u"kv_compress", u"", kRevKvCompress);
    m_hasCode[symbol] = true;
    m_code[symbol] = code[j];
    m_length[symbol] = length[j];
    if (length[j] > m_maxLength) m_maxLength = length[j];
  }
}
