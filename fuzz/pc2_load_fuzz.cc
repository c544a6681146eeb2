// Copyright the kvstore authors.
//
// The input is a PC2 file, read from a memory stream: with an error handler
// that lets every report go on (the tree must then be savable, and hold
// every default when the load ended normally), with no handler (the first
// report is thrown; skipped when there was none), and for its version into a
// small buffer.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_util.h"
#include "fuzz/legacy_fuzz.h"
#include "kvstore/kv_object.h"
#include "legacy/kv_pc2_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  bool reported = true;
  {
    GoOnHandler handler;
    KV_Object object(&handler);
    const bool completed = fuzz_load_legacy(object, bytes, size, KV_Object::FT_PC2, u"\\");
    fuzz_check_legacy_tree(object, completed, true);
    reported = handler.reports() > 0;
  }
  // Without reports a load without a handler would do the same again.
  if (reported) {
    KV_Object object;
    fuzz_load_legacy(object, bytes, size, KV_Object::FT_PC2, u"\\below\\root");
  }
  fuzz_legacy_version<KV_PC2File>(bytes, size);
  return 0;
}
