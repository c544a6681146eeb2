// Copyright the kvstore authors.
//
// The text handling that the readers of older plotter configuration files
// (PC2, CFG, PCP) share: lines of at most 1023 bytes in the ANSI code page,
// the failure of such a read, case-blind comparison of ASCII letters and the
// number forms of those files.
//
// "Ignoring case" folds the ASCII letters A-Z and a-z only; other characters
// compare as they are.
#ifndef KVSTORE_LEGACY_KV_LEGACY_TEXT_H_
#define KVSTORE_LEGACY_KV_LEGACY_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <ios>
#include <istream>
#include <string>
#include <string_view>

// The longest line, in bytes, that the readers take (without its line feed).
inline constexpr std::size_t kLegacyLineBytes = 1023;
// The longest section name, key and table key, in code units.
inline constexpr std::size_t kLegacyNameUnits = 511;
// The property path buffer of the readers: a path must stay below it.
inline constexpr std::size_t kLegacyPathUnits = 1024;

// Reads one line from in: bytes up to a line feed (consumed, not kept) or the
// end of the stream, cut at its first zero byte, converted from the ANSI code
// page into line. Returns true when the read reached the end of the stream
// (the line is then the last one, possibly empty). Throws the read failure
// below when the stream fails or loses data without reaching its end; a line
// of more than 1023 bytes does this.
bool kv_read_legacy_line(std::istream& in, std::u16string& line, const char16_t* source,
                         const char16_t* fileName, const char16_t* revision);

// Throws KV_Severe for a failed read of stream, with source and revision (static
// texts): 64 without argument when the system error of the stream is ENOMEM,
// 61 with fileName when it is EACCES, else 66 with fileName.
[[noreturn]] void kv_throw_legacy_read_failure(const std::ios& stream, const char16_t* source,
                                               const char16_t* fileName, const char16_t* revision);

// Removes one trailing carriage return, the leading blanks and tabs and the
// trailing blanks. Returns the rest (a view into line).
std::u16string_view kv_trim_legacy_line(const std::u16string& line);

inline char16_t kv_ascii_lower(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}
bool kv_iequal(std::u16string_view a, std::u16string_view b);
bool kv_istarts_with(std::u16string_view text, std::u16string_view prefix);

// Reads a number like the C library's strtol: leading white space, an
// optional sign, then decimal digits (hexadecimal digits after an optional
// "0x" or "0X" when hex is set) up to the first character that cannot
// continue it. Returns false when no digit follows. A decimal value beyond 32
// bits saturates at the nearest limit; a hexadecimal value is taken as the
// bits of an unsigned 32-bit number (FFFFFFFF is -1, larger values saturate
// at FFFFFFFF), negated in 32 bits after a "-".
bool kv_parse_legacy_int(std::u16string_view text, bool hex, int32_t& value);

// Reads the longest prefix of text (after white space and an optional sign)
// that is a finite decimal number with an optional fraction and exponent.
// Returns false when there is none, or when its value is beyond the range of
// a double.
bool kv_parse_legacy_double(std::u16string_view text, double& value);

#endif  // KVSTORE_LEGACY_KV_LEGACY_TEXT_H_
