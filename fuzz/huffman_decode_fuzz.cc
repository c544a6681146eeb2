// Copyright the kvstore authors.
//
// The input is a Huffman codec block, decoded from exactly its bytes with a
// handler and without. The result's contract must hold (on success a buffer
// of outSize + 1 bytes ending in zero, on failure no buffer and size 0), and
// restored bytes must survive an encode and a decode. The input itself is
// also encoded and decoded again, and must come back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

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
