// Copyright the kvstore authors.
//
// kv_hex_to_bin on the input up to its first zero byte, writing into a buffer
// of exactly length / 2 bytes (so that a write past it is caught). Upper-case
// hexadecimal text must come back from kv_bin_to_hex unchanged, and the raw
// input bytes must survive kv_bin_to_hex and kv_hex_to_bin.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_util.h"
#include "kvstore/kv_convert.h"

namespace {

bool is_upper_hex(const std::string& s) {
  for (char c : s) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string hex(reinterpret_cast<const char*>(data),
                        ::strnlen(reinterpret_cast<const char*>(data), size));
  const std::size_t n = hex.size() / 2;
  std::unique_ptr<unsigned char[]> bytes(new unsigned char[n == 0 ? 1 : n]);
  const bool ok = kv_hex_to_bin(hex.c_str(), bytes.get());
  FUZZ_CHECK(ok == (!hex.empty() && hex.size() % 2 == 0));
  if (ok && is_upper_hex(hex)) {
    std::unique_ptr<char[]> text(new char[2 * n + 1]);
    FUZZ_CHECK(kv_bin_to_hex(bytes.get(), text.get(), static_cast<int>(n)));
    FUZZ_CHECK(hex == text.get());
  }

  if (size > 0 && size < (1u << 20)) {
    std::unique_ptr<char[]> text(new char[2 * size + 1]);
    FUZZ_CHECK(kv_bin_to_hex(data, text.get(), static_cast<int>(size)));
    FUZZ_CHECK(std::strlen(text.get()) == 2 * size);
    std::unique_ptr<unsigned char[]> back(new unsigned char[size]);
    FUZZ_CHECK(kv_hex_to_bin(text.get(), back.get()));
    FUZZ_CHECK(std::memcmp(back.get(), data, size) == 0);
  }
  return 0;
}
