// Copyright the kvstore authors.
//
// KV_Node: an interior node of the tree, with its child nodes and its
// properties kept in order of creation.
#ifndef KVSTORE_TREE_KV_NODE_H_
#define KVSTORE_TREE_KV_NODE_H_

#include "kvstore/kv_mem_obj.h"

class KV_Path;
class KV_PathStrings;
class KV_Property;

class KV_Node : public KV_Mem_Obj {
 public:
  // name is an interned pointer whose reference the node takes over.
  KV_Node(KV_PathStrings* strings, const char16_t* name, KV_Node* parent);
  KV_Node(const KV_Node&) = delete;
  KV_Node& operator=(const KV_Node&) = delete;
  // Destroys the properties, the children and the siblings that follow this
  // node, then releases the name. Whoever unlinks a single node clears its
  // m_next first.
  ~KV_Node() override;

  // The node that path names below this node: all components, or all but
  // the last when includeLast is false. Missing nodes are created when
  // create is true (and appended after the last child); otherwise a missing
  // node gives null. A path of no (remaining) components gives this node.
  KV_Node* AddNode(const KV_Path& path, bool create, bool includeLast);

  // Appends a new property named name (interned through the table), or
  // returns null, changing nothing, when this node has one of that name.
  KV_Property* AddProp(const char16_t* name);

  // The child or property whose interned name is name, or null.
  KV_Node* FindChild(const char16_t* name) const;
  KV_Property* FindProp(const char16_t* name) const;

  // Appends a child named by an interned pointer (a new reference is taken).
  // REQUIRES: no child of that name exists.
  KV_Node* AppendChild(const char16_t* name);
  // Appends a property named by an interned pointer (a new reference is
  // taken). REQUIRES: no property of that name exists.
  KV_Property* AppendProp(const char16_t* name);

  // Unlinks and destroys the property or the child (with its sub-tree).
  // Return false when it is not in this node's list.
  bool DeleteProp(KV_Property* prop);
  bool DeleteChild(KV_Node* child);

  KV_PathStrings* m_strings;
  const char16_t* m_name;
  KV_Node* m_parent;
  KV_Node* m_next;
  KV_Node* m_firstChild;
  KV_Node* m_lastChild;
  KV_Property* m_firstProp;
  KV_Property* m_lastProp;
};

#endif  // KVSTORE_TREE_KV_NODE_H_
