// Copyright the kvstore authors.
//
// A plain copy of a sub-tree of a KV_Object (names, types and the exact
// stored bytes of every value, in the tree's order), read with the library's
// iterator and written back through the store that the formats use. It is
// what kvtool turns into JSON and back, and how it moves single values.
#ifndef KVSTORE_TOOLS_TREE_MODEL_H_
#define KVSTORE_TOOLS_TREE_MODEL_H_

#include <kvstore/kvstore.h>

#include <string>
#include <string_view>
#include <vector>

// A value as the tree stores it.
struct StoredValue {
  PropType type = PROP_NONE;
  // The stored bytes: 4 for PROP_INT, 8 for PROP_DOUBLE (in memory order), 1
  // for PROP_BOOL, the text and its terminator for PROP_STRING, the raw bytes
  // for PROP_VOID.
  std::vector<unsigned char> bytes;
  // The iterator's rendering for PROP_INT, PROP_DOUBLE (as UTF-8), PROP_BOOL
  // and PROP_VOID; empty for PROP_STRING and for values not read from a tree.
  std::string text;
};

struct PropertyEntry {
  std::u16string name;
  StoredValue value;
};

struct NodeEntry {
  std::u16string name;
  std::vector<PropertyEntry> properties;
  std::vector<NodeEntry> nodes;
};

// A KV_Object that stores values with exactly the type and bytes it is given,
// through the protected store by which the formats fill a tree.
class ToolTree : public KV_Object {
 public:
  ToolTree() = default;

  // Stores value at path with its type bound (typeChecked). Throws the
  // library's exceptions: KV_Warning 54 when the property exists with another
  // bound type, 51 for a path without components.
  // REQUIRES: path holds no "*" (the library would put an index there).
  void store(const std::u16string& path, const StoredValue& value);

  // True when path names a node ("\" names the root).
  bool node_exists(const std::u16string& path) const;

  // Creates the node at path, and the missing nodes above it, when it does
  // not exist yet.
  void make_node(const std::u16string& path);
};

// The components of path; empty components are dropped, as the library does.
std::vector<std::u16string> split_path(std::u16string_view path);

// path in its plain form: "\" and the components joined by "\"; a path
// without components is the root, "\".
std::u16string normalize_path(std::u16string_view path);

// path followed by a backslash (unless it ends with one) and name.
std::u16string join_path(const std::u16string& path, const std::u16string& name);

// Reads the sub-tree at path into out; out.name is the node's name ("Root"
// for the root). Returns false when path names no node. Throws what the
// iterator throws for a value it cannot render (KV_Warning 59, KV_Error 53).
bool read_subtree(const KV_Object& tree, const std::u16string& path, NodeEntry& out);

// Stores the properties and nodes of node below path, in their order; nodes
// without properties or children are created as well. node.name is not used.
void write_subtree(ToolTree& tree, const std::u16string& path, const NodeEntry& node);

// Reads the property that path names. Returns false when there is none (a
// node of that name is not a property).
bool find_property(const KV_Object& tree, const std::u16string& path, PropertyEntry& out);

#endif  // KVSTORE_TOOLS_TREE_MODEL_H_
