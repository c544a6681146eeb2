// Copyright the kvstore authors.
//
// GX_String: the toolkit's value class for one NUL-terminated UTF-16 string.
#ifndef KVSTORE_GX_STRING_H_
#define KVSTORE_GX_STRING_H_

#include <cstddef>

#include "kvstore/export.h"

class KV_EXPORT GX_String {
 public:
  // An empty string: no buffer, c_str() gives "".
  GX_String();
  // A copy of text; null is accepted and gives an empty string.
  GX_String(const char16_t* text);  // NOLINT(runtime/explicit): value class
  GX_String(const GX_String& other);
  GX_String(GX_String&& other) noexcept;
  GX_String& operator=(const GX_String& other);
  GX_String& operator=(GX_String&& other) noexcept;
  virtual ~GX_String();

  // Replaces the text with a copy of text (null gives an empty string).
  void copy(const char16_t* text);
  void copy(const GX_String& other);

  // printf-style formatting into this string. Supported conversions: %ls and
  // %s (const char16_t*), %d and %i (int), %u (unsigned), %ld (long), %c
  // (a UTF-16 unit passed as int) and %%; a field width and the flags "-" and
  // "0" are honoured. Returns the number of code units written.
  int Format(const char16_t* format, ...);

  // Never null: the text, or "" when there is no buffer.
  const char16_t* c_str() const;
  // Number of code units before the terminator.
  std::size_t length() const;
  bool empty() const { return length() == 0; }

  // The buffer pointer itself; null when the string holds no buffer.
  const char16_t* buffer() const { return m_buffer; }

 private:
  void assign(const char16_t* text, std::size_t length);

  char16_t* m_buffer;
  int m_field;  // the length of the text in the buffer; -1 when there is none
};

KV_EXPORT GX_String operator+(const GX_String& left, const char16_t* right);
KV_EXPORT GX_String operator+(const GX_String& left, const GX_String& right);

#endif  // KVSTORE_GX_STRING_H_
