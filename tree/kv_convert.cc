// Copyright the kvstore authors.
#include "tree/kv_convert.h"

#include <locale.h>
#include <stdio.h>
#include <stdlib.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <new>
#include <string>

#include "kvstore/kv_exceptions.h"
#include "platform/codepage.h"
#include "toolkit/u16_text.h"
#include "tree/kv_alloc.h"
#include "tree/kv_revision.h"

// The exact text of a double carries its bytes in memory order, which the
// text formats fix as little-endian.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "doubles are written little-endian");

namespace {

constexpr const char16_t* kSource = u"kvobj";
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// The pair of tables of the reflected CRC-16 with polynomial 0xA001, one for
// the byte that lands in the register's high half and one for its low half.
struct CrcTables {
  unsigned char high[256];
  unsigned char low[256];
};

constexpr CrcTables make_crc_tables() {
  CrcTables t{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned r = i;
    for (int bit = 0; bit < 8; ++bit) r = (r & 1) != 0 ? (r >> 1) ^ 0xA001u : r >> 1;
    t.high[i] = static_cast<unsigned char>(r >> 8);
    t.low[i] = static_cast<unsigned char>(r & 0xFF);
  }
  return t;
}

constexpr CrcTables kCrc = make_crc_tables();

// Releases a kv_alloc buffer when leaving scope.
struct KvBuffer {
  explicit KvBuffer(void* p) : ptr(p) {}
  ~KvBuffer() { kv_free(ptr); }
  KvBuffer(const KvBuffer&) = delete;
  KvBuffer& operator=(const KvBuffer&) = delete;
  void* release() {
    void* p = ptr;
    ptr = nullptr;
    return p;
  }
  void* ptr;
};

// The "C" locale, so that numbers never take the process locale's decimal
// point. Null only when the C library cannot provide it.
locale_t c_locale() {
  static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return loc;
}

// Switches the calling thread to the "C" locale for the life of the scope.
class CLocaleScope {
 public:
  CLocaleScope() {
    const locale_t loc = c_locale();
    if (loc != static_cast<locale_t>(0)) m_previous = uselocale(loc);
  }
  ~CLocaleScope() {
    if (m_previous != static_cast<locale_t>(0)) uselocale(m_previous);
  }
  CLocaleScope(const CLocaleScope&) = delete;
  CLocaleScope& operator=(const CLocaleScope&) = delete;

