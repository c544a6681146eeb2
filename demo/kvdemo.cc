// Copyright the kvstore authors.
//
// kvdemo: a small host of the library. It keeps a device's settings in a
// KV_Object, reads them back, sizes and deletes them, and shows the message
// text of an error that it provokes on purpose.
#include <kvstore/kvstore.h>

#include <cstdio>
#include <string>

namespace {

std::string utf8(const char16_t* text) {
  return text != nullptr ? kv_utf16_to_utf8(text, std::char_traits<char16_t>::length(text))
                         : std::string();
}

void show_exception(const GX_Exception& e) {
  const char16_t* text = kv_message_text(e.module(), e.id());
  std::printf("  caught %s %u: %s\n    source: %s\n    argument: %s\n",
              e.severity() == 1   ? "warning"
              : e.severity() == 2 ? "error"
                                  : "severe error",
              e.id(), text != nullptr ? utf8(text).c_str() : "(message library not found)",
              utf8(e.source()).c_str(), e.argument() ? utf8(e.argument()).c_str() : "(none)");
}

}  // namespace

int main() {
  KV_Object device;

  std::printf("Setting values:\n");
  device.SetProperty(u"\\media\\default_size", u"ISO A4");
  device.SetProperty(u"\\media\\width", 210.0);
  device.SetProperty(u"\\pens\\*\\color", 0x0000FF, 1);
  device.SetProperty(u"\\pens\\*\\color", 0x00FF00, 2);
  device.SetProperty(u"\\io\\duplex", true);
  const unsigned char id[2] = {0x01, 0xAB};
  device.setVoidProperty(u"\\media\\tray\\id", id, sizeof(id));
  std::printf(
      "  \\media\\default_size, \\media\\width, \\pens\\1\\color, \\pens\\2\\color,\n"
      "  \\io\\duplex and \\media\\tray\\id\n");

  std::printf("Reading them back:\n");
  char16_t size_name[64] = {};
  if (device.GetProperty(u"\\media\\default_size", size_name, sizeof(size_name))) {
    std::printf("  \\media\\default_size = \"%s\" (%zu bytes)\n", utf8(size_name).c_str(),
                device.getPropertySize(u"\\media\\default_size"));
  }
  double width = 0;
  if (device.GetProperty(u"\\media\\width", width)) {
    std::printf("  \\media\\width = %.1f\n", width);
  }
  for (int pen = 1; pen <= 3; ++pen) {
    int color = 0;
    if (device.GetProperty(u"\\pens\\*\\color", color, pen)) {
      std::printf("  \\pens\\%d\\color = 0x%06X\n", pen, color);
    } else {
      std::printf("  \\pens\\%d\\color is not set\n", pen);
    }
  }
  bool duplex = false;
  device.GetProperty(u"\\io\\duplex", duplex);
  std::printf("  \\io\\duplex = %s\n", duplex ? "true" : "false");
  unsigned char raw[2] = {};
  if (device.getVoidProperty(u"\\media\\tray\\id", raw, sizeof(raw))) {
    std::printf("  \\media\\tray\\id = %02X %02X\n", raw[0], raw[1]);
  }

  std::printf("Deleting \\pens\\2:\n");
  device.deletePath(u"\\pens\\2");
  std::printf("  \\pens\\1 exists: %s, \\pens\\2\\color readable: %s\n",
              device.pathExists(u"\\pens\\1\\color") ? "yes" : "no",
              device.GetProperty(u"\\pens\\2\\color", width) ? "yes" : "no");

  std::printf(
      "Reading \\media\\width as an integer is refused by the getter (false);\n"
      "storing an integer there throws:\n");
  try {
    device.SetProperty(u"\\media\\width", 297);
  } catch (const GX_Exception& e) {
    show_exception(e);
  }
  try {
    device.deletePath(u"\\media\\nothing_here");
  } catch (const GX_Exception& e) {
    show_exception(e);
  }
  return 0;
}
