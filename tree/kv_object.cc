// Copyright the kvstore authors.
//
// The value operations of KV_Object.
#include "kvstore/kv_object.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "kvstore/kv_exceptions.h"
#include "platform/codepage.h"
#include "toolkit/u16_text.h"
#include "tree/kv_compose.h"
#include "tree/kv_node.h"
#include "tree/kv_path.h"
#include "tree/kv_path_strings.h"
#include "tree/kv_property.h"
#include "tree/kv_revision.h"

namespace {

// Text setters count at most this many characters.
constexpr std::size_t kMaxTextChars = 4096;

// The last component of a composed path is text[start..end); text[0..start)
// is the prefix that names its node. end is 0 when there is no component.
struct LastComponent {
  std::size_t start;
  std::size_t end;
};

LastComponent last_component(const char16_t* text, std::size_t length) {
  std::size_t end = length;
  while (end > 0 && text[end - 1] == u'\\') --end;
  std::size_t start = end;
  while (start > 0 && text[start - 1] != u'\\') --start;
  return {start, end};
}

// A path composed with its index (see kv_compose_path), and its last
// component.
struct Composed {
  const char16_t* text;
  LastComponent last;
};

// Composes path and index into work; false when the composed text does not
// fit. The common call, without "*" and without index, takes the caller's
// text as it is after one pass over it.
bool compose(const char16_t* path, int index, char16_t (&work)[kComposedPathUnits], Composed& out) {
  if (path != nullptr && index == -1) {
    std::size_t length = 0;
    bool star = false;
    for (char16_t c; (c = path[length]) != 0; ++length) {
      if (c == u'*') star = true;
    }
    if (!star) {
      if (length > kComposedPathUnits - 2) return false;
      out.text = path;
      out.last = last_component(path, length);
      return true;
    }
  }
  const char16_t* composed = kv_compose_path(path, index, work);
  if (composed == nullptr) return false;
  out.text = composed;
  out.last = last_component(composed, u16_length(composed));
  return true;
}

// One reference on an interned name, released at the end of the scope (as
// a KV_Path releases its components).
class HeldName {
 public:
  HeldName(KV_PathStrings* strings, const char16_t* name) : m_strings(strings), m_name(name) {}
  HeldName(const HeldName&) = delete;
  HeldName& operator=(const HeldName&) = delete;
  ~HeldName() {
    if (m_name != nullptr) m_strings->Release(m_name);
  }
  const char16_t* get() const { return m_name; }

 private:
  KV_PathStrings* m_strings;
  const char16_t* m_name;
};

// Steps 6 to 8 of a store: the property named name in node, created when
// missing, takes the value unless its bound type differs.
// A name that is new to the table (fresh) names no property yet: the search
// is left out.
void store_in(KV_Node* node, const char16_t* name, const void* data, std::size_t size,
              PropType type, bool typeChecked, bool fresh = false) {
  KV_Property* prop = fresh ? nullptr : node->FindProp(name);
  if (prop == nullptr) {
    prop = node->AppendProp(name);
  } else if (prop->m_typeChecked && prop->m_type != type) {
    throw KV_Warning(54, u"KV_Object::SetData()", nullptr, kRevKvobj);
  }
  prop->m_typeChecked = typeChecked;
  prop->m_type = type;
  prop->SetData(data, size);
}

// Steps 5 to 7 of a read.
bool read_from(const KV_Node* node, const char16_t* name, void* buffer, std::size_t bufferSize,
               PropType type) {
  KV_Property* prop = node->FindProp(name);
  if (prop == nullptr) return false;
  if (prop->m_typeChecked && prop->m_type != type) {
    throw KV_Warning(54, u"KV_Object::GetData()", nullptr, kRevKvobj);
  }
  prop->GetData(buffer, bufferSize);
  return true;
}

}  // namespace

KV_Object::KV_Object() : KV_Object(nullptr) {}

KV_Object::KV_Object(GX_Error_Handler* handler)
    : m_strings(nullptr), m_root(nullptr), m_errorHandler(handler) {
  m_strings = new KV_PathStrings;
  try {
    m_root = new KV_Node(m_strings, m_strings->Add(u"Root"), nullptr);
  } catch (...) {
    delete m_strings;
    m_strings = nullptr;
    throw;
  }
}

KV_Object::~KV_Object() {
  if (m_strings != nullptr) m_strings->BeginTeardown();
  delete m_root;
  m_root = nullptr;
  delete m_strings;
  m_strings = nullptr;
  m_errorHandler = nullptr;
}

