// Copyright the kvstore authors.
#include "platform/codepage.h"

#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "kvstore/kv_platform.h"

namespace {

// The process's ANSI code page. Hosts may select another while other threads
// convert text: each conversion reads it once and keeps to what it read.
std::atomic<unsigned> g_codepage{kCodepageWindows1252};

// Code points of the bytes 0x80 to 0x9F in Windows-1252; the five bytes that
// the code page leaves undefined map to themselves.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

int cp1252_byte(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == c) return 0x80 + i;
  }
  return -1;
}

std::string iconv_name(unsigned codepage) {
  return "CP" + std::to_string(codepage);
}

// Runs iconv over the whole input; returns false when the descriptor cannot
// be opened. Unconvertible input is replaced by `bad` (a byte sequence in the
// target encoding) and skipped by `skip` bytes.
bool run_iconv(const char* to, const char* from, const char* data, std::size_t size,
               std::string& out, const char* bad, std::size_t bad_size, std::size_t skip) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.clear();
  char* in = const_cast<char*>(data);
  std::size_t in_left = size;
  char buffer[1024];
  while (in_left > 0) {
    char* o = buffer;
    std::size_t o_left = sizeof(buffer);
    std::size_t r = iconv(cd, &in, &in_left, &o, &o_left);
    out.append(buffer, sizeof(buffer) - o_left);
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: an input unit that cannot be converted.
      out.append(bad, bad_size);
      std::size_t step = skip < in_left ? skip : in_left;
      in += step;
      in_left -= step;
    }
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  iconv_close(cd);
  return true;
}

