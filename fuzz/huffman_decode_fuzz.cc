// Copyright the kvstore authors.
//
// The input is a Huffman codec block, decoded from exactly its bytes with a
// handler and without. The result's contract must hold (on success a buffer
// of outSize + 1 bytes ending in zero, on failure no buffer and size 0), and
// restored bytes must survive an encode and a decode. Success, failure and
// the restored bytes must be those of a walk down the code tree one bit at
// a time under the codec's documented rules (the table-driven decoder and
// its second chain are checked against it). The input itself is also
// encoded and decoded again, and must come back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "codecs/kv_freq_trie.h"
#include "fuzz/fuzz_util.h"
#include "kvstore/kv_codec.h"
#include "tree/kv_alloc.h"

namespace {

// Restored runs longer than this are not decoded again nor round-tripped:
// they only slow the search down.
constexpr uint32_t kMaxRoundTrip = 1 << 20;

struct Freed {
  void operator()(unsigned char* p) const { kv_free(p); }
};
using Result = std::unique_ptr<unsigned char, Freed>;

Result decode(const unsigned char* data, uint32_t size, GX_Error_Handler* handler,
              uint32_t& outSize) {
  KV_Huffman_Codec codec(data, size, handler);
  unsigned char* out = reinterpret_cast<unsigned char*>(&codec);  // must be replaced
  outSize = 12345;
  const bool ok = codec.decode(out, outSize);
  if (!ok) {
    FUZZ_CHECK(out == nullptr);
    FUZZ_CHECK(outSize == 0);
    return nullptr;
  }
  FUZZ_CHECK(out != nullptr);
  FUZZ_CHECK(out[outSize] == 0);
  return Result(out);
}

uint32_t le32(const unsigned char* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// What decode must give for the block data[0..size): true with the restored
// bytes in out (left empty above kMaxRoundTrip), or false. The block must
// hold the magic and 1040 + B / 8 bytes, counts adding up to less than 2^32,
// B equal to the bits of the counts' codes (a run of one value: B = 0 and at
// most kMaxRunLength bytes; no counts: B = 0), and bits that walk down the
// tree to exactly as many bytes as the counts add up to, ending at the B-th.
bool reference_decode(const unsigned char* data, uint32_t size, std::string& out) {
  out.clear();
  if (size < 1039 || std::memcmp(data, "kvhuffcodec", 11) != 0) return false;
  const uint32_t bits = le32(data + 1035);
  if (size - 1039 < uint64_t{bits} / 8 + 1) return false;
  uint32_t counts[256];
  uint64_t total = 0, codeBits = 0;
  for (int s = 0; s < 256; ++s) total += counts[s] = le32(data + 11 + 4 * s);
  if (total > UINT32_MAX) return false;
  const std::unique_ptr<KV_FreqTrie> trie(new KV_FreqTrie(counts));
  const int16_t root = trie->root();
  if (root == KV_FreqTrie::kNone) return bits == 0;
  if (trie->is_leaf(root)) {
    if (bits != 0 || total > KV_Huffman_Codec::kMaxRunLength) return false;
    if (total <= kMaxRoundTrip) out.assign(total, static_cast<char>(trie->node(root).symbol));
    return true;
  }
  for (int s = 0; s < 256; ++s) codeBits += uint64_t{counts[s]} * trie->length(s);
  if (codeBits != bits) return false;
  int16_t node = root;
  for (uint32_t i = 0; i < bits; ++i) {
    const int bit = data[1039 + i / 8] >> (7 - i % 8) & 1;
    node = bit != 0 ? trie->node(node).right : trie->node(node).left;
    if (trie->is_leaf(node)) {
      if (out.size() == total) return false;
      out.push_back(static_cast<char>(trie->node(node).symbol));
      node = root;
    }
  }
  return node == root && out.size() == total;
}

// Encodes data[0..size) and decodes the block again: the bytes must come
// back, and the block must be as long as its B says.
void round_trip(const unsigned char* data, uint32_t size) {
  KV_Huffman_Codec encoder(data, size);
  unsigned char* block = nullptr;
  uint32_t blockSize = 0;
  FUZZ_CHECK(encoder.encode(block, blockSize));
  Result owned(block);
  uint32_t bits = 0;
  std::memcpy(&bits, block + 1035, 4);
  FUZZ_CHECK(blockSize == 1040 + bits / 8);
  // An exact copy, so that a read past the block is seen.
  std::unique_ptr<unsigned char[]> exact(new unsigned char[blockSize]);
  std::memcpy(exact.get(), block, blockSize);
  uint32_t backSize = 0;
  Result back = decode(exact.get(), blockSize, nullptr, backSize);
  FUZZ_CHECK(back != nullptr);
  FUZZ_CHECK(backSize == size);
  FUZZ_CHECK(size == 0 || std::memcmp(back.get(), data, size) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  GoOnHandler handler;
  uint32_t first = 0;
  Result restored = decode(data, static_cast<uint32_t>(size), &handler, first);
  if (restored == nullptr) FUZZ_CHECK(handler.reports() == 1);
  std::string expected;
  FUZZ_CHECK((restored != nullptr) ==
             reference_decode(data, static_cast<uint32_t>(size), expected));
  if (restored != nullptr && first <= kMaxRoundTrip) {
    FUZZ_CHECK(expected.size() == first &&
               std::memcmp(restored.get(), expected.data(), first) == 0);
  }
  if (restored == nullptr || first <= kMaxRoundTrip) {
    uint32_t second = 0;
    Result again = decode(data, static_cast<uint32_t>(size), nullptr, second);
    FUZZ_CHECK((restored == nullptr) == (again == nullptr));
    if (restored != nullptr) {
      FUZZ_CHECK(first == second && std::memcmp(restored.get(), again.get(), first) == 0);
      round_trip(restored.get(), first);
    }
  }
  round_trip(data, static_cast<uint32_t>(size));
  return 0;
}
