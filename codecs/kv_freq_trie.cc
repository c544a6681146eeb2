// Copyright the kvstore authors.
#include "codecs/kv_freq_trie.h"

#include "kvstore/kv_exceptions.h"
#include "tree/kv_revision.h"

KV_FreqTrie::KV_FreqTrie(const uint32_t* counts) {
  for (int s = 0; s < kSymbols; ++s) {
    if (counts[s] == 0) continue;
    const auto leaf = static_cast<int16_t>(m_nodeCount++);
    m_nodes[leaf] = {counts[s], kNone, kNone, static_cast<int16_t>(s)};
    insert(leaf);
  }
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

void KV_FreqTrie::insert(int16_t node) {
  int place = m_heapNext++;
  m_heap[place] = node;
  while (place > 1) {
    const int parent = place / 2;
    if (m_nodes[m_heap[parent]].weight <= m_nodes[node].weight) break;
    m_heap[place] = m_heap[parent];
    m_heap[parent] = node;
    place = parent;
  }
}

int16_t KV_FreqTrie::remove() {
  const int count = m_heapNext - 1;
  if (count == 0) return kNone;
  const int16_t top = m_heap[1];
  m_heap[1] = m_heap[count];
  --m_heapNext;
  const int size = count - 1;
  int place = 1;
  const int16_t moving = m_heap[1];
  const uint32_t weight = m_nodes[moving].weight;
  while (2 * place + 1 <= size) {
    const int left = 2 * place;
    const int right = left + 1;
    const uint32_t lw = m_nodes[m_heap[left]].weight;
    const uint32_t rw = m_nodes[m_heap[right]].weight;
    if (weight <= lw && weight <= rw) return top;
    const int lighter = rw < lw ? right : left;
    m_heap[place] = m_heap[lighter];
    m_heap[lighter] = moving;
    place = lighter;
  }
  if (2 * place == size && m_nodes[m_heap[2 * place]].weight < weight) {
    m_heap[place] = m_heap[2 * place];
    m_heap[2 * place] = moving;
  }
  return top;
}

// Depth first from the root, left before right, with an explicit stack (a
// degenerate tree is 255 levels deep).
void KV_FreqTrie::assign_codes() {
  if (m_root == kNone) return;
  struct Entry {
    int16_t node;
    uint8_t length;
    uint64_t code;
  };
  Entry stack[2 * kSymbols];
  int top = 0;
  stack[top++] = {m_root, 0, 0};
  while (top > 0) {
    const Entry e = stack[--top];
    const Node& n = m_nodes[e.node];
    if (n.left == kNone) {
      if (m_hasCode[n.symbol]) throw KV_Severe(91, u"kv_compress", u"", kRevKvCompress);
      m_hasCode[n.symbol] = true;
      m_length[n.symbol] = e.length;
      m_code[n.symbol] = e.code;
      if (e.length > m_maxLength) m_maxLength = e.length;
      continue;
    }
    // Bits past the 64th are not kept (see kMaxCodeBits); the length is.
    const uint64_t shifted = e.length < kMaxCodeBits ? e.code << 1 : e.code;
    const auto length = static_cast<uint8_t>(e.length + 1);
    stack[top++] = {n.right, length, shifted | 1};
    stack[top++] = {n.left, length, shifted};
  }
}
