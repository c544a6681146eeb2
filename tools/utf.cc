// Copyright the kvstore authors.
#include "utf.h"

#include <kvstore/kvstore.h>

namespace {

bool is_high_surrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool is_low_surrogate(char32_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

std::string utf16_to_utf8(std::u16string_view text) {
  return kv_utf16_to_utf8(text.data(), text.size());
}

std::string utf16_to_utf8(const char16_t* text) {
  return text == nullptr ? std::string() : utf16_to_utf8(std::u16string_view(text));
}

std::u16string utf8_to_utf16(std::string_view text) {
  return kv_utf8_to_utf16(text.data(), text.size());
}

bool utf16_is_well_formed(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (is_high_surrogate(text[i])) {
      if (i + 1 >= text.size() || !is_low_surrogate(text[i + 1])) return false;
      ++i;
    } else if (is_low_surrogate(text[i])) {
      return false;
    }
  }
  return true;
}
