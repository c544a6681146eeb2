// Copyright the kvstore authors.
//
// UTF-8 <-> UTF-16 conversion for kvtool: the library speaks UTF-16, the
// command line, the terminal and JSON speak UTF-8.
#ifndef KVSTORE_TOOLS_UTF_H_
#define KVSTORE_TOOLS_UTF_H_

#include <string>
#include <string_view>

// UTF-16 text as UTF-8. An unpaired surrogate becomes U+FFFD.
std::string utf16_to_utf8(std::u16string_view text);

// A NUL-terminated UTF-16 text as UTF-8; null gives the empty text.
std::string utf16_to_utf8(const char16_t* text);

// UTF-8 text as UTF-16. Every byte that does not start a well-formed UTF-8
// sequence (overlong forms, surrogates and values above U+10FFFF included)
// becomes U+FFFD.
std::u16string utf8_to_utf16(std::string_view text);

// True when text holds no unpaired surrogate.
bool utf16_is_well_formed(std::u16string_view text);

#endif  // KVSTORE_TOOLS_UTF_H_
