// Copyright the kvstore authors.
//
// What the two codecs share: the source name of their reports, the buffer
// type of a block (freed with kv_free, as the caller of encode and decode
// frees what it gets), the failure and allocation reports, and run(), which
// turns a block operation into the codecs' bool-and-handler interface.
#ifndef KVSTORE_CODECS_KV_CODEC_BLOCK_H_
#define KVSTORE_CODECS_KV_CODEC_BLOCK_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "kvstore/gx_exception.h"
#include "kvstore/kv_exceptions.h"
#include "tree/kv_alloc.h"
#include "tree/kv_report.h"
#include "tree/kv_revision.h"

namespace kv_codec_block {

constexpr const char16_t* kSource = u"kv_compress";

struct Free {
  void operator()(void* p) const { kv_free(p); }
};
using Buffer = std::unique_ptr<unsigned char, Free>;

[[noreturn]] inline void fail(unsigned id) {
  throw KV_Severe(id, kSource, u"", kRevKvCompress);
}

// kv_alloc reports exhaustion with std::bad_alloc, which the codecs let
// through; the null test keeps each buffer's message (what) should it ever
// answer null instead.
inline void* allocate_raw(std::size_t size, const char16_t* what) {
  void* p = kv_alloc(size);
  if (p == nullptr) throw KV_Memory_Exception(55, kSource, what, kRevKvCompress);
  return p;
}

inline Buffer allocate(std::size_t size, const char16_t* what) {
  return Buffer(static_cast<unsigned char*>(allocate_raw(size, what)));
}

// Runs one operation: its result goes to (out, outSize) on success; a
// library exception goes to the handler and gives false with out null.
template <typename Operation>
bool run(GX_Error_Handler* handler, unsigned char*& out, uint32_t& outSize, Operation operation) {
  out = nullptr;
  outSize = 0;
  try {
    uint32_t size = 0;
    Buffer result = operation(size);
    out = result.release();
    outSize = size;
    return true;
  } catch (const GX_Exception& e) {
    if (handler != nullptr) kv_report_to_handler(handler, e);
    return false;
  }
}

}  // namespace kv_codec_block

#endif  // KVSTORE_CODECS_KV_CODEC_BLOCK_H_
