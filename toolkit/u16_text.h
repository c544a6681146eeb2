// Copyright the kvstore authors.
//
// Small helpers for NUL-terminated UTF-16 text, shared by the whole library.
#ifndef KVSTORE_TOOLKIT_U16_TEXT_H_
#define KVSTORE_TOOLKIT_U16_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>

// Length of s in code units; 0 for null.
inline std::size_t u16_length(const char16_t* s) {
  if (s == nullptr) return 0;
  std::size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

// Length of s, counting at most limit units.
inline std::size_t u16_length_bounded(const char16_t* s, std::size_t limit) {
  if (s == nullptr) return 0;
  std::size_t n = 0;
  while (n < limit && s[n] != 0) ++n;
  return n;
}

// True when a and b hold the same text; null equals only null.
inline bool u16_equal(const char16_t* a, const char16_t* b) {
  if (a == nullptr || b == nullptr) return a == b;
  while (*a != 0 && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

// First occurrence of c in s, or null.
inline const char16_t* u16_find(const char16_t* s, char16_t c) {
  if (s == nullptr) return nullptr;
  for (; *s != 0; ++s) {
    if (*s == c) return s;
  }
  return nullptr;
}

// ASCII text widened unit by unit (for fixed texts and decimal numbers).
inline std::u16string u16_from_ascii(const char* s) {
  std::u16string out;
  if (s == nullptr) return out;
  for (; *s != 0; ++s) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*s)));
  return out;
}

// Writes value in decimal to out (room for at least 21 units); returns the
// number of units written, terminator not counted.
inline std::size_t u16_from_int(long long value, char16_t* out) {
  char16_t digits[24];
  std::size_t n = 0;
  unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                           : static_cast<unsigned long long>(value);
  do {
    digits[n++] = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  std::size_t written = 0;
  if (value < 0) out[written++] = u'-';
  while (n > 0) out[written++] = digits[--n];
  out[written] = 0;
  return written;
}

#endif  // KVSTORE_TOOLKIT_U16_TEXT_H_
