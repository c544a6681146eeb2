// Copyright the kvstore authors.
//
// KV_Huffman_Codec. The encoder counts the bytes, builds the code tree of
// the counts and writes every byte's code through a 64-bit bit accumulator.
// The decoder checks the whole block against its counts before it allocates
// anything (the size of the restored data follows from the counts, and B
// bounds it), then decodes with a lookup table indexed by the next
// kTableBits bits, which gives the byte and its code length at once; the
// rare longer codes walk the tree from the root bit by bit.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "codecs/kv_freq_trie.h"
#include "kvstore/gx_exception.h"
#include "kvstore/kv_codec.h"
#include "kvstore/kv_exceptions.h"
#include "tree/kv_alloc.h"
#include "tree/kv_report.h"
#include "tree/kv_revision.h"

namespace {

constexpr unsigned char kMagic[] = {'k', 'v', 'h', 'u', 'f', 'f', 'c', 'o', 'd', 'e', 'c'};
constexpr uint32_t kMagicSize = sizeof(kMagic);
constexpr uint32_t kTableOffset = kMagicSize;
constexpr uint32_t kTableBytes = 4 * KV_FreqTrie::kSymbols;
constexpr uint32_t kBitCountOffset = kTableOffset + kTableBytes;  // 1035
constexpr uint32_t kBitsOffset = kBitCountOffset + 4;             // 1039
constexpr uint32_t kBlockBase = kBitsOffset + 1;                  // 1040: a block is this + B / 8

// The decoder's lookup table is indexed by this many bits (fewer when no
// code is that long): 2048 entries of 16 bits stay in the first-level cache.
constexpr int kTableBits = 11;

constexpr const char16_t* kSource = u"kv_compress";

struct Free {
  void operator()(void* p) const { kv_free(p); }
};
using Buffer = std::unique_ptr<unsigned char, Free>;

[[noreturn]] void fail(unsigned id) {
  throw KV_Severe(id, kSource, u"", kRevKvCompress);
}

// kv_alloc reports exhaustion with std::bad_alloc, which the codec lets
// through; the null test keeps each buffer's message should it ever answer
// null instead.
void* allocate(std::size_t size, const char16_t* what) {
  void* p = kv_alloc(size);
  if (p == nullptr) throw KV_Memory_Exception(55, kSource, what, kRevKvCompress);
  return p;
}

void put_u32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

uint32_t get_u32(const unsigned char* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void put_be32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

uint64_t get_be64(const unsigned char* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return __builtin_bswap64(v);
}

// The counts of data[0..size) into counts[256], in four interleaved tables
// so that runs of one byte value do not wait on their own stores.
void count_bytes(const unsigned char* data, uint32_t size, uint32_t* counts) {
  uint32_t part[4][KV_FreqTrie::kSymbols] = {};
  uint32_t i = 0;
  for (; i + 4 <= size; i += 4) {
    ++part[0][data[i]];
    ++part[1][data[i + 1]];
    ++part[2][data[i + 2]];
    ++part[3][data[i + 3]];
  }
  for (; i < size; ++i) ++part[0][data[i]];
  for (int s = 0; s < KV_FreqTrie::kSymbols; ++s) {
    counts[s] = part[0][s] + part[1][s] + part[2][s] + part[3][s];
  }
}

// The number of code bits that the tree gives the counts.
uint64_t code_bits(const KV_FreqTrie& trie, const uint32_t* counts) {
  uint64_t bits = 0;
  for (int s = 0; s < KV_FreqTrie::kSymbols; ++s) {
    bits += uint64_t{counts[s]} * static_cast<uint64_t>(trie.length(s));
  }
  return bits;
}

// Writes bits most significant first; flushes whole 32-bit words.
class BitWriter {
 public:
  explicit BitWriter(unsigned char* out) : m_out(out) {}

  // REQUIRES: length <= 32 and code < 2^length.
  void put(uint32_t code, int length) {
    m_acc = m_acc << length | code;
    m_bits += length;
    if (m_bits >= 32) {
      m_bits -= 32;
      put_be32(m_out, static_cast<uint32_t>(m_acc >> m_bits));
      m_out += 4;
    }
  }

  // Writes the last bits, padded with zeros to a whole byte.
  void finish() {
    const uint32_t rest = static_cast<uint32_t>(m_acc << (32 - m_bits));
    for (int done = 0; done < m_bits; done += 8) {
      *m_out++ = static_cast<unsigned char>(rest >> (24 - done));
    }
  }

 private:
  unsigned char* m_out;
  uint64_t m_acc = 0;
  int m_bits = 0;
};

Buffer encode_block(const unsigned char* data, uint32_t size, uint32_t*& table, KV_FreqTrie*& trie,
                    uint32_t& outSize) {
  table = static_cast<uint32_t*>(allocate(kTableBytes, u"m_freq_table"));
  count_bytes(data, size, table);
  trie = new KV_FreqTrie(table);
  if (trie == nullptr) throw KV_Memory_Exception(55, kSource, u"m_freq_trie", kRevKvCompress);

  const bool single = trie->root() != KV_FreqTrie::kNone && trie->is_leaf(trie->root());
  if (single && size > KV_Huffman_Codec::kMaxRunLength) fail(94);
  if (trie->maxLength() > KV_FreqTrie::kMaxCodeBits) fail(94);
  const uint64_t bits = code_bits(*trie, table);
  if (bits > UINT32_MAX) fail(94);
  const auto b = static_cast<uint32_t>(bits);

  outSize = kBlockBase + b / 8;
  Buffer block(static_cast<unsigned char*>(allocate(outSize, u"output")));
  unsigned char* p = block.get();
  std::memcpy(p, kMagic, kMagicSize);
  for (int s = 0; s < KV_FreqTrie::kSymbols; ++s) put_u32(p + kTableOffset + 4 * s, table[s]);
  put_u32(p + kBitCountOffset, b);
  // The last byte holds no code bit when B is a multiple of 8.
  p[outSize - 1] = 0;

  // One distinct byte value (or none) has an empty code: no bits at all.
  if (single || b == 0) return block;
  uint32_t codes[KV_FreqTrie::kSymbols];
  uint8_t lengths[KV_FreqTrie::kSymbols];
  for (int s = 0; s < KV_FreqTrie::kSymbols; ++s) {
    lengths[s] = static_cast<uint8_t>(trie->length(s));
    codes[s] = static_cast<uint32_t>(trie->code(s));
  }
  BitWriter writer(p + kBitsOffset);
  if (trie->maxLength() <= 32) {
    for (uint32_t i = 0; i < size; ++i) writer.put(codes[data[i]], lengths[data[i]]);
  } else {
    for (uint32_t i = 0; i < size; ++i) {
      const int length = trie->length(data[i]);
      const uint64_t code = trie->code(data[i]);
      if (length > 32) {
        writer.put(static_cast<uint32_t>(code >> 32), length - 32);
        writer.put(static_cast<uint32_t>(code), 32);
      } else {
        writer.put(static_cast<uint32_t>(code), length);
      }
    }
  }
  writer.finish();
  return block;
}

// Decodes exactly n bytes from the B bits at bits[0..B/8], which must end
// exactly with the last code. The tree has at least two leaves and every
// code is at most kMaxCodeBits long.
void decode_bits(const KV_FreqTrie& trie, const unsigned char* bits, uint32_t b, unsigned char* out,
                 uint32_t n) {
  const int tableBits = trie.maxLength() < kTableBits ? trie.maxLength() : kTableBits;
  // Entry: the byte value in the low 8 bits and the code length above; 0
  // for a prefix of a longer code.
  uint16_t lookup[1 << kTableBits];
  std::memset(lookup, 0, sizeof(uint16_t) << tableBits);
  for (int s = 0; s < KV_FreqTrie::kSymbols; ++s) {
    const int length = trie.length(s);
    if (length == 0 || length > tableBits) continue;
    const auto first = static_cast<uint32_t>(trie.code(s) << (tableBits - length));
    const uint32_t count = uint32_t{1} << (tableBits - length);
    const auto entry = static_cast<uint16_t>(length << 8 | s);
    for (uint32_t k = 0; k < count; ++k) lookup[first + k] = entry;
  }

  const uint64_t nbytes = uint64_t{b} / 8 + 1;
  uint64_t pos = 0;
  uint32_t i = 0;
  const int shift = 64 - tableBits;
  // One code from the tree, bit by bit, never past the B-th bit.
  auto walk = [&]() {
    int16_t node = trie.root();
    while (!trie.is_leaf(node)) {
      if (pos >= b) fail(97);
      const int bit = bits[pos >> 3] >> (7 - (pos & 7)) & 1;
      node = bit != 0 ? trie.node(node).right : trie.node(node).left;
      ++pos;
    }
    out[i++] = static_cast<unsigned char>(trie.node(node).symbol);
  };

  // While 8 bytes can be loaded at the position, the next 49 bits lie inside
  // the B bits: four codes of at most kTableBits bits each fit in them.
  static_assert(4 * kTableBits <= 49, "four table codes per load");
  while ((pos >> 3) + 8 <= nbytes && n - i >= 4) {
    uint64_t window = get_be64(bits + (pos >> 3)) << (pos & 7);
    for (int k = 0; k < 4; ++k) {
      const uint16_t entry = lookup[window >> shift];
      if (entry == 0) {
        walk();
        break;
      }
      const int length = entry >> 8;
      out[i++] = static_cast<unsigned char>(entry);
      window <<= length;
      pos += length;
    }
  }
  // The tail: the window is assembled byte by byte, zeros past the block.
  while (i < n) {
    uint64_t window = 0;
    for (int k = 0; k < 8; ++k) {
      const uint64_t at = (pos >> 3) + k;
      window = window << 8 | (at < nbytes ? bits[at] : 0);
    }
    window <<= pos & 7;
    const uint16_t entry = lookup[window >> shift];
    const int length = entry >> 8;
    if (entry == 0 || pos + length > b) {
      walk();
      continue;
    }
    out[i++] = static_cast<unsigned char>(entry);
    pos += length;
  }
  if (pos != b) fail(97);
}

Buffer decode_block(const unsigned char* data, uint32_t size, uint32_t*& table, KV_FreqTrie*& trie,
                    uint32_t& outSize) {
  if (size < kMagicSize || std::memcmp(data, kMagic, kMagicSize) != 0) fail(92);
  if (size < kBitsOffset) fail(97);
  const uint32_t b = get_u32(data + kBitCountOffset);
  if (uint64_t{size} - kBitsOffset < uint64_t{b} / 8 + 1) fail(97);

  table = static_cast<uint32_t*>(allocate(kTableBytes, u"m_freq_table"));
  uint64_t total = 0;
  for (int s = 0; s < KV_FreqTrie::kSymbols; ++s) {
    table[s] = get_u32(data + kTableOffset + 4 * s);
    total += table[s];
  }
  if (total > UINT32_MAX) fail(97);
  const auto n = static_cast<uint32_t>(total);
  trie = new KV_FreqTrie(table);
  if (trie == nullptr) throw KV_Memory_Exception(55, kSource, u"m_freq_trie", kRevKvCompress);

  const int16_t root = trie->root();
  if (root == KV_FreqTrie::kNone && b != 0) fail(90);
  const bool single = root != KV_FreqTrie::kNone && trie->is_leaf(root);
  if (single && n > KV_Huffman_Codec::kMaxRunLength) fail(97);
  if (trie->maxLength() > KV_FreqTrie::kMaxCodeBits || code_bits(*trie, table) != b) fail(97);

  Buffer result(static_cast<unsigned char*>(allocate(std::size_t{n} + 1, u"temp")));
  result.get()[n] = 0;
  if (single) {
    std::memset(result.get(), trie->node(root).symbol, n);
  } else if (n > 0) {
    decode_bits(*trie, data + kBitsOffset, b, result.get(), n);
  }
  outSize = n;
  return result;
}

// Runs one operation: its result goes to (out, outSize) on success; a
// library exception goes to the handler and gives false with out null.
template <typename Operation>
bool run(GX_Error_Handler* handler, unsigned char*& out, uint32_t& outSize, Operation operation) {
  out = nullptr;
  outSize = 0;
  try {
    uint32_t size = 0;
    Buffer result = operation(size);
    out = result.release();
    outSize = size;
    return true;
  } catch (const GX_Exception& e) {
    if (handler != nullptr) kv_report_to_handler(handler, e);
    return false;
  }
}

}  // namespace

KV_Huffman_Codec::KV_Huffman_Codec(const unsigned char* data, uint32_t size,
                                   GX_Error_Handler* handler)
    : m_data(data), m_size(size), m_freq_table(nullptr), m_freq_trie(nullptr), m_handler(handler) {}

KV_Huffman_Codec::~KV_Huffman_Codec() {
  kv_free(m_freq_table);
  delete m_freq_trie;
}

bool KV_Huffman_Codec::encode(unsigned char*& out, uint32_t& outSize) {
  kv_free(m_freq_table);
  m_freq_table = nullptr;
  delete m_freq_trie;
  m_freq_trie = nullptr;
  return run(m_handler, out, outSize, [this](uint32_t& n) {
    return encode_block(m_data, m_size, m_freq_table, m_freq_trie, n);
  });
}

bool KV_Huffman_Codec::decode(unsigned char*& out, uint32_t& outSize) {
  kv_free(m_freq_table);
  m_freq_table = nullptr;
  delete m_freq_trie;
  m_freq_trie = nullptr;
  return run(m_handler, out, outSize, [this](uint32_t& n) {
    return decode_block(m_data, m_size, m_freq_table, m_freq_trie, n);
  });
}
