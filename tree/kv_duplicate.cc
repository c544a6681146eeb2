// Copyright the kvstore authors.
//
// KV_Object::newIterator and KV_Object::duplicate: the operations of the
// object that walk a sub-tree.
#include <memory>
#include <vector>

#include "kvstore/kv_exceptions.h"
#include "kvstore/kv_iterator.h"
#include "kvstore/kv_object.h"
#include "tree/kv_node.h"
#include "tree/kv_path.h"
#include "tree/kv_property.h"
#include "tree/kv_rendering.h"
#include "tree/kv_revision.h"

namespace {

constexpr const char16_t* kDuplicate = u"KV_Object::duplicate()";

// Gives target a copy of prop (type, typeChecked flag and bytes) unless
// target has a property of that name, which is left as it is.
void copy_property(KV_Node* target, const KV_Property* prop) {
  if (target->FindProp(prop->m_name) != nullptr) return;
  KV_Property* copy = target->AppendProp(prop->m_name);
  copy->m_typeChecked = prop->m_typeChecked;
  copy->m_type = prop->m_type;
  if (prop->has_value()) copy->SetData(prop->data(), prop->size());
}

void copy_properties(KV_Node* target, const std::vector<const KV_Property*>& props) {
  for (const KV_Property* prop : props) copy_property(target, prop);
}

// Copies the properties of the iterator's current node one by one, as
// nextProp lists them: each value is rendered, so one that cannot be
// rendered throws, and the ones before it stay copied.
void copy_current_properties(KV_Node* target, KV_Iterator& it) {
  KV_Rendering r;
  while (r.next(it) != nullptr) copy_property(target, it.currentProp());
}

// The properties of the iterator's current node, as nextProp lists them.
std::vector<const KV_Property*> list_properties(KV_Iterator& it) {
  std::vector<const KV_Property*> props;
  KV_Rendering r;
  while (r.next(it) != nullptr) props.push_back(it.currentProp());
  return props;
}

// One move of the walk of the source, with the properties of the node it
// reaches.
struct Step {
  KV_Object::NodeType move;
  const char16_t* name;
  std::vector<const KV_Property*> props;
};

// Follows the walk in the destination: a stack of destination nodes whose
// top corresponds to the walked source node.
class DestinationChain {
 public:
  DestinationChain(KV_Node* top, int depth, const char16_t* destination)
      : m_nodes{top}, m_depth(depth), m_destination(destination) {}

  KV_Node* top() const { return m_nodes.back(); }

  // Applies a move of the walk; returns the node whose properties are to be
  // copied, or null after a step back up.
  KV_Node* apply(KV_Object::NodeType move, const char16_t* name) {
    if (move == KV_Object::NODE_UP) {
      if (m_nodes.size() > 1) m_nodes.pop_back();
      return nullptr;
    }
    if (move == KV_Object::NODE_NEXT && m_nodes.size() > 1) m_nodes.pop_back();
    if (m_depth + static_cast<int>(m_nodes.size()) > KV_Path::kMaxComponents) {
      throw KV_Warning(51, kDuplicate, m_destination, kRevKvobj);
    }
    KV_Node* parent = m_nodes.back();
    KV_Node* child = parent->FindChild(name);
    if (child == nullptr) child = parent->AppendChild(name);
    m_nodes.push_back(child);
    return child;
  }

 private:
  std::vector<KV_Node*> m_nodes;
  int m_depth;  // components of the destination path
  const char16_t* m_destination;
};

}  // namespace

KV_Iterator* KV_Object::newIterator(const char16_t* path, int depth) const {
  try {
    return new KV_Iterator(this, path, depth);
  } catch (const KV_Warning&) {
    return nullptr;
  }
}

void KV_Object::duplicate(const char16_t* source, const char16_t* destination) {
  if (m_root == nullptr) throw KV_Severe(50, kDuplicate, u"m_root", kRevKvobj);
  KV_Path destinationPath(m_strings, destination, true);
  KV_Path sourcePath(m_strings, source, true);
  if (sourcePath.count() > 0) {
    const char16_t* last = sourcePath.component(sourcePath.count() - 1);
    for (int i = 0; i < destinationPath.count(); ++i) {
      if (destinationPath.component(i) == last) throw KV_Severe(70, kDuplicate, nullptr, kRevKvobj);
    }
  }
  std::unique_ptr<KV_Iterator> it(newIterator(source, 0));
  if (it == nullptr) throw KV_Memory_Exception(55, kDuplicate, u"piter", kRevKvobj);

  // A source with no components is the root, whose walk would meet the
  // nodes that the copy creates: that copy works from a record of the walk
  // made before anything changes.
  const bool whole_tree = sourcePath.count() == 0;
  std::vector<Step> record;
  std::vector<const KV_Property*> start_props;
  if (whole_tree) {
    start_props = list_properties(*it);
    KV_Object::NodeType move;
    while (const char16_t* name = it->nextNode(move)) {
      Step step{move, name, {}};
      if (move != NODE_UP) step.props = list_properties(*it);
      record.push_back(std::move(step));
    }
  }

  KV_Node* target = m_root->AddNode(destinationPath, true, true);
  DestinationChain chain(target, destinationPath.count(), destination);
  if (whole_tree) {
    copy_properties(target, start_props);
    for (const Step& step : record) {
      if (KV_Node* node = chain.apply(step.move, step.name)) copy_properties(node, step.props);
    }
    return;
  }
  copy_current_properties(target, *it);
  KV_Object::NodeType move;
  while (const char16_t* name = it->nextNode(move)) {
    if (KV_Node* node = chain.apply(move, name)) copy_current_properties(node, *it);
  }
}
