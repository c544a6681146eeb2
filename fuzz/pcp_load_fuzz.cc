// Copyright the kvstore authors.
//
// The input is a PCP file, read from a memory stream: with an error handler
// that lets every report go on (the tree must then be savable), with no
// handler (the first report is thrown), and for its version. The first load
// reads the input twice in a row from one stream, so that a pen block or a
// default block left open carries into the second copy.
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
#include "legacy/kv_pcp_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  {
    GoOnHandler handler;
    KV_Object object(&handler);
    std::stringstream stream(bytes + "\n" + bytes, std::ios::in | std::ios::out | std::ios::binary);
    bool completed = true;
    try {
      object.load(&stream, KV_Object::FT_PCP, u"\\");
    } catch (const GX_Exception&) {
      completed = false;
    }
    fuzz_check_legacy_tree(object, completed, false);
  }
  {
    KV_Object object;
    kv_srcstreambuf buffer(bytes.data(), bytes.size());
    std::iostream stream(&buffer);
    try {
      object.load(&stream, KV_Object::FT_PCP, u"\\below\\root");
    } catch (const GX_Exception&) {
    }
  }
  {
    GoOnHandler handler;
    kv_srcstreambuf buffer(bytes.data(), bytes.size());
    std::iostream stream(&buffer);
    KV_PCPFile reader(&handler);
    reader.setStream(&stream);
    char16_t version[8];
    try {
      reader.getVersion(version, sizeof(version) / sizeof(version[0]));
    } catch (const GX_Exception&) {
    }
  }
  return 0;
}
