// Copyright the kvstore authors.
//
// The oracles of the fuzz targets of the older plotter configuration files
// (PC2, CFG, PCP). These readers have no writer to round-trip through, so
// the targets check what every load must leave behind.
#ifndef KVSTORE_FUZZ_LEGACY_FUZZ_H_
#define KVSTORE_FUZZ_LEGACY_FUZZ_H_

#include <cstddef>
#include <iostream>
#include <memory>

#include "formats/kv_srcstreambuf.h"
#include "fuzz/fuzz_util.h"
#include "kvstore/gx_exception.h"
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

// Loads the bytes as a file of type below root from a memory stream; false
// when the load ended with an exception.
inline bool fuzz_load_legacy(KV_Object& object, const char* bytes, std::size_t size,
                             KV_Object::FileType type, const char16_t* root) {
  kv_srcstreambuf buffer(bytes, size);
  std::iostream stream(&buffer);
  try {
    object.load(&stream, type, root);
  } catch (const GX_Exception&) {
    return false;
  }
  return true;
}

// Asks a Reader (KV_PC2File, KV_PCPFile) for the version of the bytes into a
// small buffer, with a handler that lets every report go on.
template <typename Reader>
void fuzz_legacy_version(const char* bytes, std::size_t size) {
  GoOnHandler handler;
  kv_srcstreambuf buffer(bytes, size);
  std::iostream stream(&buffer);
  Reader reader(&handler);
  reader.setStream(&stream);
  char16_t version[8];
  try {
    reader.getVersion(version, sizeof(version) / sizeof(version[0]));
  } catch (const GX_Exception&) {
  }
}

#endif  // KVSTORE_FUZZ_LEGACY_FUZZ_H_
