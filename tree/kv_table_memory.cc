// Copyright the kvstore authors.
#include "tree/kv_table_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace {

// Tables of this size or more are mapped on their own, in huge pages.
constexpr std::size_t kHugePage = std::size_t{2} << 20;

bool mapped(std::size_t size) {
  return size >= kHugePage;
}

std::size_t rounded(std::size_t size) {
  return (size + kHugePage - 1) / kHugePage * kHugePage;
}

}  // namespace

void* kv_table_alloc(std::size_t size) {
  if (!mapped(size)) return std::calloc(1, size);
  // Map a huge page more than needed, then trim both ends to a block that
  // starts on a huge-page boundary.
  const std::size_t length = rounded(size);
  void* area = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (area == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<uintptr_t>(area);
  const uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
  if (aligned > start) ::munmap(area, aligned - start);
  const uintptr_t tail = start + length + kHugePage - (aligned + length);
  if (tail > 0) ::munmap(reinterpret_cast<void*>(aligned + length), tail);
  ::madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
  return reinterpret_cast<void*>(aligned);
}

void kv_table_free(void* p, std::size_t size) {
  if (p == nullptr) return;
  if (mapped(size)) {
    ::munmap(p, rounded(size));
  } else {
    std::free(p);
  }
}
