// Copyright the kvstore authors.
#include "tree_model.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <utility>

#include "utf.h"

namespace {

// The name of the property that make_node stores and deletes again to bring
// an empty node into being; the node is new, so nothing of the same name can
// be there already.
constexpr const char16_t* kScaffoldName = u"~";

using IteratorPtr = std::unique_ptr<KV_Iterator>;

// The last rendering that nextProp handed out, released when the walk of a
// node's properties ends early or throws.
struct Rendering {
  char* data = nullptr;
  std::size_t size = 0;
  Rendering() = default;
  Rendering(const Rendering&) = delete;
  Rendering& operator=(const Rendering&) = delete;
  ~Rendering() {
    if (data != nullptr) KV_Mem_Obj::operator delete(data);
  }
};

// The wide text of a PROP_DOUBLE rendering (at most size / 2 units).
std::u16string wide_text(const char* data, std::size_t size) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    char16_t unit;
    std::memcpy(&unit, data + i, sizeof(unit));
    if (unit == 0) break;
    text += unit;
  }
  return text;
}

// The narrow text of an INT, BOOL or VOID rendering (up to its terminator).
std::string narrow_text(const char* data, std::size_t size) {
  return std::string(data, strnlen(data, size));
}

StoredValue value_from_rendering(const char* data, std::size_t size, PropType type) {
  StoredValue value;
  value.type = type;
  switch (type) {
    case PROP_STRING:
      // The rendering is the stored bytes followed by one extra byte.
      value.bytes.assign(data, data + (size > 0 ? size - 1 : 0));
      break;
    case PROP_INT: {
      value.text = narrow_text(data, size);
      const auto number = static_cast<int32_t>(std::strtol(value.text.c_str(), nullptr, 10));
      value.bytes.resize(sizeof(number));
      std::memcpy(value.bytes.data(), &number, sizeof(number));
      break;
    }
    case PROP_DOUBLE: {
      const std::u16string text = wide_text(data, size);
      double number = 0;
      if (stringtodouble(text.c_str(), &number) != 1) {
        throw std::runtime_error("the library rendered a double that it cannot read back");
      }
      value.text = utf16_to_utf8(text);
      value.bytes.resize(sizeof(number));
      std::memcpy(value.bytes.data(), &number, sizeof(number));
      break;
    }
    case PROP_BOOL:
      value.text = narrow_text(data, size);
      value.bytes.assign(1, value.text == "TRUE" ? 1 : 0);
      break;
    case PROP_VOID:
      value.text = narrow_text(data, size);
      value.bytes.resize(value.text.size() / 2);
      if (!kv_hex_to_bin(value.text.c_str(), value.bytes.data())) value.bytes.clear();
      break;
    default:
      break;
  }
  return value;
}

// Appends the properties of the node at path, on which the iterator stands.
void read_properties(const KV_Object& tree, const std::u16string& path, KV_Iterator& iterator,
                     std::vector<PropertyEntry>& out) {
  Rendering rendering;
  PropType type = PROP_NONE;
  while (const char16_t* name = iterator.nextProp(rendering.data, rendering.size, type)) {
    PropertyEntry property{name, value_from_rendering(rendering.data, rendering.size, type)};
    // The rendering of a double keeps every bit but the sign of zero ("0.0"
    // for -0.0); the getter copies the stored bits. A path too long for the
    // library's work buffer keeps the rendering's value.
    double exact = 0;
    if (type == PROP_DOUBLE && tree.GetProperty(join_path(path, name).c_str(), exact)) {
      std::memcpy(property.value.bytes.data(), &exact, sizeof(exact));
    }
    out.push_back(std::move(property));
  }
}

}  // namespace

void ToolTree::store(const std::u16string& path, const StoredValue& value) {
  static const unsigned char kNoBytes = 0;
  const void* data = value.bytes.empty() ? &kNoBytes : value.bytes.data();
  setData(path.c_str(), data, value.bytes.size(), value.type, -1, true);
}

bool ToolTree::node_exists(const std::u16string& path) const {
  IteratorPtr iterator(newIterator(path.c_str(), -1));
  return iterator != nullptr && iterator->currentNode() != nullptr;
}

void ToolTree::make_node(const std::u16string& path) {
  if (node_exists(path)) return;
  const std::u16string scaffold = join_path(path, kScaffoldName);
  StoredValue marker;
  marker.type = PROP_BOOL;
  marker.bytes.assign(1, 0);
  store(scaffold, marker);
  deletePath(scaffold.c_str());
}

std::vector<std::u16string> split_path(std::u16string_view path) {
  std::vector<std::u16string> components;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > start) components.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return components;
}

std::u16string normalize_path(std::u16string_view path) {
  std::u16string normal;
  for (const std::u16string& component : split_path(path)) normal += u'\\' + component;
  if (normal.empty()) normal.push_back(u'\\');
  return normal;
}

std::u16string join_path(const std::u16string& path, const std::u16string& name) {
  std::u16string joined = path;
  if (joined.empty() || joined.back() != u'\\') joined += u'\\';
  return joined + name;
}

bool read_subtree(const KV_Object& tree, const std::u16string& path, NodeEntry& out) {
  IteratorPtr iterator(tree.newIterator(path.c_str(), 0));
  if (iterator == nullptr || iterator->currentNode() == nullptr) return false;
  out = NodeEntry();
  out.name = iterator->getCurrentNodeName();
  read_properties(tree, path, *iterator, out.properties);
  // The nodes from the start down to the one the walk stands on, with their
  // paths. Only the last node of each level is ever extended, so the
  // pointers stay valid.
  std::vector<NodeEntry*> open = {&out};
  std::vector<std::u16string> paths = {path};
  KV_Object::NodeType move = KV_Object::NODE_NEXT;
  while (const char16_t* name = iterator->nextNode(move)) {
    if (move == KV_Object::NODE_UP) {
      open.pop_back();
      paths.pop_back();
      continue;
    }
    if (move == KV_Object::NODE_NEXT) {
      open.pop_back();
      paths.pop_back();
    }
    NodeEntry& parent = *open.back();
    parent.nodes.push_back(NodeEntry{name, {}, {}});
    open.push_back(&parent.nodes.back());
    paths.push_back(join_path(paths.back(), name));
    read_properties(tree, paths.back(), *iterator, open.back()->properties);
  }
  return true;
}

void write_subtree(ToolTree& tree, const std::u16string& path, const NodeEntry& node) {
  for (const PropertyEntry& property : node.properties) {
    tree.store(join_path(path, property.name), property.value);
  }
  if (node.properties.empty() && node.nodes.empty()) tree.make_node(path);
  for (const NodeEntry& child : node.nodes) {
    write_subtree(tree, join_path(path, child.name), child);
  }
}

bool find_property(const KV_Object& tree, const std::u16string& path, PropertyEntry& out) {
  std::vector<std::u16string> components = split_path(path);
  if (components.empty()) return false;
  const std::u16string name = components.back();
  components.pop_back();
  std::u16string parent;
  for (const std::u16string& component : components) parent += u'\\' + component;
  if (parent.empty()) parent.push_back(u'\\');
  IteratorPtr iterator(tree.newIterator(parent.c_str(), -1));
  if (iterator == nullptr) return false;
  std::vector<PropertyEntry> properties;
  read_properties(tree, parent, *iterator, properties);
  for (PropertyEntry& property : properties) {
    if (property.name == name) {
      out = std::move(property);
      return true;
    }
  }
  return false;
}