 private:
  locale_t m_previous = static_cast<locale_t>(0);
};

// value with "%#.11g" into buf (size 64); returns the length of the text.
std::size_t format_g11(double value, char (&buf)[64]) {
  CLocaleScope scope;
  const int n = snprintf(buf, sizeof buf, "%#.11g", value);
  if (n < 0) {
    buf[0] = 0;
    return 0;
  }
  return static_cast<std::size_t>(n) < sizeof buf ? static_cast<std::size_t>(n) : sizeof buf - 1;
}

bool is_code_char(char16_t c) {
  return c >= 32 && c <= 95;
}

// floor(3 * length / 4) without overflow: the bytes that length characters
// of the check-summed text carry.
std::size_t decoded_size(std::size_t length) {
  const std::size_t rest = length % 4;
  return length / 4 * 3 + (rest == 0 ? 0 : rest - 1);
}

// Decodes the length characters at text into out (room for
// decoded_size(length) bytes) and verifies the two check bytes behind the
// data. The length must be at least 3 and not 1 more than a multiple of 4.
bool decode_checked(const char16_t* text, std::size_t length, unsigned char* out) {
  if (length < 3 || length % 4 == 1) return false;
  for (std::size_t i = 0; i < length; ++i) {
    if (!is_code_char(text[i])) return false;
  }
  const std::size_t total = decoded_size(length);
  std::size_t w = 0;
  for (std::size_t i = 0; i < length; i += 4) {
    const std::size_t left = length - i;
    const unsigned c0 = text[i] - 32u;
    const unsigned c1 = text[i + 1] - 32u;
    out[w++] = static_cast<unsigned char>(c0 << 2 | c1 >> 4);
    if (left >= 3) {
      const unsigned c2 = text[i + 2] - 32u;
      out[w++] = static_cast<unsigned char>((c1 & 0x0F) << 4 | c2 >> 2);
      if (left >= 4) {
        const unsigned c3 = text[i + 3] - 32u;
        out[w++] = static_cast<unsigned char>((c2 & 0x03) << 6 | c3);
      }
    }
  }
  if (w != total) return false;
  const std::size_t n = total - 2;
  const uint16_t crc = kv_crc16(out, n);
  return out[n] == (crc >> 8) && out[n + 1] == (crc & 0xFF);
}

// The short decimal form: an optional "-", then either up to 6 digits not
// starting with 0, or up to 11 characters with one "." and 1 to 4 fraction
// digits, the last not 0, worth a whole number of ten-thousandths.
bool read_short_decimal(const char16_t* t, std::size_t length, double* value) {
  std::size_t k = 0;
  const bool negative = t[0] == u'-';
  if (negative) k = 1;
  const std::size_t body = length - k;
  if (body == 0) return false;
  std::size_t dot = kNone;
  long long digits = 0;
  for (std::size_t i = k; i < length; ++i) {
    const char16_t c = t[i];
    if (c == u'.') {
      if (dot != kNone) return false;
      dot = i;
    } else if (c >= u'0' && c <= u'9') {
      digits = digits * 10 + (c - u'0');
      if (digits > INT_MAX) return false;
    } else {
      return false;
    }
  }
  double result;
  if (dot == kNone) {
    if (body > 6 || t[k] == u'0') return false;
    result = static_cast<double>(digits);
  } else {
    const std::size_t fraction = length - dot - 1;
    if (body > 11 || fraction < 1 || fraction > 4 || t[length - 1] == u'0') return false;
    static const long long kScale[] = {1000, 100, 10, 1};
    const long long scaled = digits * kScale[fraction - 1];
    if (scaled > INT_MAX) return false;
    result = static_cast<double>(scaled) / 10000.0;
    if (result * 10000.0 != static_cast<double>(scaled)) return false;
  }
  *value = negative ? -result : result;
  return true;
}

// A number in the "C" locale's syntax that spans exactly the first length
// characters of t.
bool read_general(const char16_t* t, std::size_t length, double* value) {
  std::string narrow;
  try {
    narrow.reserve(length);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (std::size_t i = 0; i < length; ++i) {
    // No character beyond ASCII belongs to a number.
    if (t[i] > 0x7F) return false;
    narrow.push_back(static_cast<char>(t[i]));
  }
  const char* begin = narrow.c_str();
  char* end = nullptr;
  const locale_t loc = c_locale();
  const double result =
      loc != static_cast<locale_t>(0) ? strtod_l(begin, &end, loc) : strtod(begin, &end);
  if (end == begin || static_cast<std::size_t>(end - begin) != length) return false;
  *value = result;
  return true;
}

// Appends the NUL-terminated ASCII text s to out at pos, never past 63.
void append_ascii(char16_t* out, std::size_t& pos, const char* s) {
  for (; *s != 0 && pos < 63; ++s)
    out[pos++] = static_cast<char16_t>(static_cast<unsigned char>(*s));
  out[pos] = 0;
}

void append_u16(char16_t* out, std::size_t& pos, const char16_t* s) {
  for (; *s != 0 && pos < 63; ++s) out[pos++] = *s;
  out[pos] = 0;
}

void write_hex(const unsigned char* bytes, std::size_t n, char* hex) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < n; ++i) {
    hex[2 * i] = kDigits[bytes[i] >> 4];
    hex[2 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
  hex[2 * n] = 0;
}

[[noreturn]] void throw_no_memory(const char16_t* what) {
  throw KV_Memory_Exception(55, kSource, what, kRevKvobj);
}

}  // namespace

uint16_t kv_crc16(const void* data, std::size_t n) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  unsigned high = 0xC0;
  unsigned low = 0xC1;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned index = (low ^ p[i]) & 0xFF;
    low = high ^ kCrc.low[index];
    high = kCrc.high[index];
  }
  return static_cast<uint16_t>(high << 8 | low);
}

