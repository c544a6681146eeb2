// Copyright the kvstore authors.
//
// The library's own side of the value text conversions (the exported ones are
// in kvstore/kv_convert.h).
#ifndef KVSTORE_TREE_KV_CONVERT_H_
#define KVSTORE_TREE_KV_CONVERT_H_

#include <cstddef>
#include <cstdint>

#include "kvstore/kv_convert.h"

// Writes the exact text of value into out (at most 64 code units including
// the terminator): "%ld.%0*d" when value is a whole number of ten-thousandths
// not above 214748.3647 in magnitude ("5.0", "-0.75", "0.0001"), else
// "%#.11g (<check-summed bytes>)", or "%#.11g" alone when no memory is left.
// stringtodouble reads the text back bit for bit, but -0.0 reads as 0.0.
void doubletostring(double value, char16_t out[64]);

// The check-summed text of the n bytes at data: a new NUL-terminated buffer
// from kv_alloc (the caller frees it with kv_free), or null when no memory is
// left. 8 bytes give 14 characters.
char16_t* bytestostring(const void* data, std::size_t n);

// CRC-16 of n bytes: reflected polynomial 0xA001, register starting at
// 0xC0C1, no final XOR. The check bytes are its high byte, then its low byte.
uint16_t kv_crc16(const void* data, std::size_t n);

#endif  // KVSTORE_TREE_KV_CONVERT_H_
