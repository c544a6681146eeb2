// Copyright the kvstore authors.
//
// The exported byte codecs. Each codec is built over a borrowed input block
// and an optional error handler; every operation fills (out, outSize) with a
// new buffer and returns whether it succeeded.
//
// Common contract of every codec operation:
//   - On success, out points to a buffer from the library's allocator that the
//     caller owns and releases with KV_Mem_Obj::operator delete; outSize is its
//     length as each operation states.
//   - On failure, the operation returns false with out null and outSize 0; no
//     buffer is left for the caller to release. The failure, a KV_Severe or
//     KV_Memory_Exception with the source "kv_compress", is handed to the
//     error handler (when there is one) by its severity; it never escapes the
//     call. std::bad_alloc from the allocator is not caught.
//   - The codec never changes or frees its input, which must stay valid while
//     an operation runs. One object may serve any number of calls, one at a
//     time; distinct objects share nothing.
#ifndef KVSTORE_KV_CODEC_H_
#define KVSTORE_KV_CODEC_H_

#include <cstdint>

#include "kvstore/export.h"
#include "kvstore/kv_mem_obj.h"

class GX_Error_Handler;
class KV_FreqTrie;

// KV_zlib_Codec: a block of bytes compressed by zlib (level 9, 15-bit window,
// zlib wrapper with its Adler-32 trailer), framed by a small header. All
// integers are 32-bit unsigned, little-endian, unaligned; the magic is the 11
// bytes "kvzlibcodec" without terminator.
//
// Plain block (encode / decode):
//   0   11  magic
//   11   4  N, the uncompressed size
//   15   4  Z, the compressed size
//   19   Z  the zlib stream
//
// Block with check value (encodeCRC / decodeCRC):
//   0   11  magic
//   11   4  Adler-32 of the Z compressed bytes (1 when Z is 0)
//   15   4  N, the uncompressed size
//   19   4  Z, the compressed size
//   23   Z  the zlib stream
//
// Nothing in a block tells its framing; the caller picks the matching decoder.
// The decoders find the block by its magic: the input may start with any text
// that holds no zero byte (a file's header line, say), and the search stops at
// the first zero byte or at the end of the input. Bytes after the Z compressed
// bytes are ignored. decodeCRC does not read the stored check value; the zlib
// stream's own trailer guards the data.
//
// Errors (KV_Severe, empty argument, unless noted):
//   92  no magic before the first zero byte or the end of the input
//   93  deflate could not be initialised
//   94  deflate did not finish in one call, or the input is too large to encode
//   95  deflateEnd failed
//   96  inflate could not be initialised
//   97  the block is malformed: its header does not fit in the input, Z runs
//       past the end of the input, N is larger than Z compressed bytes can
//       expand to, or the stream is corrupt, holds more or fewer than N bytes,
//       or fails its trailer check
//   98  inflateEnd failed
//   55  KV_Memory_Exception "zout" / "output": a buffer could not be obtained
//       (the allocator reports exhaustion with std::bad_alloc instead, which
//       propagates)
class KV_EXPORT KV_zlib_Codec : public KV_Mem_Obj {
 public:
  // Largest input that encode and encodeCRC accept (3,900,000,000 bytes): the
  // output estimate (size + 12) * 1.1 and the block built from it must fit in
  // 32 bits. A larger input fails with 94 before any byte is read.
  static constexpr uint32_t kMaxEncodeSize = 3900000000u;

  // Expansion limit of the decoders: a block whose N exceeds
  // Z * kMaxExpansion + kExpansionSlack fails with 97 before anything is
  // allocated. Deflate produces at most 258 bytes for 2 bits (1032 bytes per
  // compressed byte), so no genuine stream is refused, while a small hostile
  // block cannot make the decoder allocate gigabytes.
  static constexpr uint32_t kMaxExpansion = 1032;
  static constexpr uint32_t kExpansionSlack = 64;

  // data[0..size) is borrowed; handler (may be null) is borrowed and receives
  // the failures of every operation.
  KV_zlib_Codec(const unsigned char* data, uint32_t size, GX_Error_Handler* handler = nullptr);
  ~KV_zlib_Codec() override;

  // Compresses data[0..size) into a plain block of 19 + Z bytes; outSize is
  // the block length. An empty input gives a block of 27 bytes.
  // REQUIRES: size <= kMaxEncodeSize (94 otherwise).
  bool encode(unsigned char*& out, uint32_t& outSize);

