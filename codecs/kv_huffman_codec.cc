// Copyright the kvstore authors.
//
// KV_Huffman_Codec. The encoder counts the bytes, builds the code tree of
// the counts and writes every byte's code through a 64-bit bit accumulator.
// The decoder checks the whole block against its counts before it allocates
// anything (the size of the restored data follows from the counts, and B
// bounds it), then decodes with a lookup table indexed by the next
// kTableBits bits, which gives one or two bytes and their code length at
// once (BitDecoder below); the rare longer codes walk the tree from the root
// bit by bit.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "codecs/kv_codec_block.h"
#include "codecs/kv_freq_trie.h"
#include "kvstore/gx_exception.h"
#include "kvstore/kv_codec.h"
#include "kvstore/kv_exceptions.h"
#include "toolkit/byte_order.h"
#include "tree/kv_alloc.h"
#include "tree/kv_report.h"
#include "tree/kv_revision.h"

namespace {

using kv_codec_block::allocate;
using kv_codec_block::Buffer;
using kv_codec_block::fail;
using kv_codec_block::kSource;

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
  table = static_cast<uint32_t*>(kv_codec_block::allocate_raw(kTableBytes, u"m_freq_table"));
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
  Buffer block = allocate(outSize, u"output");
  unsigned char* p = block.get();
  std::memcpy(p, kMagic, kMagicSize);
  for (int s = 0; s < KV_FreqTrie::kSymbols; ++s) put_le32(p + kTableOffset + 4 * s, table[s]);
  put_le32(p + kBitCountOffset, b);
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

// The decoder of the code bits.
//
// Each lookup costs a load whose result decides the next lookup, so the
// speed is set by the chain of lookups. Two things shorten it:
//   - where the next kTableBits bits hold two whole codes, one lookup yields
//     both bytes (a table of pairs; building it costs about one lookup per
//     entry, so it is built only when there are at least kPairsFrom times as
//     many bytes to decode as entries);
//   - a second chain runs beside the first: it starts decoding in the middle
//     of the bits (at a byte boundary) into a scratch buffer, while the first
//     decodes from the start. A prefix code falls into step with the true
//     code boundaries after a few codes, so when the first chain reaches the
//     middle it looks for a code boundary that the second chain also passed;
//     from there the second chain's bytes are the right ones. When no such
//     boundary turns up among the second chain's first kSyncCodes codes, or
//     its bytes do not come out to the right count and end, they are thrown
//     away and the first chain decodes the rest alone, so the result and
//     every error are those of a plain decode.
constexpr uint32_t kPairsFrom = 4;
constexpr uint32_t kTwoChainsFrom = 256;  // bytes to decode
constexpr int kSyncCodes = 32;

class BitDecoder {
 public:
  BitDecoder(const KV_FreqTrie& trie, const unsigned char* bits, uint32_t b, uint32_t n)
      : m_trie(trie), m_bits(bits), m_b(b), m_nbytes(uint64_t{b} / 8 + 1), m_n(n) {
    m_tableBits = trie.maxLength() < kTableBits ? trie.maxLength() : kTableBits;
    m_shift = 64 - m_tableBits;
    const uint32_t entries = uint32_t{1} << m_tableBits;
    // An entry holds one or two codes: their total length in bits 0-7, the
    // bytes in bits 8-15 and 16-23 and their number in bits 24-31; 0 for a
    // prefix of a longer code. The bytes above bit 7 leave the length
    // unchanged modulo 64, so a shift by the entry itself (the machine takes
    // shift counts modulo 64) is a shift by the length: one step less
    // between two lookups.
    std::memset(m_single, 0, sizeof(uint32_t) * entries);
    for (int s = 0; s < KV_FreqTrie::kSymbols; ++s) {
      const int length = trie.length(s);
      if (length == 0 || length > m_tableBits) continue;
      const auto first = static_cast<uint32_t>(trie.code(s) << (m_tableBits - length));
      const uint32_t entry =
          static_cast<uint32_t>(s) << 8 | static_cast<uint32_t>(length) | 1u << 24;
      std::fill_n(m_single + first, uint32_t{1} << (m_tableBits - length), entry);
    }
    m_fast = m_single;
    if (n / kPairsFrom < entries) return;
    for (uint32_t index = 0; index < entries; ++index) {
      const uint32_t first = m_single[index];
      const uint32_t length = first & 0xFF;
      const uint32_t second = m_single[(index << length) & (entries - 1)];
      const uint32_t total = length + (second & 0xFF);
      const bool both = first != 0 && second != 0 && total <= static_cast<uint32_t>(m_tableBits);
      m_pair[index] = both ? total | (first & 0xFF00) | (second & 0xFF00) << 8 | 2u << 24 : first;
    }
    m_fast = m_pair;
  }

