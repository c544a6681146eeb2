// Copyright the kvstore authors.
//
// Memory for the hash tables of the tree (the name table, the indexes of
// wide lists): zeroed slots, in one block.
//
// A table of 2 MiB or more is probed at random places, so it is mapped from
// the system on its own, in huge pages where the system gives them (one TLB
// entry then covers 2 MiB of slots instead of 4 KiB), and its zeroes come
// from fresh pages rather than from a pass over the whole table. Smaller
// tables come from the general allocator, which reuses what the process
// freed.
#ifndef KVSTORE_TREE_KV_TABLE_MEMORY_H_
#define KVSTORE_TREE_KV_TABLE_MEMORY_H_

#include <cstddef>

// size bytes, zeroed; null when memory runs out (never throws).
void* kv_table_alloc(std::size_t size);
// Releases a block of kv_table_alloc(size); null is accepted.
void kv_table_free(void* p, std::size_t size);

#endif  // KVSTORE_TREE_KV_TABLE_MEMORY_H_
