// Copyright the kvstore authors.
//
// The oracles of the fuzz targets of the older plotter configuration files
// (PC2, CFG, PCP). These readers have no writer to round-trip through, so
// the targets check what every load must leave behind.
#ifndef KVSTORE_FUZZ_LEGACY_FUZZ_H_
#define KVSTORE_FUZZ_LEGACY_FUZZ_H_

#include <cstddef>
#include <memory>

#include "fuzz/fuzz_util.h"
#include "kvstore/kv_iterator.h"
#include "kvstore/kv_mem_obj.h"
#include "kvstore/kv_object.h"

// The number of properties in the whole tree.
inline std::size_t fuzz_count_properties(const KV_Object& object) {
  std::unique_ptr<KV_Iterator> it(object.newIterator(u"\\", 0));
  if (it == nullptr) return 0;
  std::size_t count = 0;
  char* data = nullptr;
  std::size_t size = 0;
  PropType type = PROP_NONE;
  while (it->nextProp(data, size, type) != nullptr) ++count;
  KV_Object::NodeType move;
  while (it->nextNode(move) != nullptr) {
    if (move == KV_Object::NODE_UP) continue;
    while (it->nextProp(data, size, type) != nullptr) ++count;
  }
  return count;
}

// A tree that a load built, however the load ended, can be saved: every
// value renders as the PIA writer renders it (a value that cannot be
// rendered throws from the walk, which ends the run). A PC2 or CFG load that
// ended normally holds at least the 1,418 defaults.
inline void fuzz_check_legacy_tree(const KV_Object& object, bool completed, bool defaults) {
  const std::size_t count = fuzz_count_properties(object);
  if (completed && defaults) FUZZ_CHECK(count >= 1418);
}

#endif  // KVSTORE_FUZZ_LEGACY_FUZZ_H_
