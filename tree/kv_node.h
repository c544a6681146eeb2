// Copyright the kvstore authors.
//
// KV_Node: an interior node of the tree, with its child nodes and its
// properties kept in order of creation.
//
// Lookups by name scan a list from its head. A list whose scans grow long
// (wide nodes: hundreds of indexed pens or media sizes) gets a hash index
// from interned name to its first element of that name, built on the first
// long scan and kept up to date by every append and delete from then on. The
// index knows each element's predecessor, so deleting from an indexed list
// takes constant time wherever the element stands. The index changes no
// result: it finds what the scan from the head would find, and a node whose
// index cannot be allocated goes on scanning.
#ifndef KVSTORE_TREE_KV_NODE_H_
#define KVSTORE_TREE_KV_NODE_H_

#include <cstddef>

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

  // The node that the components of prefix[0..length) name below this node
  // (the root), creating missing nodes when create is true; null when one is
  // missing (create false) or a name is not in the table. prefix is the text
  // of a path before its last component: empty, or ending with "\".
  //
  // The same as AddNode with a KV_Path of those components, but for the
  // work: the root keeps a memo of the last prefix it resolved (its text and
  // the node of each component), and only the components after the part that
  // a new prefix shares with it are looked up. Loads and reads mostly go to
  // the node of the previous call or to one next to it. Deleting any node of
  // the tree forgets the memo; nothing else can invalidate it, since nodes
  // never move. A prefix of more than 255 components is not resolved:
  // tooLong is set and null returned, for the caller to parse the whole path
  // and fail as it does.
  KV_Node* ResolvePrefix(const char16_t* prefix, std::size_t length, bool create, bool& tooLong);

  // Whether the child or property list has its hash index (an observer for
  // tests; the index never changes a result).
  bool HasChildIndex() const;
  bool HasPropIndex() const;

  // A scan that passes this many elements of a list without an index
  // builds the list's index.
  static constexpr unsigned kIndexThreshold = 16;

  KV_PathStrings* m_strings;
  const char16_t* m_name;
  KV_Node* m_parent;
  KV_Node* m_next;
  KV_Node* m_firstChild;
  KV_Node* m_lastChild;
  KV_Property* m_firstProp;
  KV_Property* m_lastProp;

 private:
  struct Index;
  // Build the index of the child or property list (a no-op when memory runs
  // out); DropIndex frees the indexes and the memo.
  void IndexChildren() const;
  void IndexProps() const;
  void DropIndex() const;
  // Forgets the prefix memo of the tree's root.
  void ForgetPrefixes() const;
  // The root's memo, allocated on first use; null when memory runs out.
  struct PrefixMemo;
  PrefixMemo* Memo();

  // Null until one of the lists is indexed or a prefix is resolved. Built
  // by the lookups, which are const: the index and the memo are caches, not
  // part of the node's value.
  mutable Index* m_index;
};

#endif  // KVSTORE_TREE_KV_NODE_H_
