// Copyright the kvstore authors.
#include "kvstore/gx_exception.h"

#include <cstdio>
#include <cstring>

#include "toolkit/u16_text.h"

namespace {

char16_t* duplicate_text(const char16_t* text) {
  if (text == nullptr) return nullptr;
  std::size_t n = u16_length(text);
  char16_t* copy = new char16_t[n + 1];
  std::memcpy(copy, text, (n + 1) * sizeof(char16_t));
  return copy;
}

// Appends text to out (capacity cap, always terminated), ASCII only.
void append_ascii(char* out, std::size_t cap, const char16_t* text) {
  std::size_t used = std::strlen(out);
  for (; text != nullptr && *text != 0 && used + 1 < cap; ++text) {
    char16_t c = *text;
    out[used++] = (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  }
  out[used] = 0;
}

}  // namespace

GX_Exception::GX_Exception(uint64_t module, unsigned id, const char16_t* source,
                           const char16_t* argument, const char16_t* file, int arg_count,
                           const uint64_t* args)
    : m_module(module),
      m_id(id),
      m_arg_count(0),
      m_source(source),
      m_argument(nullptr),
      m_file(file),
      m_args(nullptr),
      m_owns_source(false) {
  m_argument = duplicate_text(argument);
  if (arg_count > 0 && args != nullptr) {
    m_args = new uint64_t[arg_count];
    std::memcpy(m_args, args, sizeof(uint64_t) * static_cast<std::size_t>(arg_count));
    m_arg_count = arg_count;
  }
  render_what();
}

GX_Exception::GX_Exception(const GX_Exception& other)
    : std::exception(other),
      GX_Object(other),
      m_module(0),
      m_id(0),
      m_arg_count(0),
      m_source(nullptr),
      m_argument(nullptr),
      m_file(nullptr),
      m_args(nullptr),
      m_owns_source(false) {
  copy_from(other);
}

GX_Exception& GX_Exception::operator=(const GX_Exception& other) {
  if (this != &other) {
    release();
    copy_from(other);
  }
  return *this;
}

GX_Exception::~GX_Exception() {
  release();
}

void GX_Exception::copy_from(const GX_Exception& other) {
  m_module = other.m_module;
  m_id = other.m_id;
  m_file = other.m_file;
  m_owns_source = other.m_owns_source;
  m_source = other.m_owns_source ? duplicate_text(other.m_source) : other.m_source;
  m_argument = duplicate_text(other.m_argument);
  m_arg_count = 0;
  m_args = nullptr;
  if (other.m_arg_count > 0 && other.m_args != nullptr) {
    m_args = new uint64_t[other.m_arg_count];
    std::memcpy(m_args, other.m_args,
                sizeof(uint64_t) * static_cast<std::size_t>(other.m_arg_count));
    m_arg_count = other.m_arg_count;
  }
  std::memcpy(m_what, other.m_what, sizeof(m_what));
}

void GX_Exception::release() {
  delete[] m_argument;
  m_argument = nullptr;
  delete[] m_args;
  m_args = nullptr;
  if (m_owns_source) delete[] m_source;
  m_source = nullptr;
  m_owns_source = false;
}

void GX_Exception::own_source() {
  if (m_owns_source || m_source == nullptr) return;
  m_source = duplicate_text(m_source);
  m_owns_source = true;
}

void GX_Exception::render_what() {
  std::snprintf(m_what, sizeof(m_what), "GX_Exception %u ", m_id);
  append_ascii(m_what, sizeof(m_what), m_source);
  if (m_argument != nullptr) {
    append_ascii(m_what, sizeof(m_what), u": ");
    append_ascii(m_what, sizeof(m_what), m_argument);
  }
}

const char* GX_Exception::what() const noexcept {
  return m_what;
}

int GX_Exception::severity() const {
  return 2;
}
int GX_Warning::severity() const {
  return 1;
}
int GX_Error::severity() const {
  return 2;
}
int GX_Severe_Error::severity() const {
  return 4;
}
int GX_Canceled_Error::severity() const {
  return 6;
}
