// Copyright the kvstore authors.
//
// stringtobinary on the text that the input stands for (see fuzz_text): a
// text it accepts must be the check-summed text of the bytes it returns, so
// encoding those bytes again and decoding the result gives them back. The
// raw input bytes take the same round trip through bytestostring.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_util.h"
#include "kvstore/kv_convert.h"
#include "toolkit/u16_text.h"
#include "tree/kv_alloc.h"
#include "tree/kv_convert.h"

namespace {

// Encodes n bytes and decodes the text again; both must succeed and agree.
void check_encoding(const char* bytes, std::size_t n) {
  char16_t* text = bytestostring(bytes, n);
  FUZZ_CHECK(text != nullptr);
  // Two check bytes are added, then every 3 bytes take 4 characters.
  FUZZ_CHECK(u16_length(text) == (4 * (n + 2) + 2) / 3);
  char* decoded = nullptr;
  unsigned int size = 0;
  FUZZ_CHECK(stringtobinary(text, &decoded, &size) == 1);
  FUZZ_CHECK(size == n);
  FUZZ_CHECK(n == 0 || std::memcmp(decoded, bytes, n) == 0);
  kv_free(decoded);
  kv_free(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string text = fuzz_text(data, size);
  char* decoded = reinterpret_cast<char*>(&size);  // must stay as it is on refusal
  unsigned int decodedSize = 777;
  if (stringtobinary(text.c_str(), &decoded, &decodedSize) == 1) {
    check_encoding(decoded, decodedSize);
    kv_free(decoded);
  } else {
    FUZZ_CHECK(decoded == reinterpret_cast<char*>(&size));
    FUZZ_CHECK(decodedSize == 777);
  }
  check_encoding(reinterpret_cast<const char*>(data), size);
  return 0;
}
