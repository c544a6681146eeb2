// Copyright the kvstore authors.
//
// KV_Rendering: the value rendering that KV_Iterator::nextProp hands out,
// held for the library's own walks so that the last one is always released.
#ifndef KVSTORE_TREE_KV_RENDERING_H_
#define KVSTORE_TREE_KV_RENDERING_H_

#include <cstddef>

#include "kvstore/kv_iterator.h"
#include "kvstore/kv_object.h"
#include "tree/kv_alloc.h"

struct KV_Rendering {
  char* data = nullptr;
  std::size_t size = 0;
  PropType type = PROP_NONE;

  KV_Rendering() = default;
  KV_Rendering(const KV_Rendering&) = delete;
  KV_Rendering& operator=(const KV_Rendering&) = delete;
  ~KV_Rendering() {
    if (data != nullptr && size != 0) kv_free(data);
  }

  // The next property of the iterator's current node, or null.
  const char16_t* next(KV_Iterator& it) { return it.nextProp(data, size, type); }
};

#endif  // KVSTORE_TREE_KV_RENDERING_H_
