// Copyright the kvstore authors.
//
// The input is a DPIA file, read from exactly its bytes (so that the
// sanitizers see any read past them): its directory with a handler that
// lets every report go on and with none, then up to eight of the sections
// its directory names, and one that it does not name. A directory that
// loads must store one node per entry below DPIA_directory.
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "formats/kv_dpia_file.h"
#include "formats/kv_srcstreambuf.h"
#include "fuzz/fuzz_util.h"
#include "kvstore/gx_exception.h"
#include "kvstore/kv_iterator.h"
#include "kvstore/kv_object.h"

namespace {

constexpr std::size_t kMaxSections = 8;

std::size_t count_children(const KV_Object& object, const char16_t* path) {
  std::unique_ptr<KV_Iterator> it(object.newIterator(path, 1));
  std::size_t count = 0;
  KV_Object::NodeType move;
  while (it != nullptr && it->nextNode(move) != nullptr && move != KV_Object::NODE_UP) ++count;
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  std::vector<std::u16string> descriptors;
  for (bool withHandler : {true, false}) {
    GoOnHandler handler;
    KV_Object object(withHandler ? &handler : nullptr);
    kv_srcstreambuf buffer(bytes, size);
    std::iostream stream(&buffer);
    KV_DPIAFile reader(withHandler ? &handler : nullptr);
    reader.setStream(&stream);
    bool loaded = true;
    try {
      reader.load(&object, u"\\top", KV_Object::FT_DPIA);
    } catch (const GX_Exception&) {
      loaded = false;
    }
    reader.close();
    if (loaded && withHandler) {
      FUZZ_CHECK(count_children(object, u"\\top\\DPIA_directory") == reader.sections().size());
      for (const auto& section : reader.sections()) {
        if (descriptors.size() == kMaxSections) break;
        descriptors.push_back(section.descriptor);
      }
    }
  }
  descriptors.push_back(u"no such section");
  for (const std::u16string& descriptor : descriptors) {
    GoOnHandler handler;
    KV_Object object(&handler);
    kv_srcstreambuf buffer(bytes, size);
    std::iostream stream(&buffer);
    KV_DPIAFile reader(&handler);
    reader.setStream(&stream);
    try {
      reader.load_section(&object, u"\\section", descriptor.c_str());
    } catch (const GX_Exception&) {
    }
    reader.close();
  }
  return 0;
}
