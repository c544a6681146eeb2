// Copyright the kvstore authors.
#include "tree/kv_property.h"

#include <cstring>

#include "kvstore/kv_exceptions.h"
#include "tree/kv_alloc.h"
#include "tree/kv_path_strings.h"
#include "tree/kv_revision.h"

KV_Property::KV_Property(KV_PathStrings* strings, const char16_t* name)
    : m_strings(strings),
      m_name(name),
      m_next(nullptr),
      m_type(PROP_NONE),
      m_typeChecked(true),
      m_has_value(false),
      m_value(),
      m_size(0) {}

KV_Property::~KV_Property() {
  // The chain is destroyed in a loop, not by recursion, so that nodes with
  // very many properties cannot exhaust the stack.
  KV_Property* next = m_next;
  m_next = nullptr;
  while (next != nullptr) {
    KV_Property* after = next->m_next;
    next->m_next = nullptr;
    delete next;
    next = after;
  }
  FreeValue();
  if (m_name != nullptr) m_strings->Release(m_name);
}

void KV_Property::FreeValue() {
  if (m_has_value && m_size > sizeof(m_value.inline_bytes)) kv_free(m_value.heap);
  m_has_value = false;
  m_size = 0;
}

void KV_Property::SetData(const void* data, std::size_t size) {
  if (size != m_size) {
    FreeValue();
    if (size > sizeof(m_value.inline_bytes)) m_value.heap = static_cast<uint8_t*>(kv_alloc(size));
    m_size = size;
    m_has_value = true;
  }
  if (size != 0) std::memcpy(const_cast<uint8_t*>(this->data()), data, size);
}

void KV_Property::GetData(void* buffer, std::size_t bufferSize) const {
  if (!m_has_value) throw KV_Warning(59, u"KV_Property::GetData()", m_name, kRevKvtree);
  if (bufferSize < m_size) throw KV_Warning(58, u"KV_Property::GetData()", m_name, kRevKvtree);
  if (m_size != 0) std::memcpy(buffer, data(), m_size);
}
