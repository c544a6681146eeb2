// Copyright the kvstore authors.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "kvstore/kv_codec.h"
#include "testutil/recording_handler.h"
#include "tree/kv_revision.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Operation = bool (KV_zlib_Codec::*)(unsigned char*&, uint32_t&);

struct Result {
  bool ok;
  Bytes bytes;  // outSize bytes, plus the terminator for a decoder
  bool out_null;
  uint32_t out_size;
};

Result call(Operation op, const Bytes& in, GX_Error_Handler* handler = nullptr,
            uint32_t size_override = 0) {
  KV_zlib_Codec codec(in.data(), size_override ? size_override : uint32_t(in.size()), handler);
  unsigned char* out = reinterpret_cast<unsigned char*>(1);
  uint32_t size = 12345;
  Result r{(codec.*op)(out, size), {}, out == nullptr, size};
  if (r.ok) {
    bool decoder = op == &KV_zlib_Codec::decode || op == &KV_zlib_Codec::decodeCRC;
    r.bytes.assign(out, out + size + (decoder ? 1 : 0));
  }
  KV_Mem_Obj::operator delete(r.ok ? out : nullptr);
  return r;
}

Bytes le32(uint32_t v) {
  return {Bytes::value_type(v), Bytes::value_type(v >> 8), Bytes::value_type(v >> 16),
          Bytes::value_type(v >> 24)};
}

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

Bytes text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

const Bytes kMagic = text("kvzlibcodec");

// A zlib stream made by zlib itself, not by the codec.
Bytes zlib_compress(const Bytes& in) {
  uLongf n = compressBound(in.size());
  Bytes out(n);
  EXPECT_EQ(compress2(out.data(), &n, in.data(), in.size(), 9), Z_OK);
  out.resize(n);
  return out;
}

Bytes plain_block(uint32_t n, uint32_t z, const Bytes& stream) {
  return cat({kMagic, le32(n), le32(z), stream});
}

Bytes check_block(uint32_t check, uint32_t n, uint32_t z, const Bytes& stream) {
  return cat({kMagic, le32(check), le32(n), le32(z), stream});
}

void expect_fails(Operation op, const Bytes& in, unsigned id, const char* what,
                  uint32_t size_override = 0) {
  RecordingHandler handler;
  Result r = call(op, in, &handler, size_override);
  EXPECT_FALSE(r.ok) << what;
  EXPECT_TRUE(r.out_null) << what;
  ASSERT_EQ(handler.reports.size(), 1u) << what;
  EXPECT_EQ(handler.reports[0].operation, "severe") << what;
  EXPECT_EQ(handler.reports[0].id, id) << what;
}

TEST(KvZlibCodec, EmptyInputGivesTheSmallestBlocks) {
  const Bytes empty_stream = {0x78, 0xDA, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};
  Result plain = call(&KV_zlib_Codec::encode, {});
  ASSERT_TRUE(plain.ok);
  EXPECT_EQ(plain.out_size, 27u);
  EXPECT_EQ(plain.bytes, plain_block(0, 8, empty_stream));

  Result checked = call(&KV_zlib_Codec::encodeCRC, {});
  ASSERT_TRUE(checked.ok);
  EXPECT_EQ(checked.out_size, 31u);
  EXPECT_EQ(checked.bytes, check_block(0x09D10157, 0, 8, empty_stream));

  for (auto [op, block] : {std::pair{&KV_zlib_Codec::decode, plain.bytes},
                           std::pair{&KV_zlib_Codec::decodeCRC, checked.bytes}}) {
    Result r = call(op, block);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.out_size, 0u);
    EXPECT_EQ(r.bytes, Bytes{0});
  }
}

