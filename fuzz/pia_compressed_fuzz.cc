// Copyright the kvstore authors.
//
// The input after its first byte is the body text of a PIA file. The target
// compresses it into a valid file (version 1.0 with a plain codec block or
// 2.0 with a block with check value, as the first byte's low bit says) and
// loads it, with a handler that goes on or with none (second bit). The same
// body is loaded from a plain file too: both loads must end alike (same
// error, or none) and give the same tree.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz/fuzz_util.h"
#include "fuzz/pia_roundtrip.h"
#include "kvstore/gx_exception.h"
#include "kvstore/kv_codec.h"
#include "kvstore/kv_object.h"
#include "tree/kv_alloc.h"

namespace {

struct Outcome {
  bool raised = false;
  unsigned id = 0;
  int reports = 0;
  std::string tree;
};

Outcome load(const std::string& file, bool withHandler) {
  Outcome outcome;
  GoOnHandler handler;
  KV_Object object(withHandler ? &handler : nullptr);
  std::stringstream stream(file, std::ios::in | std::ios::out | std::ios::binary);
  try {
    object.load(&stream, KV_Object::FT_PIA, u"\\top");
  } catch (const GX_Exception& e) {
    outcome.raised = true;
    outcome.id = e.id();
  }
  outcome.reports = handler.reports();
  outcome.tree = fuzz_save_tree(object);
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool version1 = (data[0] & 1) != 0;
  const bool withHandler = (data[0] & 2) != 0;
  const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);

  KV_zlib_Codec codec(reinterpret_cast<const unsigned char*>(body.data()),
                      static_cast<uint32_t>(body.size()));
  unsigned char* block = nullptr;
  uint32_t blockSize = 0;
  const bool encoded =
      version1 ? codec.encode(block, blockSize) : codec.encodeCRC(block, blockSize);
  FUZZ_CHECK(encoded);
  const std::string version = version1 ? "PIAFILEVERSION_1.0," : "PIAFILEVERSION_2.0,";
  std::string compressed = version + "compress\r\n";
  compressed.append(reinterpret_cast<const char*>(block), blockSize);
  kv_free(block);

  const Outcome packed = load(compressed, withHandler);
  const Outcome plain = load(version + "\r\n" + body, withHandler);
  FUZZ_CHECK(packed.raised == plain.raised);
  FUZZ_CHECK(packed.id == plain.id);
  FUZZ_CHECK(packed.reports == plain.reports);
  FUZZ_CHECK(packed.tree == plain.tree);
  return 0;
}
