// Copyright the kvstore authors.
//
// The first byte chooses the instance (-1 to 6), the rest is a CFG file,
// read from a memory stream: with an error handler that lets every report
// go on (the tree must then be savable, and hold every default when the load
// ended normally) and with no handler (the first report is thrown; skipped
// when there was none).
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <string>

#include "formats/kv_srcstreambuf.h"
#include "fuzz/fuzz_util.h"
#include "fuzz/legacy_fuzz.h"
#include "kvstore/gx_exception.h"
#include "kvstore/kv_object.h"
#include "legacy/kv_pc2_file.h"

namespace {

bool load(KV_Object& object, GX_Error_Handler* handler, const char* bytes, size_t size,
          int instance) {
  kv_srcstreambuf buffer(bytes, size);
  std::iostream stream(&buffer);
  KV_CFGFile reader(handler);
  reader.setStream(&stream);
  try {
    reader.load_section(&object, u"\\", instance);
  } catch (const GX_Exception&) {
    return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int instance = data[0] % 8 - 1;
  const char* bytes = reinterpret_cast<const char*>(data + 1);
  {
    GoOnHandler handler;
    KV_Object object(&handler);
    const bool completed = load(object, &handler, bytes, size - 1, instance);
    fuzz_check_legacy_tree(object, completed, true);
    // Without reports a load without a handler would do the same again.
    if (handler.reports() == 0) return 0;
  }
  {
    KV_Object object;
    load(object, nullptr, bytes, size - 1, instance);
  }
  return 0;
}
