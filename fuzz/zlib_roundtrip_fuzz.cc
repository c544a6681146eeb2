// Copyright the kvstore authors.
//
// The input after its first byte is encoded with both framings of
// KV_zlib_Codec; each block, behind a line of text when the first byte says
// so, must decode with its own framing to the input, and its header must
// state the sizes of what it carries.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_util.h"
#include "kvstore/kv_codec.h"
#include "tree/kv_alloc.h"

namespace {

uint32_t get_u32(const unsigned char* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void roundtrip(const std::string& input, bool withCheck, const std::string& prefix) {
  KV_zlib_Codec encoder(reinterpret_cast<const unsigned char*>(input.data()),
                        static_cast<uint32_t>(input.size()));
  unsigned char* block = nullptr;
  uint32_t blockSize = 0;
  const bool encoded =
      withCheck ? encoder.encodeCRC(block, blockSize) : encoder.encode(block, blockSize);
  FUZZ_CHECK(encoded);
  const uint32_t header = withCheck ? 23 : 19;
  FUZZ_CHECK(blockSize >= header);
  FUZZ_CHECK(std::memcmp(block, "kvzlibcodec", 11) == 0);
  FUZZ_CHECK(get_u32(block + header - 8) == input.size());
  FUZZ_CHECK(get_u32(block + header - 4) == blockSize - header);

  std::string file = prefix;
  file.append(reinterpret_cast<const char*>(block), blockSize);
  kv_free(block);

  KV_zlib_Codec decoder(reinterpret_cast<const unsigned char*>(file.data()),
                        static_cast<uint32_t>(file.size()));
  unsigned char* out = nullptr;
  uint32_t outSize = 0;
  const bool decoded = withCheck ? decoder.decodeCRC(out, outSize) : decoder.decode(out, outSize);
  FUZZ_CHECK(decoded);
  FUZZ_CHECK(outSize == input.size());
  FUZZ_CHECK(std::memcmp(out, input.data(), input.size()) == 0);
  FUZZ_CHECK(out[outSize] == 0);
  kv_free(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string prefix = (data[0] & 1) != 0 ? "PIAFILEVERSION_2.0,compress\r\n" : "";
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  roundtrip(input, false, prefix);
  roundtrip(input, true, prefix);
  return 0;
}
