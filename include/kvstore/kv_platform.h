// Copyright the kvstore authors.
//
// Process-wide settings of the library's platform layer.
#ifndef KVSTORE_KV_PLATFORM_H_
#define KVSTORE_KV_PLATFORM_H_

#include <cstddef>
#include <string>

#include "kvstore/export.h"

// Selects the "ANSI" code page in which the library reads and writes narrow
// text (PIA files without the UTF-8 flag, narrow string values): 1252
// (Windows-1252, the default, built in), 65001 (UTF-8), or any other number
// that the C library's iconv knows as "CP<number>". Returns false, and
// changes nothing, for a code page that cannot be served. Safe to call
// while other threads use the library: each conversion of a text uses the
// code page in force when it began (a load or save that runs meanwhile may
// convert some of its lines in the old code page and some in the new one).
KV_EXPORT bool kv_set_ansi_codepage(unsigned codepage);

// UTF-16 text as UTF-8, for hosts that print or store the library's texts.
// An unpaired surrogate becomes U+FFFD.
KV_EXPORT std::string kv_utf16_to_utf8(const char16_t* text, std::size_t length);

// UTF-8 text as UTF-16. Every byte that does not begin a well-formed
// sequence (overlong forms, surrogates and values above U+10FFFF included)
// becomes U+FFFD.
KV_EXPORT std::u16string kv_utf8_to_utf16(const char* text, std::size_t length);

#endif  // KVSTORE_KV_PLATFORM_H_