  // Decodes exactly n bytes into out, ending exactly at the B-th bit; throws
  // KV_Severe 97 otherwise.
  void run(unsigned char* out) {
    Chain first{0, out, out + m_n};
    if (m_n >= kTwoChainsFrom) two_chains(first);
    while (first.o < first.end) {
      if (!group(first)) one(first, true);
    }
    if (first.pos != m_b) fail(97);
  }

 private:
  struct Chain {
    uint64_t pos;      // the next code's first bit
    unsigned char* o;  // where its byte goes
    unsigned char* end;
  };

  // While 8 bytes can be loaded at the position, the next 49 bits lie inside
  // the B bits: four lookups of at most kTableBits bits each fit in them. A
  // lookup stores two bytes whatever it yields: a group stores up to 8.
  bool can_group(const Chain& c) const { return (c.pos >> 3) + 8 <= m_nbytes && c.end - c.o >= 8; }

  // Up to four lookups at once. Returns false when it stops at a long code
  // (or cannot run at all); the codes before it are taken.
  bool group(Chain& c) const {
    static_assert(4 * kTableBits <= 49, "four lookups per load");
    if (!can_group(c)) return false;
    uint64_t window = get_be64(m_bits + (c.pos >> 3)) << (c.pos & 7);
    uint32_t used = 0;
    unsigned char* o = c.o;
    bool whole = true;
    for (int k = 0; k < 4; ++k) {
      const uint32_t entry = m_fast[window >> m_shift];
      if (entry == 0) {
        whole = false;
        break;
      }
      o[0] = static_cast<unsigned char>(entry >> 8);
      o[1] = static_cast<unsigned char>(entry >> 16);
      o += entry >> 24;
      window <<= entry & 63;
      used += entry & 0xFF;
    }
    c.o = o;
    c.pos += used;
    return whole;
  }

  // One code, never past the B-th bit: false when the bits run out (thrown
  // as 97 when strict).
  bool one(Chain& c, bool strict) const {
    uint64_t window = 0;
    for (int k = 0; k < 8; ++k) {
      const uint64_t at = (c.pos >> 3) + k;
      window = window << 8 | (at < m_nbytes ? m_bits[at] : 0);
    }
    window <<= c.pos & 7;
    const uint32_t entry = m_single[window >> m_shift];
    const uint32_t length = entry & 0xFF;
    if (entry != 0 && c.pos + length <= m_b) {
      *c.o++ = static_cast<unsigned char>(entry >> 8);
      c.pos += length;
      return true;
    }
    int16_t node = m_trie.root();
    uint64_t pos = c.pos;
    while (!m_trie.is_leaf(node)) {
      if (pos >= m_b) {
        if (strict) fail(97);
        return false;
      }
      const int bit = m_bits[pos >> 3] >> (7 - (pos & 7)) & 1;
      node = bit != 0 ? m_trie.node(node).right : m_trie.node(node).left;
      ++pos;
    }
    *c.o++ = static_cast<unsigned char>(m_trie.node(node).symbol);
    c.pos = pos;
    return true;
  }

