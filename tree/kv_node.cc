// Copyright the kvstore authors.
#include "tree/kv_node.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "tree/kv_alloc.h"
#include "tree/kv_path.h"
#include "tree/kv_path_strings.h"
#include "tree/kv_property.h"
#include "tree/kv_table_memory.h"

namespace {

// An open-addressing table (linear probing, at most half full) from interned
// name to the first element of a list that carries it. Names are interned,
// so the pointer is the key and hashing it is enough.
//
// A slot keeps the name and the element's predecessor in the list (null for
// the head): the element is the predecessor's next, or the head. Knowing the
// predecessor makes unlinking an element constant time; a probe compares
// names without reading any element.
template <typename T>
class NameTable {
 public:
  struct Slot {
    const char16_t* name;  // null: the slot is free
    T* pred;
  };

  NameTable() = default;
  NameTable(const NameTable&) = delete;
  NameTable& operator=(const NameTable&) = delete;
  ~NameTable() { kv_table_free(m_slots, Bytes()); }

  bool active() const { return m_slots != nullptr; }
  // Whether the list holds a name twice (which its owner's contract
  // forbids; the index then answers as the scan from the head would).
  bool duplicates() const { return m_duplicates; }

  // Frees the table: the list is scanned again until the next long scan.
  void Reset() {
    kv_table_free(m_slots, Bytes());
    m_slots = nullptr;
    m_mask = 0;
    m_count = 0;
    m_duplicates = false;
  }

  // The slot of name, or null.
  Slot* Lookup(const char16_t* name) const {
    for (std::size_t i = Home(name);; i = (i + 1) & m_mask) {
      Slot* slot = &m_slots[i];
      if (slot->name == name) return slot;
      if (slot->name == nullptr) return nullptr;
    }
  }

  // The element of a slot in the list that starts at head.
  static T* ElementOf(const Slot& slot, T* head) {
    return slot.pred != nullptr ? slot.pred->m_next : head;
  }

  // The first element named name in the list that starts at head, or null.
  T* Find(const char16_t* name, T* head) const {
    const Slot* slot = Lookup(name);
    return slot != nullptr ? ElementOf(*slot, head) : nullptr;
  }

  // Indexes the list that starts at first, in list order, so that the first
  // element of each name is the one found. False when memory ran out (the
  // table is then left inactive).
  bool Build(T* first) {
    std::size_t length = 0;
    for (T* e = first; e != nullptr; e = e->m_next) ++length;
    std::size_t capacity = 32;
    while (capacity < 2 * length + 2) capacity *= 2;
    if (!Allocate(capacity)) return false;
    T* pred = nullptr;
    for (T* e = first; e != nullptr; pred = e, e = e->m_next) Place(e->m_name, pred);
    return true;
  }

  // Adds the element whose predecessor is pred, unless its name is present
  // already (a later element of a name is never the first). False when
  // memory ran out while growing; the table then lacks the element and must
  // be Reset.
  bool Insert(const char16_t* name, T* pred) {
    if (2 * (m_count + 1) > m_mask + 1) {
      Slot* old = m_slots;
      std::size_t old_capacity = m_mask + 1;
      const bool duplicates = m_duplicates;
      if (!Allocate(2 * old_capacity)) {
        m_slots = old;
        return false;
      }
      m_duplicates = duplicates;
      for (std::size_t i = 0; i < old_capacity; ++i) {
        if (old[i].name != nullptr) Place(old[i].name, old[i].pred);
      }
      kv_table_free(old, old_capacity * sizeof(Slot));
    }
    Place(name, pred);
    return true;
  }

  // Removes the slot of name.
  void Erase(const char16_t* name) {
    std::size_t i = Home(name);
    while (m_slots[i].name != name) {
      if (m_slots[i].name == nullptr) return;
      i = (i + 1) & m_mask;
    }
    // Backward-shift deletion: pull up every later entry of the cluster that
    // may not stay behind the hole.
    for (std::size_t j = (i + 1) & m_mask; m_slots[j].name != nullptr; j = (j + 1) & m_mask) {
      std::size_t home = Home(m_slots[j].name);
      bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
      if (!stays) {
        m_slots[i] = m_slots[j];
        i = j;
      }
    }
    m_slots[i] = Slot{nullptr, nullptr};
    --m_count;
  }

 private:
  std::size_t Bytes() const { return m_slots != nullptr ? (m_mask + 1) * sizeof(Slot) : 0; }

  std::size_t Home(const char16_t* name) const {
    uint64_t key = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(name));
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & m_mask;
  }

  bool Allocate(std::size_t capacity) {
    m_slots = static_cast<Slot*>(kv_table_alloc(capacity * sizeof(Slot)));
    if (m_slots == nullptr) return false;
    m_mask = capacity - 1;
    m_count = 0;
    m_duplicates = false;
    return true;
  }

