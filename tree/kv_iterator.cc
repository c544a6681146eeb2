// Copyright the kvstore authors.
#include "kvstore/kv_iterator.h"

#include <cstdint>
#include <cstring>

#include "kvstore/kv_convert.h"
#include "kvstore/kv_exceptions.h"
#include "tree/kv_alloc.h"
#include "tree/kv_convert.h"
#include "tree/kv_node.h"
#include "tree/kv_path.h"
#include "tree/kv_property.h"
#include "tree/kv_revision.h"

namespace {

constexpr int kMovedUp = 3;
constexpr std::size_t kIntTextSize = 12;
constexpr std::size_t kDoubleTextSize = 128;
constexpr std::size_t kBoolTextSize = 8;

char* new_buffer(std::size_t size) {
  return static_cast<char*>(kv_alloc(size));
}

// value as "%d" would write it (at most 11 characters and the terminator).
void format_int(int32_t value, char* out) {
  char digits[10];
  int n = 0;
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *out++ = '-';
  while (n > 0) *out++ = digits[--n];
  *out = 0;
}

// Renders prop's value into a new buffer; sets size and type.
char* render(const KV_Property* prop, std::size_t& size, PropType& type) {
  switch (prop->m_type) {
    case PROP_STRING: {
      std::size_t stored = prop->size();
      char* text = new_buffer(stored + 1);
      text[stored] = 0;
      try {
        prop->GetData(text, stored);
      } catch (...) {
        kv_free(text);
        throw;
      }
      size = stored + 1;
      type = PROP_STRING;
      return text;
    }
    case PROP_INT: {
      int32_t value = 0;
      prop->GetData(&value, sizeof(value));
      char* text = new_buffer(kIntTextSize + 1);
      std::memset(text, 0, kIntTextSize + 1);
      format_int(value, text);
      size = kIntTextSize;
      type = PROP_INT;
      return text;
    }
    case PROP_DOUBLE: {
      double value = 0;
      prop->GetData(&value, sizeof(value));
      // The allocator's buffers are aligned for any type.
      char* text = new_buffer(kDoubleTextSize);
      std::memset(text, 0, kDoubleTextSize);
      doubletostring(value, reinterpret_cast<char16_t*>(text));
      size = kDoubleTextSize;
      type = PROP_DOUBLE;
      return text;
    }
    case PROP_BOOL: {
      unsigned char value = 0;
      prop->GetData(&value, 1);
      char* text = new_buffer(kBoolTextSize);
      std::memset(text, 0, kBoolTextSize);
      std::memcpy(text, value != 0 ? "TRUE" : "FALSE", value != 0 ? 4 : 5);
      size = kBoolTextSize;
      type = PROP_BOOL;
      return text;
    }
    case PROP_VOID: {
      std::size_t stored = prop->size();
      char* bytes = new_buffer(stored + 1);
      char* text = nullptr;
      try {
        prop->GetData(bytes, stored + 1);
        // Sizes beyond what the hexadecimal conversion can count fail like
        // an empty value.
        if (stored > static_cast<std::size_t>(INT32_MAX / 2)) {
          throw KV_Error(53, u"kvobj", u"bad raw data value", kRevKvobj);
        }
        text = new_buffer(2 * stored + 1);
        if (!kv_bin_to_hex(bytes, text, static_cast<int>(stored))) {
          throw KV_Error(53, u"kvobj", u"bad raw data value", kRevKvobj);
        }
      } catch (...) {
        kv_free(bytes);
        kv_free(text);
        throw;
      }
      kv_free(bytes);
      size = 2 * stored + 1;
      type = PROP_VOID;
      return text;
    }
    default:
      size = 0;
      type = PROP_NONE;
      return nullptr;
  }
}

}  // namespace

KV_Iterator::KV_Iterator(const KV_Object* object, const char16_t* path, int depth)
    : m_current(nullptr),
      m_start(nullptr),
      m_currentProp(nullptr),
      m_lastMove(0),
      m_maxDepth(depth),
      m_depth(depth > 0 ? 0 : -1) {
  static constexpr const char16_t* kSource = u"KV_Iterator::KV_Iterator()";
  if (object->m_root == nullptr) throw KV_Severe(50, kSource, u"kvobj->m_root", kRevKvobj);
  if (path != nullptr && path[0] == u'\\' && path[1] == 0) {
    m_start = m_current = object->m_root;
    return;
  }
  KV_Path parsed(object->m_strings, path, false);
  if (parsed.count() == 0) throw KV_Warning(51, kSource, path, kRevKvobj);
  m_start = m_current = object->m_root->AddNode(parsed, false, true);
}

KV_Iterator::~KV_Iterator() {
  m_current = nullptr;
  m_start = nullptr;
  m_currentProp = nullptr;
}

const char16_t* KV_Iterator::nextNode(KV_Object::NodeType& type) {
  if (m_current == nullptr) return nullptr;
  m_currentProp = nullptr;
  if (m_lastMove != kMovedUp) {
    if (m_depth < m_maxDepth && m_current->m_firstChild != nullptr) {
      m_current = m_current->m_firstChild;
      type = KV_Object::NODE_CHILD;
      if (m_maxDepth != 0) ++m_depth;
      return m_current->m_name;
    }
    if (m_current->m_next != nullptr && m_current != m_start) {
      m_current = m_current->m_next;
      type = KV_Object::NODE_NEXT;
      return m_current->m_name;
    }
    if (m_current->m_parent == nullptr || m_current == m_start) {
      type = KV_Object::NODE_NEXT;
      m_current = nullptr;
      return nullptr;
    }
  } else {
    if (m_current == m_start) {
      type = KV_Object::NODE_NEXT;
      m_current = nullptr;
      return nullptr;
    }
    if (m_current->m_next != nullptr) {
      m_current = m_current->m_next;
      m_lastMove = 0;
      type = KV_Object::NODE_NEXT;
      return m_current->m_name;
    }
  }
  m_current = m_current->m_parent;
  m_lastMove = kMovedUp;
  type = KV_Object::NODE_UP;
  if (m_maxDepth != 0) --m_depth;
  return m_current->m_name;
}

const char16_t* KV_Iterator::nextProp(char*& data, std::size_t& size, PropType& type) {
  if (data != nullptr && size != 0) kv_free(data);
  data = nullptr;
  size = 0;
  if (m_currentProp != nullptr) {
    m_currentProp = m_currentProp->m_next;
  } else if (m_current != nullptr) {
    m_currentProp = m_current->m_firstProp;
  }
  if (m_currentProp == nullptr) return nullptr;
  data = render(m_currentProp, size, type);
  return data != nullptr ? m_currentProp->m_name : nullptr;
}

const KV_Node* KV_Iterator::currentNode() const {
  return m_current;
}

const KV_Property* KV_Iterator::currentProp() const {
  return m_currentProp;
}

const char16_t* KV_Iterator::getCurrentNodeName() const {
  return m_current != nullptr ? m_current->m_name : nullptr;
}