char16_t* bytestostring(const void* data, std::size_t n) {
  if (n > static_cast<std::size_t>(-1) / 8) return nullptr;
  const std::size_t total = n + 2;
  const std::size_t chars = (4 * total + 2) / 3;
  char16_t* out;
  try {
    out = static_cast<char16_t*>(kv_alloc((chars + 1) * sizeof(char16_t)));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  const unsigned char* p = static_cast<const unsigned char*>(data);
  const uint16_t crc = kv_crc16(p, n);
  auto byte_at = [&](std::size_t k) -> unsigned {
    if (k < n) return p[k];
    return k == n ? static_cast<unsigned>(crc >> 8) : static_cast<unsigned>(crc & 0xFF);
  };
  std::size_t w = 0;
  for (std::size_t k = 0; k < total; k += 3) {
    const std::size_t left = total - k;
    const unsigned b0 = byte_at(k);
    const unsigned b1 = left >= 2 ? byte_at(k + 1) : 0;
    const unsigned b2 = left >= 3 ? byte_at(k + 2) : 0;
    out[w++] = static_cast<char16_t>(32 + (b0 >> 2));
    out[w++] = static_cast<char16_t>(32 + ((b0 & 0x03) << 4 | b1 >> 4));
    if (left >= 2) out[w++] = static_cast<char16_t>(32 + ((b1 & 0x0F) << 2 | b2 >> 6));
    if (left >= 3) out[w++] = static_cast<char16_t>(32 + (b2 & 0x3F));
  }
  out[w] = 0;
  return out;
}

void doubletostring(double value, char16_t out[64]) {
  std::size_t pos = 0;
  out[0] = 0;
  const double a = std::fabs(value);
  const double m = a * 10000.0;
  // Comparisons with NaN are false, so NaN never takes the short form.
  if (m <= 2147483647.0 && m / 10000.0 == a) {
    const int i = static_cast<int>(m);
    if (static_cast<double>(i) == m) {
      const int whole = i / 10000;
      int fraction = i % 10000;
      int digits = fraction != 0 ? 4 : 0;
      while (digits >= 1 && fraction % 10 == 0) {
        fraction /= 10;
        --digits;
      }
      if (value < 0) out[pos++] = u'-';
      pos += u16_from_int(whole, out + pos);
      out[pos++] = u'.';
      // "%0*d": fraction zero-padded to digits places; width 0 writes "0".
      if (digits == 0) {
        out[pos++] = u'0';
      } else {
        for (int d = digits - 1; d >= 0; --d) {
          out[pos + d] = static_cast<char16_t>(u'0' + fraction % 10);
          fraction /= 10;
        }
        pos += static_cast<std::size_t>(digits);
      }
      out[pos] = 0;
      return;
    }
  }
  char g11[64];
  format_g11(value, g11);
  append_ascii(out, pos, g11);
  char16_t* check = bytestostring(&value, sizeof value);
  if (check == nullptr) return;
  append_ascii(out, pos, " (");
  append_u16(out, pos, check);
  append_ascii(out, pos, ")");
  kv_free(check);
}

int stringtobinary(const char16_t* text, char** data, unsigned int* size) {
  if (text == nullptr || data == nullptr || size == nullptr) return 0;
  const std::size_t length = u16_length(text);
  if (length < 3 || length % 4 == 1 || !is_code_char(text[0])) return 0;
  const std::size_t n = decoded_size(length) - 2;
  if (n > UINT_MAX - 4u) return 0;
  void* buffer;
  try {
    buffer = kv_alloc(n + 4);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  KvBuffer owner(buffer);
  if (!decode_checked(text, length, static_cast<unsigned char*>(buffer))) return 0;
  *data = static_cast<char*>(owner.release());
  *size = static_cast<unsigned int>(n);
  return 1;
}

int stringtodouble(const char16_t* text, double* value) {
  if (text == nullptr || value == nullptr) return 0;
  const std::size_t length = u16_length(text);
  if (length == 0) return 0;

  // The exact form: "<decimal> (<14 characters>)". blank is the position of
  // the blank before the "(" whenever the text has that shape.
  std::size_t blank = kNone;
  if (length >= 18 && text[length - 1] == u')') {
    const char16_t* paren = u16_find(text, u'(');
    if (paren != nullptr && paren != text && paren[-1] == u' ' &&
        length - static_cast<std::size_t>(paren - text) == 16) {
      blank = static_cast<std::size_t>(paren - text) - 1;
      unsigned char bytes[10];
      if (decode_checked(paren + 1, 14, bytes)) {
        double candidate;
        std::memcpy(&candidate, bytes, sizeof candidate);
        char g11[64];
        const std::size_t n = format_g11(candidate, g11);
        bool same = n == blank;
        for (std::size_t i = 0; same && i < n; ++i) {
          same = text[i] == static_cast<char16_t>(static_cast<unsigned char>(g11[i]));
        }
        if (same) {
          // Copied as bytes, so that NaN payloads survive.
          std::memcpy(value, bytes, sizeof candidate);
          return 1;
        }
      }
    }
  }

  if (length < 13 && read_short_decimal(text, length, value)) return 1;

  // A number always ends at a blank, so with the exact form's shape it can
  // only span the decimal part, and otherwise it must span the whole text.
  return read_general(text, blank != kNone ? blank : length, value) ? 1 : 0;
}

bool kv_bin_to_hex(const void* data, char* hex, int size) {
  if (data == nullptr || hex == nullptr || size == 0) return false;
  if (size < 0) {
    hex[0] = 0;
    return true;
  }
  write_hex(static_cast<const unsigned char*>(data), static_cast<std::size_t>(size), hex);
  return true;
}

bool kv_hex_to_bin(const char* hex, void* data) {
  if (hex == nullptr || data == nullptr) return false;
  const std::size_t length = std::strlen(hex);
  if (length == 0 || length % 2 != 0) return false;
  auto digit = [](char c) {
    const int code = static_cast<unsigned char>(c);
    return code < 58 ? code - 48 : code - 55;
  };
  unsigned char* out = static_cast<unsigned char*>(data);
  for (std::size_t i = 0; i < length; i += 2) {
    out[i / 2] = static_cast<unsigned char>((16 * digit(hex[i]) + digit(hex[i + 1])) & 0xFF);
  }
  return true;
}

bool drc_compound_str_from_list(const char** list, int count, GX_String& compound) {
  if (count < 0) return false;
  std::size_t total = static_cast<std::size_t>(count) + 1;
  for (int idx = 0; idx < count; ++idx) {
    if (list == nullptr || list[idx] == nullptr) throw_no_memory(u"strlist[idx]");
    total += std::strlen(list[idx]);
    if (total > static_cast<std::size_t>(-1) / 8) throw std::bad_alloc();
  }
  KvBuffer packed(kv_alloc(total));
  unsigned char* p = static_cast<unsigned char*>(packed.ptr);
  std::size_t w = 0;
  for (int idx = 0; idx < count; ++idx) {
    const std::size_t n = std::strlen(list[idx]);
    std::memcpy(p + w, list[idx], n);
    w += n;
    p[w++] = 0;
  }
  p[w] = 0;

  KvBuffer text(kv_alloc(2 * total + 1));
  char* hex = static_cast<char*>(text.ptr);
  write_hex(p, total, hex);
  KvBuffer wide(kv_alloc((2 * total + 1) * sizeof(char16_t)));
  char16_t* u = static_cast<char16_t*>(wide.ptr);
  for (std::size_t i = 0; i <= 2 * total; ++i) u[i] = static_cast<char16_t>(hex[i]);
  compound.copy(u);
  return true;
}

bool build_compound_str_ex(const char16_t* first, const char16_t* second, GX_String& compound) {
  if (first == nullptr || second == nullptr) throw_no_memory(u"strlist[idx]");
  const std::string a = kv_u16_to_utf8(first);
  const std::string b = kv_u16_to_utf8(second);
  const char* list[2] = {a.c_str(), b.c_str()};
  return drc_compound_str_from_list(list, 2, compound);
}

bool extract_compound_str_ex(const char16_t* compound, GX_String& first, GX_String& second) {
  constexpr std::size_t kLimit = std::size_t{1} << 30;
  if (compound == nullptr) throw_no_memory(u"input");
  const std::size_t length = u16_length_bounded(compound, kLimit);
  if (length >= kLimit) throw_no_memory(u"input");
  std::string hex;
  kv_u16_to_ansi(compound, length, hex);

  const std::size_t n = hex.size() / 2;
  KvBuffer buffer(kv_alloc(n + 1));
  unsigned char* bytes = static_cast<unsigned char*>(buffer.ptr);
  if (!kv_hex_to_bin(hex.c_str(), bytes)) return false;
  bytes[n] = 0;

  // Both strings must end with their NUL inside the decoded bytes.
  const void* end1 = std::memchr(bytes, 0, n);
  if (end1 == nullptr || end1 == bytes) return false;
  const std::size_t len1 =
      static_cast<std::size_t>(static_cast<const unsigned char*>(end1) - bytes);
  const unsigned char* s2 = bytes + len1 + 1;
  const std::size_t rest = n - len1 - 1;
  const void* end2 = std::memchr(s2, 0, rest);
  if (end2 == nullptr || end2 == s2) return false;
  const std::size_t len2 = static_cast<std::size_t>(static_cast<const unsigned char*>(end2) - s2);

  std::u16string a;
  std::u16string b;
  kv_utf8_to_u16(reinterpret_cast<const char*>(bytes), len1, a);
  kv_utf8_to_u16(reinterpret_cast<const char*>(s2), len2, b);
  first.copy(a.c_str());
  second.copy(b.c_str());
  return true;
}
