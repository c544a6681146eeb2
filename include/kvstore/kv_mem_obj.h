// Copyright the kvstore authors.
//
// KV_Mem_Obj: the allocation base of the library's classes. Every buffer that
// the library hands to a host (codec results, stringtobinary results, the
// renderings of KV_Iterator::nextProp) comes from its allocator; a host gives
// such a buffer back with KV_Mem_Obj::operator delete.
#ifndef KVSTORE_KV_MEM_OBJ_H_
#define KVSTORE_KV_MEM_OBJ_H_

#include <cstddef>

#include "kvstore/export.h"

class KV_EXPORT KV_Mem_Obj {
 public:
  KV_Mem_Obj() = default;
  KV_Mem_Obj(const KV_Mem_Obj&) = default;
  KV_Mem_Obj& operator=(const KV_Mem_Obj&) = default;
  virtual ~KV_Mem_Obj();

  // Objects of the library's classes come from the same allocator.
  static void* operator new(std::size_t size);
  // Returns memory from the library's allocator; null is accepted.
  static void operator delete(void* p) noexcept;

 private:
  // Memory from the general allocator. While the process's new-handler can
  // free memory it keeps trying; then it throws std::bad_alloc.
  static void* alloc(std::size_t size);
  friend void* kv_alloc(std::size_t size);
};

#endif  // KVSTORE_KV_MEM_OBJ_H_
