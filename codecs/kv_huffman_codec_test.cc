// Copyright the kvstore authors.
//
// Expected blocks are written out by hand from the worked examples of the
// format (codes, bits and sizes), never taken from the encoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "codecs/kv_freq_trie.h"
#include "kvstore/kv_codec.h"
#include "testutil/recording_handler.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Operation = bool (KV_Huffman_Codec::*)(unsigned char*&, uint32_t&);

struct Result {
  bool ok = false;
  Bytes bytes;  // outSize bytes; a decoder's terminator is checked apart
  bool terminated = false;
};

// Runs op over exactly the bytes of in (a buffer of that size, so that the
// sanitizers see any read past it).
Result call(Operation op, const Bytes& in, GX_Error_Handler* handler = nullptr) {
  std::unique_ptr<unsigned char[]> exact(new unsigned char[in.size() + (in.empty() ? 1 : 0)]);
  if (!in.empty()) std::memcpy(exact.get(), in.data(), in.size());
  KV_Huffman_Codec codec(exact.get(), static_cast<uint32_t>(in.size()), handler);
  unsigned char* out = reinterpret_cast<unsigned char*>(&codec);
  uint32_t size = 12345;
  Result r;
  r.ok = (codec.*op)(out, size);
  if (r.ok) {
    r.bytes.assign(out, out + size);
    // A decoder's result has one more byte, a zero.
    r.terminated = op == &KV_Huffman_Codec::decode && out[size] == 0;
  } else {
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(size, 0u);
  }
  KV_Mem_Obj::operator delete(r.ok ? out : nullptr);
  return r;
}

Result encode(const Bytes& in) {
  return call(&KV_Huffman_Codec::encode, in);
}
Result decode(const Bytes& in, GX_Error_Handler* handler = nullptr) {
  return call(&KV_Huffman_Codec::decode, in, handler);
}

Bytes text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

void put_le32(Bytes& b, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

// A block laid out by hand: magic, counts, B and the code bytes.
Bytes block(const std::vector<std::pair<unsigned char, uint32_t>>& counts, uint32_t bits,
            const Bytes& code) {
  Bytes b = text("kvhuffcodec");
  b.resize(1039, 0);
  for (auto [symbol, count] : counts) put_le32(b, 11 + 4 * symbol, count);
  put_le32(b, 1035, bits);
  b.insert(b.end(), code.begin(), code.end());
  return b;
}

// The id of the one failure that decoding in reports (0 when it succeeds).
unsigned decode_error(const Bytes& in) {
  RecordingHandler handler;
  Result r = decode(in, &handler);
  if (r.ok) return 0;
  EXPECT_EQ(handler.reports.size(), 1u);
  if (handler.reports.empty()) return 0;
  EXPECT_EQ(handler.reports[0].operation, "severe");
  EXPECT_EQ(handler.reports[0].source, u"kv_compress");
  EXPECT_EQ(handler.reports[0].argument, u"");
  return handler.reports[0].id;
}

TEST(KvHuffmanCodec, WorkedExamplesComeOutToTheBit) {
  struct Example {
    std::string input;
    Bytes expected;
  };
  const Example examples[] = {
      // i 0, m 100, p 101, s 11: 100 0 11 11 0 11 11 0 101 101 0, 21 bits.
      {"mississippi", block({{'i', 4}, {'m', 1}, {'p', 2}, {'s', 4}}, 21, {0x8F, 0x7A, 0xD0})},
      // a 0, b 1: 01.
      {"ab", block({{'a', 1}, {'b', 1}}, 2, {0x40})},
      // b 0, a 10, c 11: 10 0 11.
      {"abc", block({{'a', 1}, {'b', 1}, {'c', 1}}, 5, {0x98})},
  };
  for (const Example& e : examples) {
    SCOPED_TRACE(e.input);
    Result packed = encode(text(e.input));
    ASSERT_TRUE(packed.ok);
    EXPECT_EQ(packed.bytes, e.expected);
    EXPECT_EQ(packed.bytes.size(), 1040u + (e.input == "mississippi" ? 2u : 0u));
    Result back = decode(e.expected);
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.bytes, text(e.input));
    EXPECT_TRUE(back.terminated);
  }
}

