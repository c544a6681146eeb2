// Copyright the kvstore authors.
#include "formats/kv_doc_file.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kvstore/kv_exceptions.h"
#include "kvstore/kv_iterator.h"
#include "platform/codepage.h"
#include "platform/compound_file.h"
#include "tree/kv_compose.h"
#include "tree/kv_property.h"
#include "tree/kv_rendering.h"
#include "tree/kv_revision.h"

namespace {

constexpr const char16_t* kOpenSource = u"KV_DOCFile::open()";
constexpr const char16_t* kSaveSource = u"KV_DOCFile::save()";
constexpr const char16_t* kLoadSource = u"KV_DOCFile::load()";
constexpr const char16_t* kVersionSource = u"KV_DOCFile::getVersion()";

constexpr std::u16string_view kVersionStream = u"Version";
// The float 1.0, little-endian.
constexpr unsigned char kVersionBytes[4] = {0x00, 0x00, 0x80, 0x3F};
// The work buffer of the load's current path, terminator included.
constexpr std::size_t kPathUnits = 1024;
constexpr std::size_t kMaxComponents = 256;

uint32_t get32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void put32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

// "Version" in any case of its ASCII letters.
bool is_version_name(std::u16string_view name) {
  if (name.size() != kVersionStream.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char16_t c = name[i];
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 0x20);
    char16_t v = kVersionStream[i];
    if (v >= u'a' && v <= u'z') v = static_cast<char16_t>(v - 0x20);
    if (c != v) return false;
  }
  return true;
}

// The data count that a type requires, or 0 when any count up to the limit
// will do.
uint32_t fixed_count(uint32_t type) {
  switch (type) {
    case PROP_INT:
      return 4;
    case PROP_DOUBLE:
      return 8;
    case PROP_BOOL:
      return 1;
    default:
      return 0;
  }
}

// True when the store takes path with index -1 (composed, "-1" in place of a
// first "*", it fits the store's work buffer).
bool store_takes(const std::u16string& path) {
  if (path.size() + 1 < kComposedPathUnits - 1) return true;
  char16_t composed[kComposedPathUnits];
  return kv_compose_path(path.c_str(), -1, composed) != nullptr;
}

std::size_t count_components(std::u16string_view path) {
  std::size_t n = 0;
  bool in_name = false;
  for (char16_t c : path) {
    if (c == u'\\') {
      in_name = false;
    } else if (!in_name) {
      in_name = true;
      ++n;
    }
  }
  return n;
}

void drop_last_component(std::u16string& path) {
  const std::size_t cut = path.rfind(u'\\');
  path.resize(cut == std::u16string::npos ? 0 : cut);
}

}  // namespace

KV_DOCFile::KV_DOCFile(GX_Error_Handler* handler) : KV_File(handler) {}

KV_DOCFile::~KV_DOCFile() {
  try {
    close();
  } catch (...) {
    // Nothing may leave a destructor; the document is released all the same.
  }
}

void KV_DOCFile::setStream(std::iostream*) {}

void KV_DOCFile::open(const char16_t* fileName, int mode) {
  if (m_document != nullptr) return;
  kv_cfb_status status;
  if (mode == 0) {
    if (!kv_compound_file::is_compound_file(fileName)) {
      throw KV_Severe(56, kOpenSource, fileName, kRevKvdoc);
    }
    m_document = kv_compound_file::open(fileName, status);
  } else {
    m_document = kv_compound_file::create(fileName, status);
  }
  if (m_document == nullptr) throw KV_Severe(56, kOpenSource, fileName, kRevKvdoc);
  setFileName(fileName);
}

void KV_DOCFile::attach(std::unique_ptr<kv_compound_file> document, const char16_t* name) {
  close();
  m_document = std::move(document);
  setFileName(name);
}

void KV_DOCFile::close() {
  if (m_document == nullptr) return;
  std::unique_ptr<kv_compound_file> document = std::move(m_document);
  document->close();
}

void KV_DOCFile::getVersion(char16_t* buffer, std::size_t size) {
  if (m_document == nullptr) throw KV_Severe(66, kVersionSource, fileName(), kRevKvdoc);
  kv_cfb_stream version = m_document->root().open_stream(kVersionStream);
  unsigned char bytes[4];
  if (!version.valid() || version.read(bytes, sizeof(bytes)) != sizeof(bytes)) {
    throw KV_Severe(66, kVersionSource, fileName(), kRevKvdoc);
  }
  const uint32_t word = get32(bytes);
  float value;
  std::memcpy(&value, &word, sizeof(value));
  // "%f": six decimals, whatever the process's locale says.
  char text[64];
  const std::to_chars_result r = std::to_chars(
      text, text + sizeof(text), static_cast<double>(value), std::chars_format::fixed, 6);
  const std::size_t length = r.ec == std::errc() ? static_cast<std::size_t>(r.ptr - text) : 0;
  if (buffer == nullptr || size == 0) return;
  const std::size_t copied = length < size - 1 ? length : size - 1;
  for (std::size_t i = 0; i < copied; ++i) buffer[i] = static_cast<unsigned char>(text[i]);
  buffer[copied] = 0;
}

