// Copyright the kvstore authors.
#include "tree/kv_node.h"

#include "tree/kv_path.h"
#include "tree/kv_path_strings.h"
#include "tree/kv_property.h"

KV_Node::KV_Node(KV_PathStrings* strings, const char16_t* name, KV_Node* parent)
    : m_strings(strings),
      m_name(name),
      m_parent(parent),
      m_next(nullptr),
      m_firstChild(nullptr),
      m_lastChild(nullptr),
      m_firstProp(nullptr),
      m_lastProp(nullptr) {}

KV_Node::~KV_Node() {
  delete m_firstProp;  // destroys the whole chain
  m_firstProp = m_lastProp = nullptr;
  // Children and siblings are destroyed in loops; only the depth of the tree
  // (bounded by the 256 components of a path) is recursion.
  for (KV_Node* child = m_firstChild; child != nullptr;) {
    KV_Node* next = child->m_next;
    child->m_next = nullptr;
    delete child;
    child = next;
  }
  m_firstChild = m_lastChild = nullptr;
  for (KV_Node* sibling = m_next; sibling != nullptr;) {
    KV_Node* next = sibling->m_next;
    sibling->m_next = nullptr;
    delete sibling;
    sibling = next;
  }
  m_next = nullptr;
  if (m_name != nullptr) m_strings->Release(m_name);
}

KV_Node* KV_Node::FindChild(const char16_t* name) const {
  for (KV_Node* child = m_firstChild; child != nullptr; child = child->m_next) {
    if (child->m_name == name) return child;
  }
  return nullptr;
}

KV_Property* KV_Node::FindProp(const char16_t* name) const {
  for (KV_Property* prop = m_firstProp; prop != nullptr; prop = prop->m_next) {
    if (prop->m_name == name) return prop;
  }
  return nullptr;
}

KV_Node* KV_Node::AppendChild(const char16_t* name) {
  m_strings->Retain(name);
  const char16_t* own = name;
  KV_Node* child;
  try {
    child = new KV_Node(m_strings, own, this);
  } catch (...) {
    m_strings->Release(own);
    throw;
  }
  if (m_lastChild == nullptr) {
    m_firstChild = child;
  } else {
    m_lastChild->m_next = child;
  }
  m_lastChild = child;
  return child;
}

KV_Property* KV_Node::AppendProp(const char16_t* name) {
  m_strings->Retain(name);
  const char16_t* own = name;
  KV_Property* prop;
  try {
    prop = new KV_Property(m_strings, own);
  } catch (...) {
    m_strings->Release(own);
    throw;
  }
  if (m_lastProp == nullptr) {
    m_firstProp = prop;
  } else {
    m_lastProp->m_next = prop;
  }
  m_lastProp = prop;
  return prop;
}

KV_Node* KV_Node::AddNode(const KV_Path& path, bool create, bool includeLast) {
  int n = includeLast ? path.count() : path.count() - 1;
  KV_Node* node = this;
  for (int i = 0; i < n; ++i) {
    const char16_t* name = path.component(i);
    KV_Node* child = node->FindChild(name);
    if (child == nullptr) {
      if (!create) return nullptr;
      child = node->AppendChild(name);
    }
    node = child;
  }
  return node;
}

KV_Property* KV_Node::AddProp(const char16_t* name) {
  // The name is looked up by content first, so that a caller's own text
  // works as well as an interned pointer.
  const char16_t* own = m_strings->Add(name);
  if (FindProp(own) != nullptr) {
    m_strings->Release(own);
    return nullptr;
  }
  KV_Property* prop = AppendProp(own);
  m_strings->Release(own);
  return prop;
}

bool KV_Node::DeleteProp(KV_Property* prop) {
  KV_Property* before = nullptr;
  for (KV_Property* p = m_firstProp; p != nullptr; before = p, p = p->m_next) {
    if (p != prop) continue;
    if (before == nullptr) {
      m_firstProp = p->m_next;
    } else {
      before->m_next = p->m_next;
    }
    if (m_lastProp == p) m_lastProp = before;
    p->m_next = nullptr;
    delete p;
    return true;
  }
  return false;
}

bool KV_Node::DeleteChild(KV_Node* child) {
  KV_Node* before = nullptr;
  for (KV_Node* c = m_firstChild; c != nullptr; before = c, c = c->m_next) {
    if (c != child) continue;
    if (before == nullptr) {
      m_firstChild = c->m_next;
    } else {
      before->m_next = c->m_next;
    }
    if (m_lastChild == c) m_lastChild = before;
    c->m_next = nullptr;
    delete c;
    return true;
  }
  return false;
}
