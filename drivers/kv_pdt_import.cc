// Copyright the kvstore authors.
#include "drivers/kv_pdt_import.h"

#include <utility>

#include "kvstore/kv_exceptions.h"
#include "tree/kv_revision.h"

namespace {

// The most text units that a string property keeps.
constexpr std::size_t kMaxTextUnits = 4096;

}  // namespace

void kv_pdt_import::begin(KV_Object* object, const char16_t* root, std::u16string folder) {
  m_object = object;
  m_root = root != nullptr ? root : u"";
  m_folder = std::move(folder);
}

void kv_pdt_import::put(std::u16string_view path, const void* data, std::size_t size, PropType type,
                        int index) {
  if (++m_writes > kWriteBase + kWritesPerByte * m_bytesRead) {
    throw KV_Memory_Exception(55, u"KV_PDTFile::load()", u"properties", kRevKvpdt);
  }
  m_path.assign(m_root);
  m_path.append(path);
  m_store(m_object, m_path.c_str(), data, size, type, index);
}

void kv_pdt_import::put_int(std::u16string_view path, int32_t value, int index) {
  put(path, &value, sizeof(value), PROP_INT, index);
}

void kv_pdt_import::put_double(std::u16string_view path, double value, int index) {
  put(path, &value, sizeof(value), PROP_DOUBLE, index);
}

void kv_pdt_import::put_bool(std::u16string_view path, bool value, int index) {
  const unsigned char stored = value ? 1 : 0;
  put(path, &stored, 1, PROP_BOOL, index);
}

void kv_pdt_import::put_string(std::u16string_view path, std::u16string_view value, int index) {
  std::u16string text(value.substr(0, kMaxTextUnits));
  put(path, text.c_str(), (text.size() + 1) * sizeof(char16_t), PROP_STRING, index);
}

void kv_pdt_import::put_raw(std::u16string_view path, const void* data, std::size_t size,
                            int index) {
  put(path, data, size, PROP_VOID, index);
}

std::u16string kv_pdt_path(std::initializer_list<std::u16string_view> parts) {
  std::size_t length = 0;
  for (std::u16string_view part : parts) length += part.size();
  std::u16string path;
  path.reserve(length);
  for (std::u16string_view part : parts) path.append(part);
  return path;
}
