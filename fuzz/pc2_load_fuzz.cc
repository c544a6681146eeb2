// Copyright the kvstore authors.
//
// The input is a PC2 file, read from a memory stream: with an error handler
// that lets every report go on (the tree must then be savable, and hold
// every default when the load ended normally), with no handler (the first
// report is thrown; skipped when there was none), and for its version into a
// small buffer.
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>

#include "formats/kv_srcstreambuf.h"
#include "fuzz/fuzz_util.h"
#include "fuzz/legacy_fuzz.h"
#include "kvstore/gx_exception.h"
#include "kvstore/kv_object.h"
#include "legacy/kv_pc2_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  bool reported = true;
  {
    GoOnHandler handler;
    KV_Object object(&handler);
    std::stringstream stream(std::string(bytes, size),
                             std::ios::in | std::ios::out | std::ios::binary);
    bool completed = true;
    try {
      object.load(&stream, KV_Object::FT_PC2, u"\\");
    } catch (const GX_Exception&) {
      completed = false;
    }
    fuzz_check_legacy_tree(object, completed, true);
    reported = handler.reports() > 0;
  }
  // Without reports a load without a handler would do the same again.
  if (reported) {
    KV_Object object;
    kv_srcstreambuf buffer(bytes, size);
    std::iostream stream(&buffer);
    try {
      object.load(&stream, KV_Object::FT_PC2, u"\\below\\root");
    } catch (const GX_Exception&) {
    }
  }
  {
    GoOnHandler handler;
    kv_srcstreambuf buffer(bytes, size);
    std::iostream stream(&buffer);
    KV_PC2File reader(&handler);
    reader.setStream(&stream);
    char16_t version[8];
    try {
      reader.getVersion(version, sizeof(version) / sizeof(version[0]));
    } catch (const GX_Exception&) {
    }
  }
  return 0;
}
