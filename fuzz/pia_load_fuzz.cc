// Copyright the kvstore authors.
//
// The input is a PIA file, read from a memory stream three times: with an
// error handler that lets every reported error go on (then the loaded tree
// must survive a save and a load), with no handler, so the first reported
// error is thrown, and as UTF-8 text (as sections of sectioned files are
// read). The header line decides between a plain and a compressed body, so
// damaged codec blocks are reached too.
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>

#include "formats/kv_pia_file.h"
#include "formats/kv_srcstreambuf.h"
#include "fuzz/fuzz_util.h"
#include "fuzz/pia_roundtrip.h"
#include "kvstore/gx_exception.h"
#include "kvstore/kv_object.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  {
    GoOnHandler handler;
    KV_Object object(&handler);
    std::stringstream stream(std::string(bytes, size),
                             std::ios::in | std::ios::out | std::ios::binary);
    try {
      object.load(&stream, KV_Object::FT_PIA, u"");
    } catch (const GX_Exception&) {
      // A raised error ends the load; what was stored before it stays.
    }
    fuzz_check_roundtrip(object);
  }
  {
    KV_Object object;
    kv_srcstreambuf buffer(bytes, size);
    std::iostream stream(&buffer);
    try {
      object.load(&stream, KV_Object::FT_PIA, u"\\below\\root");
    } catch (const GX_Exception&) {
    }
  }
  {
    GoOnHandler handler;
    KV_Object object(&handler);
    kv_srcstreambuf buffer(bytes, size);
    std::iostream stream(&buffer);
    KV_PIAFile reader(&handler);
    reader.setUtf8(true);
    reader.setStream(&stream);
    try {
      reader.load(&object, u"\\", KV_Object::FT_PIA);
    } catch (const GX_Exception&) {
    }
    reader.close();
  }
  return 0;
}