TEST(KvZlibCodec, RoundTripsAndWritesStreamsThatZlibReads) {
  Bytes random(1 << 20);
  std::mt19937 gen(7);
  for (auto& b : random) b = static_cast<unsigned char>(gen());
  // Zeros compress about 1028:1, close to deflate's limit, so the decoders'
  // expansion bound must still let them through.
  const Bytes inputs[] = {text("a"), text("name=value\r\n"), random, Bytes(16 << 20, 0)};
  for (const Bytes& in : inputs) {
    SCOPED_TRACE(in.size());
    for (bool crc : {false, true}) {
      Result block = call(crc ? &KV_zlib_Codec::encodeCRC : &KV_zlib_Codec::encode, in);
      ASSERT_TRUE(block.ok);
      const size_t header = crc ? 23 : 19;
      const unsigned char* fields = block.bytes.data() + header - 8;
      ASSERT_EQ(Bytes(block.bytes.begin(), block.bytes.begin() + 11), kMagic);
      EXPECT_EQ(Bytes(fields, fields + 4), le32(uint32_t(in.size())));
      EXPECT_EQ(Bytes(fields + 4, fields + 8), le32(uint32_t(block.bytes.size() - header)));
      const unsigned char* stream = block.bytes.data() + header;
      const uLong z = block.bytes.size() - header;
      if (crc) {
        EXPECT_EQ(Bytes(fields - 4, fields), le32(uint32_t(adler32(1, stream, z))));
      }

      Bytes plain(in.size() + 1);
      uLongf n = plain.size();
      ASSERT_EQ(uncompress(plain.data(), &n, stream, z), Z_OK);
      plain.resize(n);
      EXPECT_TRUE(plain == in);

      Result back = call(crc ? &KV_zlib_Codec::decodeCRC : &KV_zlib_Codec::decode, block.bytes);
      ASSERT_TRUE(back.ok);
      EXPECT_EQ(back.out_size, in.size());
      EXPECT_EQ(back.bytes.back(), 0);
      back.bytes.pop_back();
      EXPECT_TRUE(back.bytes == in);
    }
  }
}

TEST(KvZlibCodec, FindsTheBlockBehindTextAndNowhereElse) {
  const Bytes body = text("media{\r\nsize=A4\r\n}\r\n");
  const Bytes stream = zlib_compress(body);
  const uint32_t z = uint32_t(stream.size());
  const Bytes line = text("PIAFILEVERSION_2.0,compress\r\n");
  const Bytes block = check_block(0, uint32_t(body.size()), z, stream);

  Result r = call(&KV_zlib_Codec::decodeCRC, cat({line, block}));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(Bytes(r.bytes.begin(), r.bytes.end() - 1), body);
  // Bytes after the stream are not part of the block.
  EXPECT_TRUE(call(&KV_zlib_Codec::decodeCRC, cat({block, text("tail")})).ok);

  expect_fails(&KV_zlib_Codec::decodeCRC, cat({line, Bytes{0}, block}), 92, "zero before magic");
  expect_fails(&KV_zlib_Codec::decode, line, 92, "no magic");
  expect_fails(&KV_zlib_Codec::decode, {}, 92, "empty input");
  // No zero byte ends this input: the search must stop at its end.
  expect_fails(&KV_zlib_Codec::decode, text("xkvzlibcode"), 92, "magic cut short");
  Bytes plain = plain_block(uint32_t(body.size()), z, stream);
  expect_fails(&KV_zlib_Codec::decode, Bytes(plain.begin(), plain.begin() + 18), 97,
               "plain header cut");
  expect_fails(&KV_zlib_Codec::decodeCRC, Bytes(block.begin(), block.begin() + 22), 97,
               "check header cut");
}

#if defined(__SANITIZE_ADDRESS__)
#define KV_TEST_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KV_TEST_UNDER_ASAN 1
#endif
#endif

// Caps the address space a little above what the process uses, so that an
// allocation of gigabytes would throw std::bad_alloc. Sanitizer builds reserve
// terabytes of shadow memory and run without the cap.
class AddressSpaceCap {
 public:
  AddressSpaceCap() {
#ifndef KV_TEST_UNDER_ASAN
    apply();
#endif
  }
  ~AddressSpaceCap() {
    if (m_applied) setrlimit(RLIMIT_AS, &m_saved);
  }

 private:
  void apply() {
    unsigned long pages = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr) return;
    bool read = std::fscanf(f, "%lu", &pages) == 1;
    std::fclose(f);
    if (!read || getrlimit(RLIMIT_AS, &m_saved) != 0) return;
    rlimit cap = m_saved;
    cap.rlim_cur = pages * 4096 + (512ul << 20);
    if (m_saved.rlim_max != RLIM_INFINITY && cap.rlim_cur > m_saved.rlim_max) return;
    m_applied = setrlimit(RLIMIT_AS, &cap) == 0;
  }
  rlimit m_saved{};
  bool m_applied = false;
};