void append_utf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void append_u16(std::u16string& out, uint32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// Length of the UTF-8 sequence that starts at s (at most `left` bytes) and
// its code point; 0 when the bytes do not form a valid sequence.
std::size_t decode_utf8(const unsigned char* s, std::size_t left, uint32_t& cp) {
  unsigned char b = s[0];
  if (b < 0x80) {
    cp = b;
    return 1;
  }
  std::size_t n;
  uint32_t min;
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
    cp = b & 0x1F;
    min = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
    cp = b & 0x0F;
    min = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
    cp = b & 0x07;
    min = 0x10000;
  } else {
    return 0;
  }
  if (left < n) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (s[i] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

bool is_high_surrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool is_low_surrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

bool kv_set_ansi_codepage(unsigned codepage) {
  if (codepage != kCodepageWindows1252 && codepage != kCodepageUtf8) {
    iconv_t cd = iconv_open("UTF-16LE", iconv_name(codepage).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    iconv_close(cd);
  }
  g_codepage.store(codepage, std::memory_order_relaxed);
  return true;
}

std::string kv_utf16_to_utf8(const char16_t* text, std::size_t length) {
  std::string out;
  if (text != nullptr) kv_u16_to_utf8(text, length, out);
  return out;
}

std::u16string kv_utf8_to_utf16(const char* text, std::size_t length) {
  std::u16string out;
  if (text != nullptr) kv_utf8_to_u16(text, length, out);
  return out;
}

unsigned kv_ansi_codepage() {
  return g_codepage.load(std::memory_order_relaxed);
}

void kv_utf8_to_u16(const char* data, std::size_t size, std::u16string& out) {
  out.clear();
  out.reserve(size);
  const auto* s = reinterpret_cast<const unsigned char*>(data);
  std::size_t i = 0;
  while (i < size) {
    if (s[i] < 0x80) {
      out.push_back(s[i++]);
      continue;
    }
    uint32_t cp = 0;
    std::size_t n = decode_utf8(s + i, size - i, cp);
    if (n == 0) {
      out.push_back(0xFFFD);
      ++i;
    } else {
      append_u16(out, cp);
      i += n;
    }
  }
}

void kv_u16_to_utf8(const char16_t* text, std::size_t length, std::string& out) {
  out.clear();
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    char16_t c = text[i];
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (is_high_surrogate(c) && i + 1 < length && is_low_surrogate(text[i + 1])) {
      append_utf8(out, 0x10000 + ((static_cast<uint32_t>(c) - 0xD800) << 10) +
                           (static_cast<uint32_t>(text[i + 1]) - 0xDC00));
      ++i;
    } else if (is_high_surrogate(c) || is_low_surrogate(c)) {
      append_utf8(out, 0xFFFD);
    } else {
      append_utf8(out, c);
    }
  }
}

void kv_ansi_to_u16(const char* data, std::size_t size, std::u16string& out) {
  const unsigned codepage = kv_ansi_codepage();
  if (codepage == kCodepageUtf8) return kv_utf8_to_u16(data, size, out);
  if (codepage == kCodepageWindows1252) {
    out.resize(size);
    for (std::size_t i = 0; i < size; ++i) {
      auto b = static_cast<unsigned char>(data[i]);
      out[i] = (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : b;
    }
    return;
  }
  std::string wide;
  const char replacement[2] = {'\xFD', '\xFF'};  // U+FFFD, little-endian
  if (!run_iconv("UTF-16LE", iconv_name(codepage).c_str(), data, size, wide, replacement, 2, 1)) {
    out.clear();
    return;
  }
  out.resize(wide.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(wide[2 * i]) |
                                   (static_cast<unsigned char>(wide[2 * i + 1]) << 8));
  }
}

void kv_u16_to_ansi(const char16_t* text, std::size_t length, std::string& out) {
  const unsigned codepage = kv_ansi_codepage();
  if (codepage == kCodepageUtf8) return kv_u16_to_utf8(text, length, out);
  if (codepage == kCodepageWindows1252) {
    out.clear();
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
      char16_t c = text[i];
      if (is_high_surrogate(c) && i + 1 < length && is_low_surrogate(text[i + 1])) ++i;
      int b = cp1252_byte(c);
      out.push_back(b < 0 ? '?' : static_cast<char>(b));
    }
    return;
  }
  std::string wide;
  wide.reserve(length * 2);
  for (std::size_t i = 0; i < length; ++i) {
    wide.push_back(static_cast<char>(text[i] & 0xFF));
    wide.push_back(static_cast<char>(text[i] >> 8));
  }
  if (!run_iconv(iconv_name(codepage).c_str(), "UTF-16LE", wide.data(), wide.size(), out, "?", 1,
                 2)) {
    out.clear();
  }
}

void kv_bytes_to_u16(const char* data, std::size_t size, bool utf8, std::u16string& out) {
  if (utf8) {
    kv_utf8_to_u16(data, size, out);
  } else {
    kv_ansi_to_u16(data, size, out);
  }
}

void kv_u16_to_bytes(const char16_t* text, std::size_t length, bool utf8, std::string& out) {
  if (utf8) {
    kv_u16_to_utf8(text, length, out);
  } else {
    kv_u16_to_ansi(text, length, out);
  }
}

namespace {
std::size_t u16_len(const char16_t* text) {
  std::size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}
}  // namespace

std::u16string kv_ansi_to_u16(const char* text) {
  std::u16string out;
  if (text != nullptr) kv_ansi_to_u16(text, std::strlen(text), out);
  return out;
}

std::u16string kv_utf8_to_u16(const char* text) {
  std::u16string out;
  if (text != nullptr) kv_utf8_to_u16(text, std::strlen(text), out);
  return out;
}

std::string kv_u16_to_ansi(const char16_t* text) {
  std::string out;
  if (text != nullptr) kv_u16_to_ansi(text, u16_len(text), out);
  return out;
}

std::string kv_u16_to_utf8(const char16_t* text) {
  std::string out;
  if (text != nullptr) kv_u16_to_utf8(text, u16_len(text), out);
  return out;
}

std::size_t kv_ansi_prefix_bytes(const unsigned char* text, std::size_t max_chars) {
  if (text == nullptr) return 0;
  const unsigned codepage = kv_ansi_codepage();
  std::size_t bytes = 0;
  std::size_t chars = 0;
  if (codepage == kCodepageWindows1252) {
    while (chars < max_chars && text[bytes] != 0) {
      ++bytes;
      ++chars;
    }
    return bytes;
  }
  if (codepage == kCodepageUtf8) {
    while (chars < max_chars && text[bytes] != 0) {
      // Count a valid sequence as one character and every stray byte as one.
      std::size_t left = 1;
      while (left < 4 && text[bytes + left - 1] != 0) ++left;
      uint32_t cp = 0;
      std::size_t n = decode_utf8(text + bytes, left, cp);
      bytes += n == 0 ? 1 : n;
      ++chars;
    }
    return bytes;
  }
  // Other code pages: measure each character by converting it alone.
  iconv_t cd = iconv_open("UTF-16LE", iconv_name(codepage).c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    while (chars < max_chars && text[bytes] != 0) ++bytes, ++chars;
    return bytes;
  }
  while (chars < max_chars && text[bytes] != 0) {
    std::size_t available = 0;
    while (available < 4 && text[bytes + available] != 0) ++available;
    // Room for one UTF-16 unit stops iconv after one character; a character
    // outside the BMP needs the room of a surrogate pair.
    std::size_t used = 0;
    for (std::size_t room = 2; room <= 4; room += 2) {
      char* in = reinterpret_cast<char*>(const_cast<unsigned char*>(text + bytes));
      std::size_t in_left = available;
      char16_t unit[2];
      char* o = reinterpret_cast<char*>(unit);
      std::size_t o_left = room;
      std::size_t r = iconv(cd, &in, &in_left, &o, &o_left);
      used = available - in_left;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (!(used == 0 && r == static_cast<std::size_t>(-1) && errno == E2BIG)) break;
    }
    bytes += used == 0 ? 1 : used;
    ++chars;
  }
  iconv_close(cd);
  return bytes;
}
