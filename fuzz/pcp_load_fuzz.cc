// Copyright the kvstore authors.
//
// The input is a PCP file, read from a memory stream: with an error handler
// that lets every report go on (the tree must then be savable), with no
// handler (the first report is thrown), and for its version. The first load
// reads the input twice in a row from one stream, so that a pen block or a
// default block left open carries into the second copy.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_util.h"
#include "fuzz/legacy_fuzz.h"
#include "kvstore/kv_object.h"
#include "legacy/kv_pcp_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  {
    GoOnHandler handler;
    KV_Object object(&handler);
    const std::string twice = bytes + "\n" + bytes;
    const bool completed =
        fuzz_load_legacy(object, twice.data(), twice.size(), KV_Object::FT_PCP, u"\\");
    fuzz_check_legacy_tree(object, completed, false);
  }
  {
    KV_Object object;
    fuzz_load_legacy(object, bytes.data(), bytes.size(), KV_Object::FT_PCP, u"\\below\\root");
  }
  fuzz_legacy_version<KV_PCPFile>(bytes.data(), bytes.size());
  return 0;
}
