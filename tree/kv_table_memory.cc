// Copyright the kvstore authors.
#include "tree/kv_table_memory.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

void* kv_table_alloc(std::size_t size) {
  if (size >= kHugePage) {
    const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
    void* p = std::aligned_alloc(kHugePage, rounded);
    if (p != nullptr) {
      ::madvise(p, rounded, MADV_HUGEPAGE);
      std::memset(p, 0, size);
      return p;
    }
  }
  return std::calloc(1, size);
}

void kv_table_free(void* p) {
  std::free(p);
}
