// Copyright the kvstore authors.
//
// Memory for the hash tables of the tree (the name table, the indexes of
// wide lists). A large table is probed at random places, so it is asked for
// in huge pages where the system gives them: one TLB entry then covers 2 MiB
// of slots instead of 4 KiB.
#ifndef KVSTORE_TREE_KV_TABLE_MEMORY_H_
#define KVSTORE_TREE_KV_TABLE_MEMORY_H_

#include <cstddef>

// size bytes, zeroed; null when memory runs out (never throws).
void* kv_table_alloc(std::size_t size);
void kv_table_free(void* p);

#endif  // KVSTORE_TREE_KV_TABLE_MEMORY_H_