void KV_DOCFile::load(KV_Object* object, const char16_t* root, KV_Object::FileType) {
  char16_t version[kPathUnits];
  getVersion(version, kPathUnits);

  std::u16string path(root != nullptr ? root : u"");
  if (path.size() > kPathUnits - 1) path.resize(kPathUnits - 1);
  const std::size_t rootComponents = count_components(path);
  auto refuse = [this]() { throw KV_Severe(66, kLoadSource, fileName(), kRevKvdoc); };

  std::vector<kv_cfb_enumerator> levels;
  levels.emplace_back(m_document->root());
  alignas(char16_t) unsigned char data[kMaxValueBytes];
  std::u16string text;
  kv_cfb_entry entry;
  while (!levels.empty()) {
    if (!levels.back().next(entry)) {
      levels.pop_back();
      if (!levels.empty()) drop_last_component(path);
      continue;
    }
    if (is_version_name(entry.name)) continue;
    if (path.empty() || path.back() != u'\\') path.push_back(u'\\');
    path.append(entry.name);
    // levels.size() storages lie between the root and this element.
    if (path.size() >= kComposedPathUnits - 1 || rootComponents + levels.size() > kMaxComponents) {
      refuse();
    }
    if (entry.kind == kv_cfb_kind::storage) {
      levels.emplace_back(entry.storage());
      continue;
    }
    kv_cfb_stream stream = entry.stream();
    unsigned char head[8];
    if (stream.read(head, sizeof(head)) != sizeof(head)) refuse();
    const uint32_t type = get32(head);
    const uint32_t count = get32(head + 4);
    if (type < PROP_INT || type > PROP_VOID || count > kMaxValueBytes) refuse();
    if (fixed_count(type) != 0 && count != fixed_count(type)) refuse();
    if (stream.read(data, count) != count) refuse();
    if (!store_takes(path)) refuse();
    if (type == PROP_STRING) {
      kv_ansi_to_u16(reinterpret_cast<const char*>(data), count, text);
      store(object, path.c_str(), text.c_str(), (text.size() + 1) * sizeof(char16_t), PROP_STRING);
    } else {
      store(object, path.c_str(), data, count, static_cast<PropType>(type));
    }
    drop_last_component(path);
  }
}

void KV_DOCFile::save(const KV_Object* object, const char16_t* path, KV_Object::FileType,
                      const char16_t*) {
  if (m_document == nullptr) throw KV_Severe(60, kSaveSource, fileName(), kRevKvdoc);
  kv_cfb_storage current = m_document->root();
  kv_cfb_stream version = current.create_stream(kVersionStream);
  if (!version.valid() || !version.write(kVersionBytes, sizeof(kVersionBytes))) {
    throw KV_Severe(60, kSaveSource, fileName(), kRevKvdoc);
  }

  std::unique_ptr<KV_Iterator> it(object->newIterator(path, 0));
  if (it == nullptr) throw KV_Memory_Exception(55, kSaveSource, u"piter", kRevKvdoc);
  writeProperties(*it, current);
  std::vector<kv_cfb_storage> parents;
  KV_Object::NodeType move;
  while (const char16_t* name = it->nextNode(move)) {
    if (move != KV_Object::NODE_CHILD && parents.empty()) break;  // the walk is back at its start
    if (move == KV_Object::NODE_UP) {
      current = parents.back();
      parents.pop_back();
      continue;
    }
    if (move == KV_Object::NODE_CHILD) {
      parents.push_back(current);
    }
    current = parents.back().create_storage(name);
    if (!current.valid()) throw KV_Severe(60, kSaveSource, fileName(), kRevKvdoc);
    writeProperties(*it, current);
  }
  if (!m_document->commit()) throw KV_Severe(60, kSaveSource, fileName(), kRevKvdoc);
}

void KV_DOCFile::writeProperties(KV_Iterator& it, kv_cfb_storage& storage) {
  KV_Rendering r;
  alignas(char16_t) unsigned char data[kMaxValueBytes];
  std::string ansi;
  while (const char16_t* name = r.next(it)) {
    kv_cfb_stream stream = storage.create_stream(name);
    const KV_Property* prop = it.currentProp();
    unsigned char word[4];
    put32(word, static_cast<uint32_t>(prop->m_type));
    if (!stream.valid() || !stream.write(word, sizeof(word))) {
      throw KV_Severe(60, kSaveSource, fileName(), kRevKvdoc);
    }
    prop->GetData(data, sizeof(data));
    const unsigned char* bytes = data;
    std::size_t count = prop->size();
    if (prop->m_type == PROP_STRING) {
      // The stored bytes are taken as wide text, up to its terminator.
      const auto* wide = reinterpret_cast<const char16_t*>(data);
      const std::size_t units = count / sizeof(char16_t);
      std::size_t length = 0;
      while (length < units && wide[length] != 0) ++length;
      kv_u16_to_ansi(wide, length, ansi);
      if (ansi.size() > kMaxValueBytes) throw KV_Warning(58, kSaveSource, name, kRevKvdoc);
      bytes = reinterpret_cast<const unsigned char*>(ansi.data());
      count = ansi.size();
    }
    unsigned char value[4 + kMaxValueBytes];
    put32(value, static_cast<uint32_t>(count));
    std::memcpy(value + 4, bytes, count);
    if (!stream.write(value, 4 + count)) throw KV_Severe(60, kSaveSource, fileName(), kRevKvdoc);
  }
}
