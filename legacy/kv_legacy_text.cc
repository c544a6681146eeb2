// Copyright the kvstore authors.
#include "legacy/kv_legacy_text.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <limits>

#include "kvstore/kv_exceptions.h"
#include "platform/codepage.h"
#include "platform/file_stream.h"
#include "platform/stream_check.h"

namespace {

bool is_space(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

bool is_digit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

int hex_value(char16_t c) {
  if (is_digit(c)) return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// A read error, as opposed to the end of the stream: the file buffer keeps
// the errno of a failed read while the stream itself only sees the end.
bool failed_by_error(const std::ios& stream) {
  if (stream.bad()) return true;
  const auto* file = dynamic_cast<const kv_file_buf*>(stream.rdbuf());
  return file != nullptr && file->last_error() != 0;
}

}  // namespace

bool kv_read_legacy_line(std::istream& in, std::u16string& line, const char16_t* source,
                         const char16_t* fileName, const char16_t* revision) {
  char buffer[kLegacyLineBytes + 1];
  buffer[0] = 0;
  errno = 0;
  in.getline(buffer, sizeof(buffer));
  const bool end = in.eof();
  // A stream that is still good has read its line; only an end or a failure
  // needs a closer look.
  if (!in.good() && (failed_by_error(in) || (in.fail() && !end))) {
    kv_throw_legacy_read_failure(in, source, fileName, revision);
  }
  std::size_t stored = static_cast<std::size_t>(in.gcount());
  if (!end && stored > 0) --stored;  // the line feed
  if (stored > kLegacyLineBytes) stored = kLegacyLineBytes;
  const std::size_t length = ::strnlen(buffer, stored);

  // ASCII is the same text in Windows-1252 and UTF-8: most lines need no
  // conversion.
  const unsigned codepage = kv_ansi_codepage();
  if (codepage == kCodepageWindows1252 || codepage == kCodepageUtf8) {
    line.resize(length);
    std::size_t i = 0;
    for (; i < length && static_cast<unsigned char>(buffer[i]) < 0x80; ++i) {
      line[i] = static_cast<char16_t>(buffer[i]);
    }
    if (i == length) return end;
  }
  kv_ansi_to_u16(buffer, length, line);
  return end;
}

void kv_throw_legacy_read_failure(const std::ios& stream, const char16_t* source,
                                  const char16_t* fileName, const char16_t* revision) {
  const int error = kv_stream_error(stream);
  if (error == ENOMEM) throw KV_Severe(64, source, nullptr, revision);
  if (error == EACCES) throw KV_Severe(61, source, fileName, revision);
  throw KV_Severe(66, source, fileName, revision);
}

std::u16string_view kv_trim_legacy_line(const std::u16string& line) {
  std::u16string_view text(line);
  if (!text.empty() && text.back() == u'\r') text.remove_suffix(1);
  std::size_t start = 0;
  while (start < text.size() && (text[start] == u' ' || text[start] == u'\t')) ++start;
  text.remove_prefix(start);
  std::size_t end = text.size();
  while (end > 0 && text[end - 1] == u' ') --end;
  return text.substr(0, end);
}

bool kv_iequal(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && kv_istarts_with(a, b);
}

bool kv_istarts_with(std::u16string_view text, std::u16string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (kv_ascii_lower(text[i]) != kv_ascii_lower(prefix[i])) return false;
  }
  return true;
}

bool kv_parse_legacy_int(std::u16string_view text, bool hex, int32_t& value) {
  std::size_t i = 0;
  while (i < text.size() && is_space(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  const int base = hex ? 16 : 10;
  if (hex && i + 2 < text.size() && text[i] == u'0' &&
      (text[i + 1] == u'x' || text[i + 1] == u'X') && hex_value(text[i + 2]) >= 0) {
    i += 2;
  }
  auto digit = [&](char16_t c) { return hex ? hex_value(c) : (is_digit(c) ? c - u'0' : -1); };
  if (i >= text.size() || digit(text[i]) < 0) return false;
  // Accumulated with a ceiling, so that any number of digits is read.
  const uint64_t ceiling = hex ? 0xFFFFFFFFull : 0x80000000ull;
  uint64_t magnitude = 0;
  for (; i < text.size() && digit(text[i]) >= 0; ++i) {
    magnitude = magnitude * base + static_cast<uint64_t>(digit(text[i]));
    if (magnitude > ceiling) magnitude = ceiling;
  }
  if (hex) {
    uint32_t bits = static_cast<uint32_t>(magnitude);
    if (negative) bits = 0u - bits;
    std::memcpy(&value, &bits, sizeof(value));
    return true;
  }
  int64_t signed_value =
      negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  if (signed_value > std::numeric_limits<int32_t>::max()) {
    signed_value = std::numeric_limits<int32_t>::max();
  }
  value = static_cast<int32_t>(signed_value);
  return true;
}

bool kv_parse_legacy_double(std::u16string_view text, double& value) {
  std::size_t i = 0;
  while (i < text.size() && is_space(text[i])) ++i;
  std::string number;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
    if (text[i] == u'-') number.push_back('-');
    ++i;
  }
  // Only the characters of a decimal number are handed on, so that the
  // conversion never sees "inf", "nan" or hexadecimal forms.
  bool digits = false;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool after_exponent = !number.empty() && (number.back() == 'e' || number.back() == 'E');
    if (is_digit(c)) {
      digits = true;
    } else if (c != u'.' && c != u'e' && c != u'E' &&
               !((c == u'-' || c == u'+') && after_exponent)) {
      break;
    }
    number.push_back(static_cast<char>(c));
  }
  if (!digits) return false;
  double parsed = 0;
  const char* begin = number.data();
  const char* end = begin + number.size();
  std::from_chars_result r = std::from_chars(begin, end, parsed, std::chars_format::general);
  if (r.ec != std::errc() || r.ptr == begin) return false;
  value = parsed;
  return true;
}