  void Place(const char16_t* name, T* pred) {
    std::size_t i = Home(name);
    while (m_slots[i].name != nullptr) {
      if (m_slots[i].name == name) {
        m_duplicates = true;
        return;
      }
      i = (i + 1) & m_mask;
    }
    m_slots[i] = Slot{name, pred};
    ++m_count;
  }

  Slot* m_slots = nullptr;
  std::size_t m_mask = 0;
  std::size_t m_count = 0;
  bool m_duplicates = false;
};

// Unlinks target from the list first..last whose index is table (or null),
// keeping the index right. False when target is not in the list.
template <typename T>
bool unlink(T*& first, T*& last, NameTable<T>* table, T* target) {
  if (table != nullptr && !table->active()) table = nullptr;
  T* before = nullptr;
  bool found = false;
  bool was_first = false;  // target is the first of its name
  if (table != nullptr) {
    if (const auto* slot = table->Lookup(target->m_name)) {
      if (NameTable<T>::ElementOf(*slot, first) == target) {
        before = slot->pred;
        found = was_first = true;
      }
    }
  }
  if (!found) {
    // Not indexed, or a later element of a repeated name: scan.
    T* e = first;
    for (; e != nullptr && e != target; before = e, e = e->m_next) {
    }
    if (e == nullptr) return false;
  }
  T* after = target->m_next;
  if (before == nullptr) {
    first = after;
  } else {
    before->m_next = after;
  }
  if (last == target) last = before;
  if (table != nullptr) {
    // The one element whose predecessor was target now follows before.
    if (after != nullptr) {
      auto* slot = table->Lookup(after->m_name);
      if (slot != nullptr && slot->pred == target) slot->pred = before;
    }
    if (was_first) {
      table->Erase(target->m_name);
      if (table->duplicates()) {
        // A later element of the same name, if any, becomes the first.
        T* pred = before;
        T* same = after;
        while (same != nullptr && same->m_name != target->m_name) {
          pred = same;
          same = same->m_next;
        }
        if (same != nullptr && !table->Insert(same->m_name, pred)) table->Reset();
      }
    }
  }
  target->m_next = nullptr;
  return true;
}

}  // namespace

// The root's memo of its last resolved prefix: a copy of the text and, for
// each component, the position of the "\\" that ends it and its node. The
// memo is valid up to the "\\" after its last component.
struct KV_Node::PrefixMemo {
  struct Level {
    std::size_t end;
    KV_Node* node;
  };

  PrefixMemo() = default;
  PrefixMemo(const PrefixMemo&) = delete;
  PrefixMemo& operator=(const PrefixMemo&) = delete;
  ~PrefixMemo() {
    kv_free(text);
    kv_free(levels);
  }

  // Room for a text of length units and levels components; false (the memo
  // emptied) when memory runs out.
  bool Reserve(std::size_t length, std::size_t depth) {
    try {
      if (length > textCapacity) Grow(text, textCapacity, length);
      if (depth > levelCapacity) Grow(levels, levelCapacity, depth);
    } catch (const std::bad_alloc&) {
      count = 0;
      return false;
    }
    return true;
  }

  template <typename T>
  void Grow(T*& items, std::size_t& capacity, std::size_t needed) {
    std::size_t grown = capacity < 16 ? 16 : capacity;
    while (grown < needed) grown *= 2;
    auto* bigger = static_cast<T*>(kv_alloc(grown * sizeof(T)));
    if (count != 0) std::memcpy(bigger, items, capacity * sizeof(T));
    kv_free(items);
    items = bigger;
    capacity = grown;
  }

  char16_t* text = nullptr;
  std::size_t textCapacity = 0;
  Level* levels = nullptr;
  std::size_t levelCapacity = 0;
  std::size_t count = 0;
};

struct KV_Node::Index {
  NameTable<KV_Node> children;
  NameTable<KV_Property> props;
  PrefixMemo memo;  // used on the root only
};

KV_Node::KV_Node(KV_PathStrings* strings, const char16_t* name, KV_Node* parent)
    : m_strings(strings),
      m_name(name),
      m_parent(parent),
      m_next(nullptr),
      m_firstChild(nullptr),
      m_lastChild(nullptr),
      m_firstProp(nullptr),
      m_lastProp(nullptr),
      m_index(nullptr) {}

