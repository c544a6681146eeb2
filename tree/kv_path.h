// Copyright the kvstore authors.
//
// KV_Path: a parsed property path. It lives for one operation and holds one
// reference on each of its components in the tree's name table.
#ifndef KVSTORE_TREE_KV_PATH_H_
#define KVSTORE_TREE_KV_PATH_H_

#include "kvstore/kv_mem_obj.h"

class KV_PathStrings;

class KV_Path : public KV_Mem_Obj {
 public:
  static constexpr int kMaxComponents = 256;

  // Splits path at backslashes, dropping empty components, and interns each
  // component. With create false, a component that the table does not hold
  // makes the whole path empty (count 0): nothing it names can exist. A null
  // path has no components. Throws KV_Warning 51 ("KV_Path::KV_Path()", the
  // whole path) for a 257th component; a failed parse holds no references.
  KV_Path(KV_PathStrings* strings, const char16_t* path, bool create);
  KV_Path(const KV_Path&) = delete;
  KV_Path& operator=(const KV_Path&) = delete;
  ~KV_Path() override;

  // The interned text of component i, or null when i is out of range.
  const char16_t* component(int i) const {
    return i >= 0 && i < m_count ? m_components[i] : nullptr;
  }
  int count() const { return m_count; }

 private:
  void ReleaseAll();

  KV_PathStrings* m_strings;
  int m_count;
  const char16_t* m_components[kMaxComponents];
};

#endif  // KVSTORE_TREE_KV_PATH_H_