TEST(KvZlibCodec, StoredSizesAreCheckedBeforeUse) {
  const Bytes body = text("pens{\r\ncount=8\r\n}\r\n");
  const Bytes stream = zlib_compress(body);
  const uint32_t n = uint32_t(body.size());
  const uint32_t z = uint32_t(stream.size());
  const Operation decode = &KV_zlib_Codec::decode;

  ASSERT_TRUE(call(decode, plain_block(n, z, stream)).ok);
  expect_fails(decode, plain_block(n - 1, z, stream), 97, "N too small");
  expect_fails(decode, plain_block(n + 1, z, stream), 97, "stream ends before N bytes");
  expect_fails(decode, plain_block(n, z + 1, stream), 97, "Z one past the input");
  expect_fails(decode, plain_block(n, 0xFFFFFFFF, stream), 97, "Z far past the input");
  expect_fails(decode, plain_block(n, z - 1, stream), 97, "stream cut");
  Bytes corrupt = stream;
  corrupt[corrupt.size() - 1] ^= 1;
  expect_fails(decode, plain_block(n, z, corrupt), 97, "trailer differs");

  AddressSpaceCap cap;
  expect_fails(decode, plain_block(0xFFFFFFFF, z, stream), 97, "N of 4 GiB");
  expect_fails(decode, plain_block(3000000000u, z, stream), 97, "N of 3 GB");
  expect_fails(&KV_zlib_Codec::decodeCRC, check_block(0, 0xFFFFFFFF, z, stream), 97,
               "N of 4 GiB, check framing");
}

TEST(KvZlibCodec, FramingsAreNotInterchangeableButTheCheckValueIsNotRead) {
  const Bytes in = text(std::string(1000, 'x') + "some text that is not all x");
  Result plain = call(&KV_zlib_Codec::encode, in);
  Result checked = call(&KV_zlib_Codec::encodeCRC, in);
  ASSERT_TRUE(plain.ok && checked.ok);
  expect_fails(&KV_zlib_Codec::decodeCRC, plain.bytes, 97, "plain read as checked");
  expect_fails(&KV_zlib_Codec::decode, checked.bytes, 97, "checked read as plain");

  Bytes altered = checked.bytes;
  altered[11] ^= 0xFF;
  altered[14] ^= 0x55;
  Result r = call(&KV_zlib_Codec::decodeCRC, altered);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(Bytes(r.bytes.begin(), r.bytes.end() - 1), in);
}

TEST(KvZlibCodec, FailuresGoToTheHandlerAndGiveFalse) {
  RecordingHandler handler;
  Result r = call(&KV_zlib_Codec::decode, text("no block here"), &handler);
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.out_null);
  EXPECT_EQ(r.out_size, 0u);
  ASSERT_EQ(handler.reports.size(), 1u);
  const RecordingHandler::Report& report = handler.reports[0];
  EXPECT_EQ(report.operation, "severe");
  EXPECT_EQ(report.id, 92u);
  EXPECT_EQ(report.source, u"kv_compress");
  EXPECT_EQ(report.argument, u"");  // given, and empty
  EXPECT_EQ(report.file, kRevKvCompress);

  // Sizes whose estimate would overflow 32 bits are refused before the input
  // is read (the codec is given a one-byte buffer).
  for (uint32_t size : {KV_zlib_Codec::kMaxEncodeSize + 1, 0xFFFFFFF4u, 0xFFFFFFFFu}) {
    expect_fails(&KV_zlib_Codec::encode, Bytes{1}, 94, "huge input", size);
    expect_fails(&KV_zlib_Codec::encodeCRC, Bytes{1}, 94, "huge input", size);
  }

  Result silent = call(&KV_zlib_Codec::decodeCRC, text("kvzlibcodec"));
  EXPECT_FALSE(silent.ok);
  EXPECT_TRUE(silent.out_null);
}

}  // namespace
