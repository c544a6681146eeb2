// Copyright the kvstore authors.
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#include "codecs/kv_codec_block.h"
#include "kvstore/gx_exception.h"
#include "kvstore/kv_codec.h"
#include "kvstore/kv_exceptions.h"
#include "toolkit/byte_order.h"
#include "tree/kv_alloc.h"
#include "tree/kv_report.h"
#include "tree/kv_revision.h"

namespace {

using kv_codec_block::allocate;
using kv_codec_block::Buffer;
using kv_codec_block::fail;
using kv_codec_block::kSource;

constexpr unsigned char kMagic[] = {'k', 'v', 'z', 'l', 'i', 'b', 'c', 'o', 'd', 'e', 'c'};
constexpr uint32_t kMagicSize = sizeof(kMagic);
constexpr uint32_t kPlainHeaderSize = kMagicSize + 8;
constexpr uint32_t kCheckHeaderSize = kMagicSize + 12;

// Adler-32 (RFC 1950). The sums are reduced every 5552 bytes, the longest run
// after which b cannot overflow 32 bits.
uint32_t adler32_of(const unsigned char* p, uint32_t n) {
  constexpr uint32_t kBase = 65521;
  uint32_t a = 1;
  uint32_t b = 0;
  while (n > 0) {
    uint32_t run = std::min<uint32_t>(n, 5552);
    n -= run;
    while (run-- > 0) {
      a += *p++;
      b += a;
    }
    a %= kBase;
    b %= kBase;
  }
  return b << 16 | a;
}

// Ends a zlib stream that a failure leaves open; the successful path ends it
// itself so that it can check the result.
class DeflateGuard {
 public:
  explicit DeflateGuard(z_stream* s) : m_stream(s) {}
  ~DeflateGuard() {
    if (m_stream != nullptr) deflateEnd(m_stream);
  }
  int end() { return deflateEnd(std::exchange(m_stream, nullptr)); }

 private:
  z_stream* m_stream;
};

class InflateGuard {
 public:
  explicit InflateGuard(z_stream* s) : m_stream(s) {}
  ~InflateGuard() {
    if (m_stream != nullptr) inflateEnd(m_stream);
  }
  int end() { return inflateEnd(std::exchange(m_stream, nullptr)); }

 private:
  z_stream* m_stream;
};

Buffer encode_block(const unsigned char* data, uint32_t size, bool with_check, uint32_t& outSize) {
  if (size > KV_zlib_Codec::kMaxEncodeSize) fail(94);

  z_stream stream{};
  if (deflateInit2(&stream, 9, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) fail(93);
  DeflateGuard guard(&stream);

  // The capacity estimate is computed in single precision and truncated; it
  // exceeds deflate's worst case at level 9 for every accepted size.
  const uint32_t estimate = static_cast<uint32_t>(static_cast<float>(size + 12) * 1.1f);
  Buffer work = allocate(estimate, u"zout");

  stream.next_in = const_cast<Bytef*>(data);
  stream.avail_in = size;
  stream.next_out = work.get();
  stream.avail_out = estimate;
  if (deflate(&stream, Z_FINISH) != Z_STREAM_END) fail(94);
  const uint32_t z = estimate - stream.avail_out;
  if (guard.end() != Z_OK) fail(95);

  const uint32_t header = with_check ? kCheckHeaderSize : kPlainHeaderSize;
  Buffer block = allocate(std::size_t{header} + z, u"output");
  unsigned char* p = block.get();
  std::memcpy(p, kMagic, kMagicSize);
  p += kMagicSize;
  if (with_check) {
    put_le32(p, adler32_of(work.get(), z));
    p += 4;
  }
  put_le32(p, size);
  put_le32(p + 4, z);
  if (z > 0) std::memcpy(p + 8, work.get(), z);
  outSize = header + z;
  return block;
}

// Offset of the first magic in data[0..size), searching only up to the first
// zero byte; throws 92 when there is none.
uint32_t find_magic(const unsigned char* data, uint32_t size) {
  const void* zero = size > 0 ? std::memchr(data, 0, size) : nullptr;
  const unsigned char* end =
      zero != nullptr ? static_cast<const unsigned char*>(zero) : data + size;
  const unsigned char* at = std::search(data, end, kMagic, kMagic + kMagicSize);
  if (at == end) fail(92);
  return static_cast<uint32_t>(at - data);
}

Buffer decode_block(const unsigned char* data, uint32_t size, bool with_check, uint32_t& outSize) {
  const uint32_t start = find_magic(data, size);
  const uint32_t header = with_check ? kCheckHeaderSize : kPlainHeaderSize;
  const uint32_t available = size - start;
  if (available < header) fail(97);
  const unsigned char* fields = data + start + header - 8;
  const uint32_t n = get_le32(fields);
  const uint32_t z = get_le32(fields + 4);
  if (z > available - header) fail(97);
  if (uint64_t{n} > uint64_t{z} * KV_zlib_Codec::kMaxExpansion + KV_zlib_Codec::kExpansionSlack) {
    fail(97);
  }

  Buffer result = allocate(std::size_t{n} + 1, u"output");
  result.get()[n] = 0;

  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) fail(96);
  InflateGuard guard(&stream);
  stream.next_in = const_cast<Bytef*>(data + start + header);
  stream.avail_in = z;
  stream.next_out = result.get();
  stream.avail_out = n;
  if (inflate(&stream, Z_FINISH) != Z_STREAM_END || stream.avail_out != 0) fail(97);
  if (guard.end() != Z_OK) fail(98);

  outSize = n;
  return result;
}

}  // namespace

KV_zlib_Codec::KV_zlib_Codec(const unsigned char* data, uint32_t size, GX_Error_Handler* handler)
    : m_data(data), m_size(size), m_handler(handler) {}

KV_zlib_Codec::~KV_zlib_Codec() = default;

bool KV_zlib_Codec::encode(unsigned char*& out, uint32_t& outSize) {
  return kv_codec_block::run(m_handler, out, outSize, [this](uint32_t& n) {
    return encode_block(m_data, m_size, false, n);
  });
}

bool KV_zlib_Codec::encodeCRC(unsigned char*& out, uint32_t& outSize) {
  return kv_codec_block::run(m_handler, out, outSize,
                             [this](uint32_t& n) { return encode_block(m_data, m_size, true, n); });
}

bool KV_zlib_Codec::decode(unsigned char*& out, uint32_t& outSize) {
  return kv_codec_block::run(m_handler, out, outSize, [this](uint32_t& n) {
    return decode_block(m_data, m_size, false, n);
  });
}

bool KV_zlib_Codec::decodeCRC(unsigned char*& out, uint32_t& outSize) {
  return kv_codec_block::run(m_handler, out, outSize,
                             [this](uint32_t& n) { return decode_block(m_data, m_size, true, n); });
}
