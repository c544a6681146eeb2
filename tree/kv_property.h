// Copyright the kvstore authors.
//
// KV_Property: one named, typed value of a node.
#ifndef KVSTORE_TREE_KV_PROPERTY_H_
#define KVSTORE_TREE_KV_PROPERTY_H_

#include <cstddef>
#include <cstdint>

#include "kvstore/kv_mem_obj.h"
#include "kvstore/kv_object.h"

class KV_PathStrings;

class KV_Property : public KV_Mem_Obj {
 public:
  // A property without value (type PROP_NONE, typeChecked true). name is an
  // interned pointer whose reference the property takes over.
  KV_Property(KV_PathStrings* strings, const char16_t* name);
  KV_Property(const KV_Property&) = delete;
  KV_Property& operator=(const KV_Property&) = delete;
  // Destroys the chain that starts at m_next, frees the value and releases
  // the name.
  ~KV_Property() override;

  // Stores a copy of size bytes. A store of the stored size reuses the
  // buffer, so a first store of 0 bytes leaves the property without value.
  void SetData(const void* data, std::size_t size);
  // Copies exactly size() bytes to buffer. Throws KV_Warning 59 when there is
  // no value and 58 when bufferSize is smaller than the value ("KV_Property::
  // GetData()", the property's name).
  void GetData(void* buffer, std::size_t bufferSize) const;

  bool has_value() const { return m_has_value; }
  std::size_t size() const { return m_size; }
  // The stored bytes; null when there is no value.
  const uint8_t* data() const {
    return !m_has_value                             ? nullptr
           : m_size <= sizeof(m_value.inline_bytes) ? m_value.inline_bytes
                                                    : m_value.heap;
  }

  KV_PathStrings* m_strings;
  const char16_t* m_name;
  KV_Property* m_next;
  PropType m_type;
  bool m_typeChecked;

 private:
  void FreeValue();

  // Declared here so that it shares the padding after m_typeChecked: a
  // property takes 56 bytes, one allocation block of 64.
  bool m_has_value;
  // Values of up to 8 bytes (every int, double and bool) live in the
  // property itself.
  union {
    uint8_t inline_bytes[8];
    uint8_t* heap;
  } m_value;
  uint64_t m_size;
};

#endif  // KVSTORE_TREE_KV_PROPERTY_H_
