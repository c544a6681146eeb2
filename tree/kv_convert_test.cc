// Copyright the kvstore authors.
#include "tree/kv_convert.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "kvstore/kv_exceptions.h"
#include "tree/kv_alloc.h"
#include "tree/kv_revision.h"

namespace {

std::u16string render(double v) {
  char16_t out[64];
  doubletostring(v, out);
  return out;
}

uint64_t bits(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

double from_bits(uint64_t b) {
  double v;
  std::memcpy(&v, &b, sizeof v);
  return v;
}

// The value that stringtodouble reads from text, or the marker 12345.0 when
// it refuses (the marker must then be left untouched).
double read(const std::u16string& text) {
  double v = 12345.0;
  if (stringtodouble(text.c_str(), &v) == 0) {
    EXPECT_EQ(v, 12345.0) << "value changed on refusal";
  }
  return v;
}

std::string bytes_of(const std::u16string& text, unsigned int* size) {
  char* data = nullptr;
  *size = 777;
  if (stringtobinary(text.c_str(), &data, size) == 0) {
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(*size, 777u);
    return "refused";
  }
  std::string out(data, *size);
  KV_Mem_Obj::operator delete(data);
  return out;
}

TEST(KvConvert, DoubleTexts) {
  EXPECT_EQ(render(5), u"5.0");
  EXPECT_EQ(render(0.1), u"0.1");
  EXPECT_EQ(render(-0.75), u"-0.75");
  EXPECT_EQ(render(-2.25), u"-2.25");
  EXPECT_EQ(render(0.05), u"0.05");
  EXPECT_EQ(render(0.0001), u"0.0001");
  EXPECT_EQ(render(0), u"0.0");
  EXPECT_EQ(render(214748.3647), u"214748.3647");
  // The neighbours of the largest short form take the long form.
  EXPECT_EQ(render(std::nextafter(214748.3647, 1e9)), u"214748.36470 (:-7GZN(V\"D$UD )");
  EXPECT_EQ(render(214748.3648).substr(0, 14), u"214748.36480 (");
  EXPECT_EQ(render(0.00005).substr(0, 18), u"5.0000000000e-05 (");
  EXPECT_EQ(render(3.5e5), u"350000.00000 (     ,!<%4$B/P)");
  EXPECT_EQ(render(from_bits(0x3FD3333333333334)), u"0.30000000000 (-#,S,S,STS_8[P)");
  EXPECT_EQ(render(std::numeric_limits<double>::infinity()), u"inf (        \\']P\" )");
  EXPECT_EQ(render(-std::numeric_limits<double>::infinity()), u"-inf (        \\/_0\"0)");
}

TEST(KvConvert, ReadsDoubleTexts) {
  EXPECT_EQ(bits(read(u"0.30000000000 (-#,S,S,STS_8[P)")), 0x3FD3333333333334u);
  // Altered check bytes, or a decimal part that does not match the bytes:
  // the decimal part is read.
  EXPECT_EQ(read(u"0.30000000000 (-#,S,S,STS_8\\P)"), 0.3);
  EXPECT_EQ(read(u"0.3 (-#,S,S,STS_8[P)"), 0.3);
  EXPECT_EQ(read(u"0.3  (-#,S,S,STS_8[P)"), 12345.0);
  EXPECT_EQ(read(u"0.3 (-#,S,S,STS_8[P"), 12345.0);
  EXPECT_EQ(read(u"1.5 (abc)"), 12345.0);

  EXPECT_EQ(read(u"0"), 0.0);
  EXPECT_EQ(read(u"007"), 7.0);
  EXPECT_EQ(read(u"1e3"), 1000.0);
  EXPECT_EQ(read(u"2.50"), 2.5);
  EXPECT_EQ(read(u"-12.5"), -12.5);
  EXPECT_EQ(read(u"214748.3647"), 214748.3647);
  EXPECT_EQ(read(u"-214748.3647"), -214748.3647);
  EXPECT_EQ(read(u"9999999.999"), 9999999.999);
  EXPECT_EQ(read(u" 5"), 5.0);
  EXPECT_TRUE(std::signbit(read(u"-0")));
  EXPECT_EQ(read(u"1.5x"), 12345.0);
  EXPECT_EQ(read(u""), 12345.0);
  EXPECT_EQ(read(u"-"), 12345.0);
  EXPECT_EQ(read(u"5 "), 12345.0);
  EXPECT_EQ(read(u"1\u00B2"), 12345.0);
  EXPECT_EQ(stringtodouble(nullptr, nullptr), 0);

  // A number far longer than any work buffer.
  EXPECT_EQ(read(u"1" + std::u16string(5000, u'0') + u"e-5000"), 1.0);
  EXPECT_EQ(read(u"1." + std::u16string(5000, u'0') + u" (-#,S,S,STS_8[P)"), 1.0);
}

// Numbers never take the decimal comma of the process locale.
TEST(KvConvert, IgnoresProcessLocale) {
  const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"};
  const char* chosen = nullptr;
  for (const char* name : names) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      chosen = name;
      break;
    }
  }
  if (chosen == nullptr) GTEST_SKIP() << "no locale with a decimal comma installed";
  const std::u16string text = render(3.5e5);
  const double back = read(u"0.30000000000 (-#,S,S,STS_8\\P)");
  const double general = read(u"2.50");
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(text, u"350000.00000 (     ,!<%4$B/P)");
  EXPECT_EQ(back, 0.3);
  EXPECT_EQ(general, 2.5);
}