  // Runs the second chain from the middle beside the first; on success the
  // first chain ends complete. Otherwise the first chain stands at a code
  // boundary with its bytes so far, and the caller goes on alone.
  void two_chains(Chain& first) {
    const uint64_t middle = (uint64_t{m_b} / 2) & ~uint64_t{7};
    // The second chain's bytes cannot be more than n (or they are wrong);
    // 8 more let a group store past the last.
    Buffer scratch = allocate(std::size_t{m_n} + 8, u"temp");
    Chain second{middle, scratch.get(), scratch.get() + m_n + 8};
    // The second chain's first code boundaries.
    uint64_t starts[kSyncCodes];
    int recorded = 0;
    while (recorded < kSyncCodes) {
      starts[recorded++] = second.pos;
      if (second.pos >= m_b || !one(second, false)) return;
    }
    // Both chains side by side while the first stays clear of the middle.
    bool secondAlive = true;
    while (first.pos + 4 * kTableBits < starts[0] && can_group(first)) {
      if (!group(first)) one(first, true);
      if (secondAlive && second.pos < m_b && !group(second)) {
        secondAlive = second.o < second.end - 8 && one(second, false);
      }
    }
    // The first chain walks code by code to a boundary of the second one.
    int match = 0;
    for (;;) {
      while (match < recorded && starts[match] < first.pos) ++match;
      if (match == recorded) return;
      if (starts[match] == first.pos) break;
      if (first.o == first.end) return;
      if (!group_one(first)) return;
    }
    // The second chain decodes to the end of the bits.
    while (secondAlive && second.pos < m_b) {
      if (!group(second)) {
        if (second.o >= second.end - 8) return;
        secondAlive = one(second, false);
      }
    }
    const uint64_t tail = static_cast<uint64_t>(second.o - scratch.get()) - match;
    if (!secondAlive || second.pos != m_b || tail != static_cast<uint64_t>(first.end - first.o)) {
      return;
    }
    std::memcpy(first.o, scratch.get() + match, tail);
    first.o = first.end;
    first.pos = m_b;
  }

  // One code of the first chain, strictly; false when its bytes are full.
  bool group_one(Chain& c) const {
    if (c.o == c.end) return false;
    one(c, true);
    return true;
  }

  const KV_FreqTrie& m_trie;
  const unsigned char* m_bits;
  uint32_t m_b;
  uint64_t m_nbytes;
  uint32_t m_n;
  int m_tableBits;
  int m_shift;
  const uint32_t* m_fast;
  uint32_t m_single[1 << kTableBits];
  uint32_t m_pair[1 << kTableBits];
};

Buffer decode_block(const unsigned char* data, uint32_t size, uint32_t*& table, KV_FreqTrie*& trie,
                    uint32_t& outSize) {
  if (size < kMagicSize || std::memcmp(data, kMagic, kMagicSize) != 0) fail(92);
  if (size < kBitsOffset) fail(97);
  const uint32_t b = get_le32(data + kBitCountOffset);
  if (uint64_t{size} - kBitsOffset < uint64_t{b} / 8 + 1) fail(97);

  table = static_cast<uint32_t*>(kv_codec_block::allocate_raw(kTableBytes, u"m_freq_table"));
  uint64_t total = 0;
  for (int s = 0; s < KV_FreqTrie::kSymbols; ++s) {
    table[s] = get_le32(data + kTableOffset + 4 * s);
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

  Buffer result = allocate(std::size_t{n} + 1, u"temp");
  result.get()[n] = 0;
  if (single) {
    std::memset(result.get(), trie->node(root).symbol, n);
  } else if (n > 0) {
    BitDecoder(*trie, data + kBitsOffset, b, n).run(result.get());
  }
  outSize = n;
  return result;
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
  return kv_codec_block::run(m_handler, out, outSize, [this](uint32_t& n) {
    return encode_block(m_data, m_size, m_freq_table, m_freq_trie, n);
  });
}

bool KV_Huffman_Codec::decode(unsigned char*& out, uint32_t& outSize) {
  kv_free(m_freq_table);
  m_freq_table = nullptr;
  delete m_freq_trie;
  m_freq_trie = nullptr;
  return kv_codec_block::run(m_handler, out, outSize, [this](uint32_t& n) {
    return decode_block(m_data, m_size, m_freq_table, m_freq_trie, n);
  });
}
