// Copyright the kvstore authors.
//
// A host of an installed kvstore, built outside the project's tree: once
// through the CMake package, once through pkg-config. It checks that the
// headers and the library it runs with agree, reads a configuration file,
// saves it compressed and reads it back, and shows the message text of an
// error, which needs the message library installed beside libkvstore.
//
// Usage: host FILE SCRATCH, with FILE examples/printer.pia and SCRATCH a file
// that may be written. Exit status 0 when every step worked.
#include <kvstore/kvstore.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string utf8(const char16_t* text) {
  return kv_utf16_to_utf8(text, std::char_traits<char16_t>::length(text));
}

int fail(const char* what) {
  std::printf("FAILED: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return fail("usage: host FILE SCRATCH");
  if (kv_version() != KVSTORE_VERSION || std::strcmp(kv_version_string(), KVSTORE_VERSION_STRING)) {
    return fail("the library's version differs from its headers'");
  }
  std::printf("kvstore %s\n", kv_version_string());

  const std::u16string file = kv_utf8_to_utf16(argv[1], std::strlen(argv[1]));
  const std::u16string scratch = kv_utf8_to_utf16(argv[2], std::strlen(argv[2]));
  try {
    KV_Object device;
    device.load(file.c_str(), KV_Object::FT_PIA, u"\\");
    char16_t model[64] = {};
    int firmware = 0;
    double width = 0;
    if (!device.GetProperty(u"\\model", model, sizeof(model))) return fail("model");
    if (!device.GetProperty(u"\\firmware", firmware)) return fail("firmware");
    if (!device.GetProperty(u"\\media\\sizes\\ISO_A1\\width", width)) return fail("width");
    std::printf("model: %s\nfirmware: %d\nISO_A1 width: %.1f\n", utf8(model).c_str(), firmware,
                width);

    device.save(scratch.c_str(), KV_Object::FT_PIA, u"compress", u"\\media");
    KV_Object media;
    media.load(scratch.c_str(), KV_Object::FT_PIA, u"\\");
    if (!media.GetProperty(u"\\sizes\\ISO_A1\\width", width)) return fail("compressed reload");
    std::printf("reloaded ISO_A1 width: %.1f\n", width);

    try {
      device.SetProperty(u"\\firmware", 4.12);
      return fail("a double stored over an int");
    } catch (const KV_Warning& e) {
      const char16_t* text = kv_message_text(e.module(), e.id());
      if (text == nullptr) return fail("no message text: libkvres14.so was not found");
      std::printf("error %u: %s\n", e.id(), utf8(text).c_str());
    }
  } catch (const GX_Exception& e) {
    std::printf("FAILED: %s\n", e.what());
    return 1;
  }
  return 0;
}
