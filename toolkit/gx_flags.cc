// Copyright the kvstore authors.
#include "kvstore/gx_flags.h"

#include <cstring>
#include <string>

#include "toolkit/u16_text.h"

GX_Flags::GX_Flags(int count) : m_count(count > 0 ? count : 0), m_groups(nullptr), m_text(nullptr) {
  m_groups = new int[static_cast<std::size_t>(m_count) + 1]();
}

GX_Flags::GX_Flags(const GX_Flags& other)
    : m_count(other.m_count), m_groups(nullptr), m_text(nullptr) {
  m_groups = new int[static_cast<std::size_t>(m_count) + 1]();
  std::memcpy(m_groups, other.m_groups, sizeof(int) * static_cast<std::size_t>(m_count));
}

GX_Flags& GX_Flags::operator=(const GX_Flags& other) {
  if (this == &other) return *this;
  if (other.m_count != m_count) {
    int* groups = new int[static_cast<std::size_t>(other.m_count) + 1]();
    delete[] m_groups;
    m_groups = groups;
    m_count = other.m_count;
  }
  std::memcpy(m_groups, other.m_groups, sizeof(int) * static_cast<std::size_t>(m_count));
  return *this;
}

GX_Flags::~GX_Flags() {
  delete[] m_groups;
  delete[] m_text;
}

void GX_Flags::set_flags(int value) {
  for (int i = 0; i < m_count; ++i) m_groups[i] = value;
}

int GX_Flags::get_flag(int group) const {
  return group >= 0 && group < m_count ? m_groups[group] : 0;
}

void GX_Flags::set_flag(int group, int value) {
  if (group >= 0 && group < m_count) m_groups[group] = value;
}

const char16_t* GX_Flags::get_flags() const {
  std::u16string text;
  char16_t digits[24];
  for (int i = 0; i < m_count; ++i) {
    if (i != 0) text.push_back(u',');
    text.append(digits, u16_from_int(m_groups[i], digits));
  }
  char16_t* fresh = new char16_t[text.size() + 1];
  std::memcpy(fresh, text.c_str(), (text.size() + 1) * sizeof(char16_t));
  delete[] m_text;
  m_text = fresh;
  return m_text;
}
