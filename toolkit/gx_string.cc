// Copyright the kvstore authors.
#include "kvstore/gx_string.h"

#include <cstdarg>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

#include "toolkit/u16_text.h"

GX_String::GX_String() : m_buffer(nullptr), m_field(-1) {}

GX_String::GX_String(const char16_t* text) : m_buffer(nullptr), m_field(-1) {
  assign(text, u16_length(text));
}

GX_String::GX_String(const GX_String& other) : m_buffer(nullptr), m_field(-1) {
  assign(other.m_buffer, other.length());
}

GX_String::GX_String(GX_String&& other) noexcept
    : m_buffer(other.m_buffer), m_field(other.m_field) {
  other.m_buffer = nullptr;
  other.m_field = -1;
}

GX_String& GX_String::operator=(const GX_String& other) {
  if (this != &other) copy(other);
  return *this;
}

GX_String& GX_String::operator=(GX_String&& other) noexcept {
  if (this != &other) {
    delete[] m_buffer;
    m_buffer = other.m_buffer;
    m_field = other.m_field;
    other.m_buffer = nullptr;
    other.m_field = -1;
  }
  return *this;
}

GX_String::~GX_String() {
  delete[] m_buffer;
}

void GX_String::assign(const char16_t* text, std::size_t length) {
  if (length > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    throw std::length_error("GX_String: text too long");
  }
  char16_t* fresh = nullptr;
  if (text != nullptr) {
    fresh = new char16_t[length + 1];
    if (length != 0) std::memcpy(fresh, text, length * sizeof(char16_t));
    fresh[length] = 0;
  }
  delete[] m_buffer;
  m_buffer = fresh;
  m_field = fresh != nullptr ? static_cast<int>(length) : -1;
}

void GX_String::copy(const char16_t* text) {
  if (text == m_buffer) return;
  assign(text, u16_length(text));
}

void GX_String::copy(const GX_String& other) {
  if (&other == this) return;
  assign(other.m_buffer, u16_length(other.m_buffer));
}

const char16_t* GX_String::c_str() const {
  return m_buffer != nullptr ? m_buffer : u"";
}

std::size_t GX_String::length() const {
  return m_buffer != nullptr ? static_cast<std::size_t>(m_field) : 0;
}

namespace {

void append_padded(std::u16string& out, const std::u16string& field, int width, bool left,
                   char16_t pad) {
  std::size_t fill = width > 0 && static_cast<std::size_t>(width) > field.size()
                         ? static_cast<std::size_t>(width) - field.size()
                         : 0;
  if (left) {
    out += field;
    out.append(fill, u' ');
  } else if (pad == u'0' && !field.empty() && field[0] == u'-') {
    out.push_back(u'-');
    out.append(fill, u'0');
    out.append(field, 1, std::u16string::npos);
  } else {
    out.append(fill, pad);
    out += field;
  }
}

std::u16string decimal(long long value) {
  char16_t digits[24];
  std::size_t n = u16_from_int(value, digits);
  return std::u16string(digits, n);
}

}  // namespace

int GX_String::Format(const char16_t* format, ...) {
  std::u16string out;
  va_list args;
  va_start(args, format);
  for (const char16_t* p = format; p != nullptr && *p != 0; ++p) {
    if (*p != u'%') {
      out.push_back(*p);
      continue;
    }
    ++p;
    if (*p == 0) break;
    if (*p == u'%') {
      out.push_back(u'%');
      continue;
    }
    bool left = false;
    char16_t pad = u' ';
    for (; *p == u'-' || *p == u'0'; ++p) {
      if (*p == u'-') left = true;
      if (*p == u'0') pad = u'0';
    }
    int width = 0;
    for (; *p >= u'0' && *p <= u'9'; ++p) width = width * 10 + (*p - u'0');
    bool is_long = false;
    for (; *p == u'l' || *p == u'h'; ++p) is_long = is_long || *p == u'l';
    switch (*p) {
      case u's': {
        const char16_t* s = va_arg(args, const char16_t*);
        append_padded(out, s != nullptr ? std::u16string(s) : std::u16string(u"(null)"), width,
                      left, u' ');
        break;
      }
      case u'd':
      case u'i':
        append_padded(out, decimal(is_long ? va_arg(args, long) : va_arg(args, int)), width, left,
                      pad);
        break;
      case u'u':
        append_padded(out,
                      decimal(is_long ? static_cast<long long>(va_arg(args, unsigned long))
                                      : static_cast<long long>(va_arg(args, unsigned))),
                      width, left, pad);
        break;
      case u'c':
        append_padded(out, std::u16string(1, static_cast<char16_t>(va_arg(args, int))), width, left,
                      u' ');
        break;
      case 0:
        --p;  // a lone "%" at the end: stop at the terminator
        break;
      default:
        out.push_back(u'%');
        out.push_back(*p);
        break;
    }
  }
  va_end(args);
  assign(out.c_str(), out.size());
  return static_cast<int>(out.size());
}

GX_String operator+(const GX_String& left, const char16_t* right) {
  std::u16string joined(left.c_str());
  if (right != nullptr) joined += right;
  return GX_String(joined.c_str());
}

GX_String operator+(const GX_String& left, const GX_String& right) {
  return left + right.c_str();
}
