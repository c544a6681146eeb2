// Copyright the kvstore authors.
//
// Conversions between UTF-16 and the narrow encodings that files use: the
// process's ANSI code page (Windows-1252 unless a host selects another with
// kv_set_ansi_codepage) and UTF-8.
//
// Narrowing to the ANSI code page turns every character that it cannot
// represent into "?"; the bytes that Windows-1252 leaves undefined map to the
// code points of the same value and back. Decoding UTF-8 turns every invalid
// sequence into U+FFFD, and encoding it turns every unpaired surrogate into
// U+FFFD.
#ifndef KVSTORE_PLATFORM_CODEPAGE_H_
#define KVSTORE_PLATFORM_CODEPAGE_H_

#include <cstddef>
#include <string>

inline constexpr unsigned kCodepageWindows1252 = 1252;
inline constexpr unsigned kCodepageUtf8 = 65001;

// The process's ANSI code page.
unsigned kv_ansi_codepage();

// Decoding; the output is replaced (its capacity is reused).
void kv_ansi_to_u16(const char* data, std::size_t size, std::u16string& out);
void kv_utf8_to_u16(const char* data, std::size_t size, std::u16string& out);
// UTF-8 when utf8 is set, else the ANSI code page.
void kv_bytes_to_u16(const char* data, std::size_t size, bool utf8, std::u16string& out);

// Encoding; the output is replaced.
void kv_u16_to_ansi(const char16_t* text, std::size_t length, std::string& out);
void kv_u16_to_utf8(const char16_t* text, std::size_t length, std::string& out);
void kv_u16_to_bytes(const char16_t* text, std::size_t length, bool utf8, std::string& out);

// Conveniences for NUL-terminated text (null gives "").
std::u16string kv_ansi_to_u16(const char* text);
std::u16string kv_utf8_to_u16(const char* text);
std::string kv_u16_to_ansi(const char16_t* text);
std::string kv_u16_to_utf8(const char16_t* text);

// The number of bytes that the first max_chars characters of the
// NUL-terminated text take in the ANSI code page (fewer when the text ends
// first; the terminator is not counted).
std::size_t kv_ansi_prefix_bytes(const unsigned char* text, std::size_t max_chars);

#endif  // KVSTORE_PLATFORM_CODEPAGE_H_