TEST(KvHuffmanCodec, EmptyAndSingleValueInputs) {
  // No byte: no tree, B = 0, one zero byte after B.
  Result empty = encode({});
  ASSERT_TRUE(empty.ok);
  EXPECT_EQ(empty.bytes, block({}, 0, {0x00}));
  Result none = decode(empty.bytes);
  ASSERT_TRUE(none.ok);
  EXPECT_TRUE(none.bytes.empty());
  EXPECT_TRUE(none.terminated);

  // One distinct value: an empty code, B = 0; the count restores the run.
  for (uint32_t n : {1u, 2u, 8u, 1000u}) {
    const Bytes run(n, 'z');
    Result packed = encode(run);
    ASSERT_TRUE(packed.ok);
    EXPECT_EQ(packed.bytes, block({{'z', n}}, 0, {0x00}));
    Result back = decode(packed.bytes);
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.bytes, run);
    EXPECT_TRUE(back.terminated);
  }
  // A run at the limit comes back; one byte more is refused both ways.
  const uint32_t limit = KV_Huffman_Codec::kMaxRunLength;
  Result longest = decode(block({{0, limit}}, 0, {0x00}));
  ASSERT_TRUE(longest.ok);
  EXPECT_EQ(longest.bytes.size(), limit);
  EXPECT_EQ(decode_error(block({{0, limit + 1}}, 0, {0x00})), 97u);
  RecordingHandler handler;
  const Bytes too_long(std::size_t{limit} + 1, 7);
  KV_Huffman_Codec codec(too_long.data(), static_cast<uint32_t>(too_long.size()), &handler);
  unsigned char* out = nullptr;
  uint32_t size = 0;
  EXPECT_FALSE(codec.encode(out, size));
  ASSERT_EQ(handler.reports.size(), 1u);
  EXPECT_EQ(handler.reports[0].id, 94u);
}

// Inputs of many sizes and shapes: uniform bytes, skewed text, a few values,
// and counts that make codes longer than the decoder's lookup table.
TEST(KvHuffmanCodec, RandomInputsOfEverySizeClassRoundTrip) {
  std::mt19937 random(20240611);
  const uint32_t sizes[] = {2, 3, 7, 8, 9, 31, 255, 256, 1000, 1024, 4097, 65536, 1 << 20};
  for (uint32_t size : sizes) {
    for (int shape = 0; shape < 4; ++shape) {
      SCOPED_TRACE("size " + std::to_string(size) + " shape " + std::to_string(shape));
      Bytes in(size);
      std::geometric_distribution<int> skewed(0.15);
      for (uint32_t i = 0; i < size; ++i) {
        // Shape 3: value k about twice as often as value k + 1, codes up to
        // about 20 bits.
        const unsigned value = shape == 0   ? unsigned(random())
                               : shape == 1 ? unsigned(' ' + skewed(random) % 95)
                               : shape == 2 ? unsigned("ab"[random() % 2])
                                            : unsigned(__builtin_ctz(random() | 0x80000) * 11);
        in[i] = static_cast<unsigned char>(value);
      }
      Result packed = encode(in);
      ASSERT_TRUE(packed.ok);
      uint32_t bits = 0;
      std::memcpy(&bits, packed.bytes.data() + 1035, 4);
      EXPECT_EQ(packed.bytes.size(), 1040u + bits / 8);
      if (bits % 8 == 0) {
        EXPECT_EQ(packed.bytes.back(), 0);
      }
      Result back = decode(packed.bytes);
      ASSERT_TRUE(back.ok);
      EXPECT_TRUE(back.bytes == in);
      EXPECT_TRUE(back.terminated);
    }
  }
}

