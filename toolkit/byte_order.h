// Copyright the kvstore authors.
//
// Fixed-width integers at unaligned places of a byte buffer. Our file and
// block formats store them little-endian whatever the host's order; the
// Huffman codec's bit writer alone wants big-endian words.
#ifndef KVSTORE_TOOLKIT_BYTE_ORDER_H_
#define KVSTORE_TOOLKIT_BYTE_ORDER_H_

#include <cstdint>

inline uint16_t get_le16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

inline void put_le16(unsigned char* p, uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

inline void put_le32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

inline uint32_t get_le32(const unsigned char* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

inline void put_be32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

#endif  // KVSTORE_TOOLKIT_BYTE_ORDER_H_