  // As encode, into a block with check value of 23 + Z bytes (31 for an empty
  // input).
  bool encodeCRC(unsigned char*& out, uint32_t& outSize);

  // Restores the bytes of the plain block found in data. out holds N + 1
  // bytes, the last one zero, so the result is always NUL-terminated; outSize
  // is N (the terminator is not counted). The stream must produce exactly N
  // bytes: more or fewer fail with 97.
  bool decode(unsigned char*& out, uint32_t& outSize);

  // As decode, for a block with check value.
  bool decodeCRC(unsigned char*& out, uint32_t& outSize);

 private:
  const unsigned char* m_data;
  uint32_t m_size;
  GX_Error_Handler* m_handler;
};

// KV_Huffman_Codec: a block of bytes compressed with a static Huffman code
// of byte values. The block carries the count of every byte value; the
// decoder rebuilds the same code tree from the counts (the tie rules are
// fixed, see codecs/kv_freq_trie.h), so no code table is stored. All integers
// are 32-bit unsigned, little-endian, unaligned:
//
//   0      11   magic "kvhuffcodec", no terminator
//   11   1024   the count of byte value 0, of 1, ... of 255
//   1035    4   B, the number of code bits
//   1039    B / 8 + 1 (integer division): the code of every input byte in
//               order, first bit in the most significant bit of the first
//               byte; the bits after the B-th are zero (when B is a multiple
//               of 8 the last byte holds no code bit at all)
//
// A block is 1040 + B / 8 bytes. An empty input gives a block whose counts
// are all 0 and whose B is 0 (1040 bytes). An input of one distinct byte
// value has a tree of one leaf with an empty code: B is 0 and the count
// alone says how many bytes to restore.
//
// Errors (KV_Severe, empty argument, source "kv_compress"):
//   92  decode: the block does not begin with the magic (the magic is not
//       searched for), or is shorter than it
//   90  decode: the counts are all 0 but B is not
//   97  decode: the block is damaged: it is shorter than 1040 + B / 8 bytes,
//       its counts add up to 2^32 or more, B is not the number of bits that
//       the code of its counts takes, its bits do not decode to exactly as
//       many bytes as its counts add up to, or it is a run of one byte value
//       longer than kMaxRunLength
//   94  encode: the input needs more than 2^32 - 1 code bits, or it is a run
//       of one byte value longer than kMaxRunLength
//   91  a symbol received a second code (a broken tree; never expected)
//   55  KV_Memory_Exception "m_freq_table", "m_freq_trie", "output" (the
//       block) or "temp" (the restored bytes)
class KV_EXPORT KV_Huffman_Codec : public KV_Mem_Obj {
 public:
  // The longest run of a single byte value that a block may restore
  // (64 MiB). Such a block is always 1040 bytes long whatever the run's
  // length, so without a bound a small hostile block could make the decoder
  // allocate gigabytes; encode refuses longer runs, so every block that
  // encode writes decodes. Every other block restores at most B bytes, which
  // its own size bounds.
  static constexpr uint32_t kMaxRunLength = 64u << 20;

  // data[0..size) is borrowed; handler (may be null) is borrowed and receives
  // the failures of every operation. For decode, size bounds the block: no
  // byte at or after data + size is read.
  KV_Huffman_Codec(const unsigned char* data, uint32_t size, GX_Error_Handler* handler = nullptr);
  // Frees the table of counts and the code tree of the last operation.
  ~KV_Huffman_Codec() override;
  KV_Huffman_Codec(const KV_Huffman_Codec&) = delete;
  KV_Huffman_Codec& operator=(const KV_Huffman_Codec&) = delete;

  // Compresses data[0..size) into a block; outSize is the block's length.
  bool encode(unsigned char*& out, uint32_t& outSize);

  // Restores the bytes of the block at data. out holds outSize + 1 bytes, the
  // last one zero; outSize is the number of bytes restored (the sum of the
  // block's counts). A block of 256 bytes or more is decoded from its start
  // and its middle at once, through a scratch buffer as large as the result.
  bool decode(unsigned char*& out, uint32_t& outSize);

 private:
  const unsigned char* m_data;
  uint32_t m_size;
  uint32_t* m_freq_table;
  KV_FreqTrie* m_freq_trie;
  GX_Error_Handler* m_handler;
};

#endif  // KVSTORE_KV_CODEC_H_