TEST(KvHuffmanCodec, CodesLongerThan32BitsRoundTrip) {
  // Counts that leave the tree no choice: each heavier than the node merged
  // before it and than the count before it, so value 0 and 1 get 33 bits
  // with 34 values (about 20 MB of input).
  std::vector<uint32_t> counts = {1, 2};
  uint64_t merged = 1, sum = 3;
  while (counts.size() < 34) {
    const uint64_t next = std::max<uint64_t>(merged, counts.back()) + 1;
    merged = sum;
    sum += next;
    counts.push_back(static_cast<uint32_t>(next));
  }
  Bytes in;
  in.reserve(sum);
  // Spread the rare values through the input.
  for (std::size_t k = counts.size(); k-- > 0;)
    in.insert(in.end(), counts[k], static_cast<unsigned char>(k));
  std::mt19937 random(7);
  for (std::size_t i = 0; i < 64; ++i) std::swap(in[i], in[in.size() - 1 - random() % 1000]);
  Result packed = encode(in);
  ASSERT_TRUE(packed.ok);
  Result back = decode(packed.bytes);
  ASSERT_TRUE(back.ok);
  EXPECT_TRUE(back.bytes == in);
}

// The decode of a block as the format describes it, bit by bit down the
// tree, with this library's rules on top: the bits must decode to exactly
// as many bytes as the counts add up to, ending with the last bit.
bool reference_decode(const Bytes& block, Bytes& out) {
  uint32_t counts[256];
  uint64_t total = 0;
  for (int s = 0; s < 256; ++s) {
    std::memcpy(&counts[s], block.data() + 11 + 4 * s, 4);
    total += counts[s];
  }
  uint32_t bits = 0;
  std::memcpy(&bits, block.data() + 1035, 4);
  KV_FreqTrie trie(counts);
  out.clear();
  int16_t node = trie.root();
  for (uint32_t i = 0; i < bits; ++i) {
    const int bit = block[1039 + i / 8] >> (7 - i % 8) & 1;
    node = bit != 0 ? trie.node(node).right : trie.node(node).left;
    if (trie.is_leaf(node)) {
      out.push_back(static_cast<unsigned char>(trie.node(node).symbol));
      node = trie.root();
    }
  }
  return node == trie.root() && out.size() == total;
}

// Large blocks are decoded by two chains, one from the middle of the bits,
// which must fall into step with the first; when they cannot (codes of one
// length that the middle splits), the first decodes alone. Either way the
// result, and every failure, is that of a plain decode.
TEST(KvHuffmanCodec, DecodingFromTheMiddleChangesNothing) {
  std::mt19937 random(99);
  // Eight equal counts: every code is 3 bits long, so a chain started at a
  // bit that is not a multiple of 3 never meets a code boundary (608 bytes
  // put the middle on one).
  for (uint32_t size : {600u, 601u, 608u, 5000u, 5002u}) {
    Bytes in(size);
    for (uint32_t i = 0; i < size; ++i) in[i] = static_cast<unsigned char>('a' + i % 8);
    Result packed = encode(in);
    ASSERT_TRUE(packed.ok);
    Result back = decode(packed.bytes);
    ASSERT_TRUE(back.ok) << size;
    EXPECT_TRUE(back.bytes == in) << size;
  }
  // Damaged bits of a large block: the decoder agrees with the reference on
  // every one, success and bytes or failure.
  Bytes text(6000);
  std::geometric_distribution<int> skewed(0.2);
  for (unsigned char& c : text) c = static_cast<unsigned char>('a' + skewed(random) % 26);
  const Bytes block = encode(text).bytes;
  int failures = 0;
  for (int trial = 0; trial < 120; ++trial) {
    Bytes damaged = block;
    const std::size_t at = 1039 + random() % (damaged.size() - 1039);
    damaged[at] ^= static_cast<unsigned char>(1 + random() % 255);
    Bytes expected;
    const bool valid = reference_decode(damaged, expected);
    Result got = decode(damaged);
    ASSERT_EQ(got.ok, valid) << trial;
    if (valid) {
      ASSERT_TRUE(got.bytes == expected) << trial;
    } else {
      ++failures;
      EXPECT_EQ(decode_error(damaged), 97u);
    }
  }
  EXPECT_GT(failures, 0);
}