KV_Node::~KV_Node() {
  DropIndex();
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

void KV_Node::DropIndex() const {
  delete m_index;
  m_index = nullptr;
}

void KV_Node::IndexChildren() const {
  if (m_index == nullptr) m_index = new (std::nothrow) Index;
  if (m_index != nullptr) m_index->children.Build(m_firstChild);
}

void KV_Node::IndexProps() const {
  if (m_index == nullptr) m_index = new (std::nothrow) Index;
  if (m_index != nullptr) m_index->props.Build(m_firstProp);
}

KV_Node::PrefixMemo* KV_Node::Memo() {
  if (m_index == nullptr) m_index = new (std::nothrow) Index;
  return m_index != nullptr ? &m_index->memo : nullptr;
}

void KV_Node::ForgetPrefixes() const {
  const KV_Node* root = this;
  while (root->m_parent != nullptr) root = root->m_parent;
  if (root->m_index != nullptr) root->m_index->memo.count = 0;
}

KV_Node* KV_Node::ResolvePrefix(const char16_t* prefix, std::size_t length, bool create,
                                bool& tooLong) {
  tooLong = false;
  PrefixMemo* memo = Memo();
  // The components that the prefix shares with the memo: those whose
  // closing "\\" lies inside the common text.
  KV_Node* node = this;
  std::size_t pos = 0;
  std::size_t depth = 0;
  if (memo != nullptr && memo->count != 0) {
    const std::size_t valid = memo->levels[memo->count - 1].end + 1;
    // Most often the very same prefix again.
    if (valid == length && std::memcmp(memo->text, prefix, length * sizeof(char16_t)) == 0) {
      return memo->levels[memo->count - 1].node;
    }
    const std::size_t limit = valid < length ? valid : length;
    std::size_t common = 0;
    while (common < limit && memo->text[common] == prefix[common]) ++common;
    depth = memo->count;
    while (depth > 0 && memo->levels[depth - 1].end >= common) --depth;
    memo->count = depth;
    if (depth != 0) {
      node = memo->levels[depth - 1].node;
      pos = memo->levels[depth - 1].end + 1;
    }
  }
  // Components still to resolve: each "\\" that follows a name closes one.
  std::size_t more = 0;
  for (std::size_t i = pos; i < length; ++i) {
    more += prefix[i] == u'\\' && i > 0 && prefix[i - 1] != u'\\';
  }
  if (depth + more > static_cast<std::size_t>(KV_Path::kMaxComponents) - 1) {
    tooLong = true;
    return nullptr;
  }
  if (memo != nullptr) {
    if (memo->Reserve(length, depth + more)) {
      if (length > pos) {
        std::memcpy(memo->text + pos, prefix + pos, (length - pos) * sizeof(char16_t));
      }
    } else {
      memo = nullptr;
    }
  }

  for (std::size_t i = pos; i < length;) {
    while (i < length && prefix[i] == u'\\') ++i;
    if (i == length) break;
    const std::size_t start = i;
    while (i < length && prefix[i] != u'\\') ++i;
    bool created = false;
    const char16_t* name = create ? m_strings->Add(prefix + start, i - start, created)
                                  : m_strings->Acquire(prefix + start, i - start);
    if (name == nullptr) return nullptr;
    // A name new to the table names no child yet.
    KV_Node* child = created ? nullptr : node->FindChild(name);
    if (child == nullptr && create) {
      try {
        child = node->AppendChild(name);
      } catch (...) {
        m_strings->Release(name);
        throw;
      }
    }
    m_strings->Release(name);
    if (child == nullptr) return nullptr;
    node = child;
    // (A prefix always ends with "\\"; a last name without one is not kept.)
    if (memo != nullptr && i < length) memo->levels[memo->count++] = PrefixMemo::Level{i, child};
  }
  return node;
}

bool KV_Node::HasChildIndex() const {
  return m_index != nullptr && m_index->children.active();
}

bool KV_Node::HasPropIndex() const {
  return m_index != nullptr && m_index->props.active();
}

KV_Node* KV_Node::FindChild(const char16_t* name) const {
  if (HasChildIndex()) return m_index->children.Find(name, m_firstChild);
  unsigned scanned = 0;
  KV_Node* child = m_firstChild;
  for (; child != nullptr && child->m_name != name; child = child->m_next) ++scanned;
  if (scanned >= kIndexThreshold) IndexChildren();
  return child;
}

KV_Property* KV_Node::FindProp(const char16_t* name) const {
  if (HasPropIndex()) return m_index->props.Find(name, m_firstProp);
  unsigned scanned = 0;
  KV_Property* prop = m_firstProp;
  for (; prop != nullptr && prop->m_name != name; prop = prop->m_next) ++scanned;
  if (scanned >= kIndexThreshold) IndexProps();
  return prop;
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
  KV_Node* pred = m_lastChild;
  if (pred == nullptr) {
    m_firstChild = child;
  } else {
    pred->m_next = child;
  }
  m_lastChild = child;
  if (HasChildIndex() && !m_index->children.Insert(own, pred)) m_index->children.Reset();
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
  KV_Property* pred = m_lastProp;
  if (pred == nullptr) {
    m_firstProp = prop;
  } else {
    pred->m_next = prop;
  }
  m_lastProp = prop;
  if (HasPropIndex() && !m_index->props.Insert(own, pred)) m_index->props.Reset();
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
  if (!unlink(m_firstProp, m_lastProp, m_index != nullptr ? &m_index->props : nullptr, prop)) {
    return false;
  }
  delete prop;
  return true;
}

bool KV_Node::DeleteChild(KV_Node* child) {
  if (!unlink(m_firstChild, m_lastChild, m_index != nullptr ? &m_index->children : nullptr,
              child)) {
    return false;
  }
  ForgetPrefixes();
  delete child;
  return true;
}