TEST(KvConvert, CheckSummedBytes) {
  const unsigned char three[] = {1, 2, 3};
  char16_t* text = bytestostring(three, 3);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::u16string(text), u" 0(#71$");
  kv_free(text);
  text = bytestostring(three, 0);
  EXPECT_EQ(std::u16string(text), u"P,$");
  kv_free(text);

  unsigned int size = 0;
  EXPECT_EQ(bytes_of(u" 0(#71$", &size), std::string("\x01\x02\x03"));
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(bytes_of(u"P,$", &size), "");
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(bytes_of(u"-#,S,S,STS_8[P", &size), std::string("\x34\x33\x33\x33\x33\x33\xD3\x3F"));

  EXPECT_EQ(bytes_of(u"P,", &size), "refused");
  EXPECT_EQ(bytes_of(u"P,$  ", &size), "refused");          // 5
  EXPECT_EQ(bytes_of(u"P,$      ", &size), "refused");      // 9
  EXPECT_EQ(bytes_of(u"P,$          ", &size), "refused");  // 13
  EXPECT_EQ(bytes_of(u"\x1f,$", &size), "refused");
  EXPECT_EQ(bytes_of(u"`,$", &size), "refused");
  EXPECT_EQ(bytes_of(u" 0(#7`$", &size), "refused");
  EXPECT_EQ(bytes_of(u" 0(#72$", &size), "refused");
  EXPECT_EQ(bytes_of(u"P-$", &size), "refused");
  EXPECT_EQ(stringtobinary(nullptr, nullptr, nullptr), 0);
}

TEST(KvConvert, HexText) {
  const unsigned char bytes[] = {0x00, 0xAB};
  char hex[8];
  std::memset(hex, 'x', sizeof hex);
  EXPECT_TRUE(kv_bin_to_hex(bytes, hex, 2));
  EXPECT_STREQ(hex, "00AB");
  EXPECT_FALSE(kv_bin_to_hex(bytes, hex, 0));
  EXPECT_FALSE(kv_bin_to_hex(nullptr, hex, 2));
  EXPECT_TRUE(kv_bin_to_hex(bytes, hex, -3));
  EXPECT_STREQ(hex, "");

  unsigned char out[4] = {0x55, 0x55, 0x55, 0x55};
  EXPECT_TRUE(kv_hex_to_bin("00AB", out));
  EXPECT_EQ(out[0], 0x00);
  EXPECT_EQ(out[1], 0xAB);
  EXPECT_EQ(out[2], 0x55);  // no terminator
  EXPECT_TRUE(kv_hex_to_bin("00ab", out));
  EXPECT_EQ(out[1], (16 * 42 + 43) % 256);
  out[0] = 0x55;
  EXPECT_FALSE(kv_hex_to_bin("0AB", out));
  EXPECT_FALSE(kv_hex_to_bin("", out));
  EXPECT_FALSE(kv_hex_to_bin(nullptr, out));
  EXPECT_EQ(out[0], 0x55);
}

TEST(KvConvert, CompoundStrings) {
  GX_String compound;
  const char* list[] = {"ab", "c"};
  EXPECT_TRUE(drc_compound_str_from_list(list, 2, compound));
  EXPECT_EQ(std::u16string(compound.c_str()), u"616200630000");
  EXPECT_TRUE(drc_compound_str_from_list(list, 0, compound));
  EXPECT_EQ(std::u16string(compound.c_str()), u"00");
  EXPECT_TRUE(build_compound_str_ex(u"\u00e9", u"x", compound));
  EXPECT_EQ(std::u16string(compound.c_str()), u"C3A900780000");

  GX_String first(u"keep1");
  GX_String second(u"keep2");
  EXPECT_TRUE(extract_compound_str_ex(u"C3A900780000", first, second));
  EXPECT_EQ(std::u16string(first.c_str()), u"\u00e9");
  EXPECT_EQ(std::u16string(second.c_str()), u"x");
  EXPECT_TRUE(extract_compound_str_ex(u"616200630000", first, second));
  EXPECT_EQ(std::u16string(first.c_str()), u"ab");
  EXPECT_EQ(std::u16string(second.c_str()), u"c");
  EXPECT_TRUE(extract_compound_str_ex(u"61006200FFFF", first, second));
  EXPECT_EQ(std::u16string(second.c_str()), u"b");

  // Refusals leave both outputs as they were.
  const char16_t* bad[] = {u"00630000", u"61000000", u"6162", u"61620063", u"616", u""};
  for (int i = 0; i < 6; ++i) {
    EXPECT_FALSE(extract_compound_str_ex(bad[i], first, second)) << "case " << i;
    EXPECT_EQ(std::u16string(first.c_str()), u"a");
    EXPECT_EQ(std::u16string(second.c_str()), u"b");
  }
}