TEST(KvHuffmanCodec, DamagedBlocksAreRefused) {
  const Bytes good = block({{'i', 4}, {'m', 1}, {'p', 2}, {'s', 4}}, 21, {0x8F, 0x7A, 0xD0});
  ASSERT_EQ(decode_error(good), 0u);

  // 92: no magic at the very start, even when it follows.
  EXPECT_EQ(decode_error(text("kvhuffcode")), 92u);
  EXPECT_EQ(decode_error({}), 92u);
  Bytes shifted = text("x");
  shifted.insert(shifted.end(), good.begin(), good.end());
  EXPECT_EQ(decode_error(shifted), 92u);
  Bytes wrong = good;
  wrong[10] = 'C';
  EXPECT_EQ(decode_error(wrong), 92u);

  // 90: counts all zero, B not.
  EXPECT_EQ(decode_error(block({}, 9, {0xFF, 0x80})), 90u);
  EXPECT_EQ(decode_error(block({}, 0, {0x00})), 0u);

  // 97: every truncation after the magic, however short.
  for (std::size_t size = 11; size < good.size(); ++size) {
    ASSERT_EQ(decode_error(Bytes(good.begin(), good.begin() + size)), 97u) << size;
  }
  // A block longer than it needs decodes; the rest is not read.
  Bytes longer = good;
  longer.push_back(0xEE);
  EXPECT_EQ(decode_error(longer), 0u);

  // 97: B disagrees with what the counts' code takes (21 bits).
  for (uint32_t bits : {20u, 22u, 0u, 0xFFFFFFF0u}) {
    Bytes b = good;
    put_le32(b, 1035, bits);
    EXPECT_EQ(decode_error(b), 97u) << bits;
  }
  // 97: the right B, but the bits decode to another number of bytes (i in
  // place of m: 13 bytes in 21 bits) or the last code is cut off (its first
  // bit is 1).
  EXPECT_EQ(decode_error(block({{'i', 4}, {'m', 1}, {'p', 2}, {'s', 4}}, 21, {0x0F, 0x7A, 0xD0})),
            97u);
  EXPECT_EQ(decode_error(block({{'i', 4}, {'m', 1}, {'p', 2}, {'s', 4}}, 21, {0x8F, 0x7A, 0xD8})),
            97u);
  // 97: a single value with bits; counts that add up to 2^32 or more.
  EXPECT_EQ(decode_error(block({{'z', 3}}, 1, {0x00})), 97u);
  EXPECT_EQ(decode_error(block({{'a', 0x80000000u}, {'b', 0x80000000u}}, 0, {0x00})), 97u);
  EXPECT_EQ(decode_error(block({{'a', 0xFFFFFFFFu}, {'b', 1}}, 0, {0x00})), 97u);
  // A hostile B whose bits the block does not hold: refused before a byte
  // of them is read.
  EXPECT_EQ(decode_error(block({{'a', 0x10000000u}, {'b', 0x10000000u}}, 0x20000000u, {0x00})),
            97u);
}

TEST(KvHuffmanCodec, FailuresGoToTheHandlerAndEachCallStartsAfresh) {
  RecordingHandler handler;
  const Bytes junk = text("not a block at all");
  const Bytes in = text("mississippi");
  KV_Huffman_Codec bad(junk.data(), static_cast<uint32_t>(junk.size()), &handler);
  unsigned char* out = nullptr;
  uint32_t size = 1;
  EXPECT_FALSE(bad.decode(out, size));
  EXPECT_FALSE(bad.decode(out, size));
  ASSERT_EQ(handler.reports.size(), 2u);
  EXPECT_EQ(handler.reports[1].id, 92u);
  // Encoding the same object's input twice gives the same block twice (the
  // counts and the tree of the first call are replaced, not added to).
  KV_Huffman_Codec codec(in.data(), static_cast<uint32_t>(in.size()));
  unsigned char* first = nullptr;
  unsigned char* second = nullptr;
  uint32_t first_size = 0, second_size = 0;
  ASSERT_TRUE(codec.encode(first, first_size));
  ASSERT_TRUE(codec.encode(second, second_size));
  EXPECT_EQ(Bytes(first, first + first_size), Bytes(second, second + second_size));
  KV_Huffman_Codec::operator delete(first);
  KV_Huffman_Codec::operator delete(second);
  // Without a handler a failure is only the false result.
  KV_Huffman_Codec silent(junk.data(), static_cast<uint32_t>(junk.size()));
  EXPECT_FALSE(silent.decode(out, size));
}

}  // namespace
