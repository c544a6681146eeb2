// Copyright the kvstore authors.
//
// The library's allocator for owned buffers (names, values, exception
// arguments, buffers handed to hosts). Buffers go back through kv_free.
#ifndef KVSTORE_TREE_KV_ALLOC_H_
#define KVSTORE_TREE_KV_ALLOC_H_

#include <cstddef>

#include "kvstore/kv_mem_obj.h"

// size bytes (at least one byte is allocated for 0). Throws std::bad_alloc
// when the process's new-handler cannot free enough memory.
void* kv_alloc(std::size_t size);

inline void kv_free(void* p) {
  KV_Mem_Obj::operator delete(p);
}

#endif  // KVSTORE_TREE_KV_ALLOC_H_
