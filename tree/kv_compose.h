// Copyright the kvstore authors.
//
// Composition of a path and an index into one path text.
#ifndef KVSTORE_TREE_KV_COMPOSE_H_
#define KVSTORE_TREE_KV_COMPOSE_H_

#include <cstddef>

// The work buffer of a composed path, terminator included.
inline constexpr std::size_t kComposedPathUnits = 1024;

// Writes path composed with index to out: the first "*" replaced by the
// index, else (index not -1) the index appended as a last component, else the
// path unchanged. A null path counts as empty. Returns out, or null when the
// composed text would take 1023 units or more (it then writes nothing
// useful); when path needs no change it may return path itself.
const char16_t* kv_compose_path(const char16_t* path, int index,
                                char16_t (&out)[kComposedPathUnits]);

#endif  // KVSTORE_TREE_KV_COMPOSE_H_
