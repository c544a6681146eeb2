// Copyright the kvstore authors.
#include "kvstore/kv_mem_obj.h"

#include <cstdlib>
#include <new>

#include "tree/kv_alloc.h"

KV_Mem_Obj::~KV_Mem_Obj() = default;

void* KV_Mem_Obj::alloc(std::size_t size) {
  if (size == 0) size = 1;
  for (;;) {
    void* p = std::malloc(size);
    if (p != nullptr) return p;
    std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}

void* KV_Mem_Obj::operator new(std::size_t size) {
  return alloc(size);
}

void KV_Mem_Obj::operator delete(void* p) noexcept {
  std::free(p);
}

void* kv_alloc(std::size_t size) {
  return KV_Mem_Obj::alloc(size);
}