TEST(KvConvert, CompoundStringFailuresThrow) {
  auto argument_of = [](auto&& f) -> std::u16string {
    try {
      f();
    } catch (const KV_Memory_Exception& e) {
      EXPECT_EQ(e.id(), 55u);
      EXPECT_EQ(std::u16string(e.source()), u"kvobj");
      EXPECT_EQ(std::u16string(e.file()), kRevKvobj);
      return e.argument();
    }
    return u"no throw";
  };
  GX_String a(u"kept");
  GX_String b;
  const char* list[] = {"ab", nullptr};
  EXPECT_EQ(argument_of([&] { drc_compound_str_from_list(list, 2, a); }), u"strlist[idx]");
  EXPECT_EQ(argument_of([&] { build_compound_str_ex(u"x", nullptr, a); }), u"strlist[idx]");
  EXPECT_EQ(argument_of([&] { extract_compound_str_ex(nullptr, a, b); }), u"input");
  EXPECT_EQ(std::u16string(a.c_str()), u"kept");
}

// A double of the given kind (0 to 7) made from the random bits r.
uint64_t sample(int kind, uint64_t r) {
  const uint64_t sign_mantissa = r & ((uint64_t{1} << 63) | ((uint64_t{1} << 52) - 1));
  const uint64_t negative = r >> 63;
  switch (kind) {
    case 1:  // subnormal or zero
      return sign_mantissa;
    case 2:  // infinity or NaN with any payload, quiet or signalling
      return sign_mantissa | (uint64_t{0x7FF} << 52);
    case 3:  // huge
      return sign_mantissa | (uint64_t{0x7FE} << 52);
    case 4:  // the smallest normal binade
      return sign_mantissa | (uint64_t{1} << 52);
    case 5:  // ten-thousandths on both sides of the short form's limit
      return bits(static_cast<double>(r % 4294967296u) / 10000.0 * (negative ? -1 : 1));
    case 6:  // whole numbers up to 2^52
      return bits(static_cast<double>(static_cast<int64_t>(r >> 11) - (int64_t{1} << 52)));
    case 7:  // around 1
      return sign_mantissa | ((r % 80 + 983) << 52);
    default:  // any pattern
      return r;
  }
}

// Every double reads back bit for bit from its text, but -0.0 reads as 0.0.
TEST(KvConvert, DoublesRoundTrip) {
  const uint64_t kNegativeZero = uint64_t{1} << 63;
  std::vector<uint64_t> values = {0,
                                  kNegativeZero,
                                  0x7FF0000000000000,  // +inf
                                  0xFFF0000000000000,  // -inf
                                  0x7FF8000000000000,  // quiet NaN
                                  0xFFF8000000000000,  // negative quiet NaN
                                  0x7FF0000000000001,  // signalling NaN
                                  0x7FEFFFFFFFFFFFFF,  // largest
                                  0x0000000000000001,  // smallest subnormal
                                  0x000FFFFFFFFFFFFF,  // largest subnormal
                                  bits(214748.3647),
                                  bits(-214748.3647)};
  std::mt19937_64 rng(20240611);
  for (int i = 0; i < 200000; ++i) values.push_back(sample(i % 8, rng()));

  int failures = 0;
  for (const uint64_t b : values) {
    const std::u16string text = render(from_bits(b));
    double back = 0;
    const uint64_t want = b == kNegativeZero ? 0 : b;
    if (stringtodouble(text.c_str(), &back) != 1 || bits(back) != want) {
      ADD_FAILURE() << "bits " << std::hex << b << " read back as " << bits(back);
      if (++failures == 10) break;
    }
  }
  EXPECT_EQ(render(from_bits(0x7FF0000000000001)).substr(0, 5), u"nan (");
  EXPECT_EQ(render(from_bits(0xFFF8000000000123)).substr(0, 6), u"-nan (");
  EXPECT_EQ(render(-0.0), u"0.0");
}

}  // namespace
