// Copyright the kvstore authors.
//
// Text conversions of values shared by the text formats and offered to hosts:
// the exact text of a double, the check-summed text of raw bytes, hexadecimal
// text of bytes and compound strings.
//
// The check-summed text of n bytes is the n bytes followed by their CRC-16
// (reflected polynomial 0xA001, initial register 0xC0C1, register written high
// byte first), written 3 bytes to 4 characters, 6 bits per character as the
// code 32 + value (blank to underscore). A double is written either as a short
// decimal ("5.0", "-0.75") or as its 11-significant-digit text followed by a
// blank and the check-summed text of its 8 little-endian bytes in parentheses:
// "0.30000000000 (-#,S,S,STS_8[P)".
//
// A compound string packs narrow strings s1 ... sn as the bytes s1 NUL s2 NUL
// ... sn NUL NUL, written as uppercase hexadecimal text, two digits a byte.
//
// Numbers are written and read the same way whatever the process locale is
// (the decimal point is always ".").
#ifndef KVSTORE_KV_CONVERT_H_
#define KVSTORE_KV_CONVERT_H_

#include "kvstore/export.h"
#include "kvstore/gx_string.h"

// Decodes the check-summed text of n bytes. Returns 1 and stores a new buffer
// holding the n bytes in *data and n in *size. Returns 0, leaving *data and
// *size unchanged, when text is null or has fewer than 3 characters, when its
// length leaves a remainder of 1 when divided by 4, when a character lies
// outside blank to underscore, when the check bytes do not match, or when no
// memory is left (either output pointer null is refused too). Bits of the
// last character that no byte uses are not checked.
// The buffer comes from the library's allocator (it has room for n + 4 bytes)
// and belongs to the caller, who releases it with KV_Mem_Obj::operator delete.
KV_EXPORT int stringtobinary(const char16_t* text, char** data, unsigned int* size);

// Reads a number written by the library or by hand. Returns 1 and stores the
// value, or 0 when the text is not a number (value unchanged). Accepted, in
// this order:
//  - the exact form "<decimal> (<check-summed 8 bytes>)": when the bytes verify
//    and the double they hold is written with "%#.11g" exactly as <decimal>,
//    the value is that double, bit for bit (NaN payloads included);
//  - a decimal or exponent number in the "C" locale's syntax (leading blanks,
//    sign, "inf", "nan" and hexadecimal forms included) spanning the whole
//    text, or, for a text of the exact form whose check-summed part does not
//    verify, spanning exactly <decimal>.
// Null text is refused.
KV_EXPORT int stringtodouble(const char16_t* text, double* value);

// Writes the size bytes at data as 2 * size uppercase hexadecimal digits and a
// NUL to hex (room for 2 * size + 1 characters). A negative size writes only
// the NUL. Returns false, writing nothing, when data or hex is null or size is
// 0; true otherwise.
KV_EXPORT bool kv_bin_to_hex(const void* data, char* hex, int size);

// Writes the bytes of the NUL-terminated hexadecimal text hex to data (room
// for strlen(hex) / 2 bytes; no terminator is written). Each pair hi, lo gives
// (16 * d(hi) + d(lo)) mod 256 with d(c) = c - 48 for character codes below 58
// and c - 55 otherwise: characters are not validated, so only 0-9 and A-F give
// meaningful bytes. Returns false, writing nothing, when either pointer is
// null or the text is empty or of odd length.
KV_EXPORT bool kv_hex_to_bin(const char* hex, void* data);

// Replaces compound with the compound text of the count strings of list.
// Returns false, leaving compound unchanged, when count is negative. Throws
// KV_Memory_Exception 55 (source "kvobj", argument "strlist[idx]") when list
// is null while count is positive, or when an entry is null; std::bad_alloc
// when no memory is left.
KV_EXPORT bool drc_compound_str_from_list(const char** list, int count, GX_String& compound);

// Replaces compound with the compound text of first and second, each written
// in UTF-8 inside. A null first or second is a null entry: KV_Memory_Exception
// 55 (source "kvobj", argument "strlist[idx]").
KV_EXPORT bool build_compound_str_ex(const char16_t* first, const char16_t* second,
                                     GX_String& compound);

// Reads the first two strings of a compound text (UTF-8 inside) into first
// and second; anything after the second string is ignored. Returns false,
// leaving first and second unchanged, when the text is empty or of odd length,
// when either string is empty, or when the decoded bytes end before the NUL of
// either string (nothing beyond the decoded bytes is read). Throws
// KV_Memory_Exception 55 (source "kvobj", argument "input") when compound is
// null or has 2^30 code units or more.
KV_EXPORT bool extract_compound_str_ex(const char16_t* compound, GX_String& first,
                                       GX_String& second);

#endif  // KVSTORE_KV_CONVERT_H_
