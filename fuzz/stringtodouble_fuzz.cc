// Copyright the kvstore authors.
//
// stringtodouble on the text that the input stands for (see fuzz_text). Every
// double that it reads, and the double made of the first 8 input bytes, must
// be written by doubletostring as a text that reads back bit for bit (-0.0
// reads as 0.0).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_util.h"
#include "kvstore/kv_convert.h"
#include "toolkit/u16_text.h"
#include "tree/kv_convert.h"

namespace {

void check_exact_text(double value) {
  char16_t text[64];
  doubletostring(value, text);
  FUZZ_CHECK(u16_length(text) < 64);
  double back = 1.0;
  FUZZ_CHECK(stringtodouble(text, &back) == 1);
  if (value == 0.0) {
    FUZZ_CHECK(back == 0.0);
  } else {
    FUZZ_CHECK(std::memcmp(&back, &value, sizeof value) == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string text = fuzz_text(data, size);
  double value = 0.25;
  if (stringtodouble(text.c_str(), &value) == 1) {
    check_exact_text(value);
  } else {
    FUZZ_CHECK(value == 0.25);
  }
  if (size >= 8) {
    double raw;
    std::memcpy(&raw, data, sizeof raw);
    check_exact_text(raw);
  }
  return 0;
}
