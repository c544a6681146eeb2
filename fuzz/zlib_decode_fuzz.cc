// Copyright the kvstore authors.
//
// The input is a codec block, possibly behind some text: both framings of
// KV_zlib_Codec decode it, with a handler and without. Whatever the outcome,
// the contract of the result must hold: on success a buffer of outSize + 1
// bytes whose last byte is zero, on failure no buffer and size 0.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_util.h"
#include "kvstore/kv_codec.h"
#include "tree/kv_alloc.h"

namespace {

void decode(const uint8_t* data, size_t size, bool withCheck, GX_Error_Handler* handler) {
  KV_zlib_Codec codec(data, static_cast<uint32_t>(size), handler);
  unsigned char* out = reinterpret_cast<unsigned char*>(&codec);  // must be replaced
  uint32_t outSize = 12345;
  const bool ok = withCheck ? codec.decodeCRC(out, outSize) : codec.decode(out, outSize);
  if (ok) {
    FUZZ_CHECK(out != nullptr);
    FUZZ_CHECK(out[outSize] == 0);
    kv_free(out);
  } else {
    FUZZ_CHECK(out == nullptr);
    FUZZ_CHECK(outSize == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  GoOnHandler handler;
  decode(data, size, false, &handler);
  decode(data, size, true, &handler);
  decode(data, size, false, nullptr);
  decode(data, size, true, nullptr);
  return 0;
}