void KV_Object::setData(const char16_t* path, const void* data, std::size_t size, PropType type,
                        int index, bool typeChecked) {
  static constexpr const char16_t* kSource = u"KV_Object::SetData()";
  if (m_root == nullptr) throw KV_Severe(50, kSource, u"m_root", kRevKvobj);
  char16_t buffer[kComposedPathUnits];
  Composed c;
  if (!compose(path, index, buffer, c)) throw KV_Warning(51, kSource, path, kRevKvobj);
  const char16_t* composed = c.text;
  const LastComponent last = c.last;
  // The node is found through the root's memo of the previous prefix; only
  // a path without components or with too many is parsed whole, to fail.
  if (last.end != 0) {
    // The name's slot of the table is fetched while the node is found.
    const char16_t* lastName = composed + last.start;
    const std::size_t lastLength = last.end - last.start;
    const uint32_t hash = m_strings->Hash(lastName, lastLength);
    m_strings->Prefetch(hash);
    bool tooLong = false;
    KV_Node* node = m_root->ResolvePrefix(composed, last.start, true, tooLong);
    if (!tooLong) {
      bool fresh = false;
      HeldName name(m_strings, m_strings->Add(lastName, lastLength, hash, fresh));
      store_in(node, name.get(), data, size, type, typeChecked, fresh);
      return;
    }
  }
  KV_Path parsed(m_strings, composed, true);
  if (parsed.count() == 0) throw KV_Warning(51, kSource, path, kRevKvobj);
  KV_Node* node = m_root->AddNode(parsed, true, false);
  store_in(node, parsed.component(parsed.count() - 1), data, size, type, typeChecked);
}

void KV_Object::SetProperty(const char16_t* path, int value, int index, bool typeChecked) {
  int32_t stored = value;
  setData(path, &stored, sizeof(stored), PROP_INT, index, typeChecked);
}

void KV_Object::SetProperty(const char16_t* path, long value, int index, bool typeChecked) {
  SetProperty(path, static_cast<int>(static_cast<int32_t>(value)), index, typeChecked);
}

void KV_Object::SetProperty(const char16_t* path, bool value, int index, bool typeChecked) {
  unsigned char stored = value ? 1 : 0;
  setData(path, &stored, 1, PROP_BOOL, index, typeChecked);
}

void KV_Object::SetProperty(const char16_t* path, const double& value, int index,
                            bool typeChecked) {
  setData(path, &value, sizeof(double), PROP_DOUBLE, index, typeChecked);
}

void KV_Object::SetProperty(const char16_t* path, const float& value, int index, bool typeChecked) {
  double widened = value;
  setData(path, &widened, sizeof(double), PROP_DOUBLE, index, typeChecked);
}

void KV_Object::SetProperty(const char16_t* path, const char16_t* const& value, int index,
                            bool typeChecked) {
  const char16_t* text = value != nullptr ? value : u"";
  std::size_t units = u16_length_bounded(text, kMaxTextChars);
  if (text[units] == 0) {
    setData(path, text, (units + 1) * sizeof(char16_t), PROP_STRING, index, typeChecked);
    return;
  }
  std::vector<char16_t> cut(text, text + units);
  cut.push_back(0);
  setData(path, cut.data(), cut.size() * sizeof(char16_t), PROP_STRING, index, typeChecked);
}

void KV_Object::SetProperty(const char16_t* path, const unsigned char* const& value, int index,
                            bool typeChecked) {
  const unsigned char* text = value != nullptr ? value : reinterpret_cast<const unsigned char*>("");
  std::size_t bytes = kv_ansi_prefix_bytes(text, kMaxTextChars);
  if (text[bytes] == 0) {
    setData(path, text, bytes + 1, PROP_STRING, index, typeChecked);
    return;
  }
  std::vector<unsigned char> cut(text, text + bytes);
  cut.push_back(0);
  setData(path, cut.data(), cut.size(), PROP_STRING, index, typeChecked);
}

void KV_Object::setVoidProperty(const char16_t* path, const void* data, unsigned int size,
                                int index, bool typeChecked) {
  setData(path, data, size, PROP_VOID, index, typeChecked);
}

bool KV_Object::getData(const char16_t* path, void* buffer, std::size_t bufferSize, PropType type,
                        int index) const {
  static constexpr const char16_t* kSource = u"KV_Object::GetData()";
  if (m_root == nullptr) throw KV_Severe(50, kSource, u"m_root", kRevKvobj);
  char16_t work[kComposedPathUnits];
  Composed c;
  if (!compose(path, index, work, c)) return false;
  const char16_t* composed = c.text;
  const LastComponent last = c.last;
  if (last.end != 0) {
    bool tooLong = false;
    const KV_Node* node = m_root->ResolvePrefix(composed, last.start, false, tooLong);
    if (!tooLong) {
      if (node == nullptr) return false;
      // A name that the table does not hold names nothing.
      HeldName name(m_strings, m_strings->Acquire(composed + last.start, last.end - last.start));
      return name.get() != nullptr && read_from(node, name.get(), buffer, bufferSize, type);
    }
  }
  KV_Path parsed(m_strings, composed, false);
  if (parsed.count() == 0) return false;
  KV_Node* node = m_root->AddNode(parsed, false, false);
  if (node == nullptr) return false;
  return read_from(node, parsed.component(parsed.count() - 1), buffer, bufferSize, type);
}

