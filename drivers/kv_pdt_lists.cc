// Copyright the kvstore authors.
#include "drivers/kv_pdt_lists.h"

const char16_t* kv_interned_texts::intern(std::u16string_view text) {
  auto found = m_index.find(text);
  if (found != m_index.end()) return found->data();
  const std::u16string& copy = m_texts.emplace_back(text);
  m_index.insert(std::u16string_view(copy.c_str(), copy.size()));
  return copy.c_str();
}

const char16_t* kv_interned_texts::find(std::u16string_view text) const {
  auto found = m_index.find(text);
  return found != m_index.end() ? found->data() : nullptr;
}
