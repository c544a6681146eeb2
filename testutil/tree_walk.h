// Copyright the kvstore authors.
//
// Every property of a sub-tree, with its full path, type and rendered value,
// for tests that compare whole trees or count what a load stored.
#ifndef KVSTORE_TESTUTIL_TREE_WALK_H_
#define KVSTORE_TESTUTIL_TREE_WALK_H_

#include <map>
#include <memory>
#include <string>

#include "kvstore/kv_iterator.h"
#include "kvstore/kv_mem_obj.h"
#include "kvstore/kv_object.h"

struct WalkedValue {
  PropType type;
  std::string rendered;  // the iterator's rendering
  bool operator==(const WalkedValue& o) const { return type == o.type && rendered == o.rendered; }
};

// Full path below start ("\a\b\name") -> value. Properties of the same path
// (a name used twice in one node) keep the first.
inline std::map<std::u16string, WalkedValue> walk_tree(const KV_Object& kv,
                                                       const char16_t* start = u"\\") {
  std::map<std::u16string, WalkedValue> out;
  std::unique_ptr<KV_Iterator> it(kv.newIterator(start, 0));
  if (it == nullptr) return out;
  char* data = nullptr;
  std::size_t size = 0;
  PropType type = PROP_NONE;
  std::u16string node;
  auto props = [&] {
    while (const char16_t* name = it->nextProp(data, size, type)) {
      out.emplace(node + u"\\" + name, WalkedValue{type, std::string(data, size)});
    }
  };
  props();
  KV_Object::NodeType move;
  while (const char16_t* name = it->nextNode(move)) {
    if (move == KV_Object::NODE_UP) {
      node.resize(node.rfind(u'\\') == std::u16string::npos ? 0 : node.rfind(u'\\'));
      continue;
    }
    if (move == KV_Object::NODE_NEXT) node.resize(node.rfind(u'\\'));
    node += u"\\";
    node += name;
    props();
  }
  KV_Mem_Obj::operator delete(data);
  return out;
}

#endif  // KVSTORE_TESTUTIL_TREE_WALK_H_