bool KV_Object::readValue(const char16_t* path, void* buffer, std::size_t bufferSize, PropType type,
                          int index) const {
  try {
    return getData(path, buffer, bufferSize, type, index);
  } catch (const KV_Warning&) {
    return false;
  }
}

bool KV_Object::GetProperty(const char16_t* path, double& value, int index) const {
  return readValue(path, &value, sizeof(double), PROP_DOUBLE, index);
}

bool KV_Object::GetProperty(const char16_t* path, float& value, int index) const {
  double read = value;
  try {
    if (!getData(path, &read, sizeof(double), PROP_DOUBLE, index)) {
      value = 0.0f;
      return false;
    }
  } catch (const KV_Warning&) {
    return false;
  }
  value = static_cast<float>(read);
  return true;
}

bool KV_Object::GetProperty(const char16_t* path, long& value, int index) const {
  int32_t read = static_cast<int32_t>(value);
  if (!readValue(path, &read, sizeof(read), PROP_INT, index)) return false;
  value = read;  // sign-extended
  return true;
}

bool KV_Object::GetProperty(const char16_t* path, int& value, int index) const {
  return readValue(path, &value, sizeof(int32_t), PROP_INT, index);
}

bool KV_Object::GetProperty(const char16_t* path, bool& value, int index) const {
  // Read through a byte: an unchecked value of another type may hold any
  // byte, which a bool must not.
  unsigned char read = value ? 1 : 0;
  if (!readValue(path, &read, 1, PROP_BOOL, index)) return false;
  value = read != 0;
  return true;
}

bool KV_Object::GetProperty(const char16_t* path, unsigned char* buffer, std::size_t size,
                            int index) const {
  if (size == std::numeric_limits<std::size_t>::max()) return false;
  return readValue(path, buffer, size, PROP_STRING, index);
}

bool KV_Object::GetProperty(const char16_t* path, char16_t* buffer, std::size_t size,
                            int index) const {
  return GetProperty(path, reinterpret_cast<unsigned char*>(buffer), size, index);
}

bool KV_Object::getVoidProperty(const char16_t* path, void* buffer, unsigned int size,
                                int index) const {
  return readValue(path, buffer, size, PROP_VOID, index);
}

std::size_t KV_Object::propertySize(const char16_t* path, int index) const {
  static constexpr const char16_t* kSource = u"KV_Object::getPropertySize()";
  if (m_root == nullptr) throw KV_Severe(50, kSource, u"m_root", kRevKvobj);
  char16_t work[kComposedPathUnits];
  const char16_t* composed = kv_compose_path(path, index, work);
  if (composed == nullptr) throw KV_Warning(51, kSource, path, kRevKvobj);
  KV_Path parsed(m_strings, composed, false);
  if (parsed.count() == 0) throw KV_Warning(51, kSource, path, kRevKvobj);
  KV_Node* node = m_root->AddNode(parsed, false, false);
  if (node == nullptr) throw KV_Warning(86, kSource, composed, kRevKvobj);
  KV_Property* prop = node->FindProp(parsed.component(parsed.count() - 1));
  if (prop == nullptr) throw KV_Warning(87, kSource, composed, kRevKvobj);
  return prop->size();
}

std::size_t KV_Object::getPropertySize(const char16_t* path, int index) const {
  try {
    return propertySize(path, index);
  } catch (const KV_Warning&) {
    return 0;
  }
}

bool KV_Object::pathExists(const char16_t* path) const {
  if (m_root == nullptr) return false;
  try {
    KV_Path parsed(m_strings, path, false);
    if (parsed.count() == 0) return false;
    return m_root->AddNode(parsed, false, false) != nullptr;
  } catch (const GX_Exception&) {
    return false;
  }
}

void KV_Object::deletePath(const char16_t* path) {
  static constexpr const char16_t* kSource = u"KV_Object::DeletePath()";
  if (m_root == nullptr) throw KV_Severe(50, kSource, u"m_root", kRevKvobj);
  KV_Path parsed(m_strings, path, false);
  if (parsed.count() == 0) throw KV_Warning(51, kSource, path, kRevKvobj);
  KV_Node* node = m_root->AddNode(parsed, false, false);
  if (node == nullptr) throw KV_Warning(52, kSource, path, kRevKvobj);
  const char16_t* name = parsed.component(parsed.count() - 1);
  if (KV_Property* prop = node->FindProp(name)) {
    node->DeleteProp(prop);
    return;
  }
  if (KV_Node* child = node->FindChild(name)) {
    node->DeleteChild(child);
    return;
  }
  throw KV_Warning(52, kSource, path, kRevKvobj);
}
