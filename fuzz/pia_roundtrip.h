// Copyright the kvstore authors.
//
// The round-trip oracle of the PIA targets: a tree that a load produced,
// saved as PIA text, loads again into the same tree, so saving that second
// tree gives the same text.
#ifndef KVSTORE_FUZZ_PIA_ROUNDTRIP_H_
#define KVSTORE_FUZZ_PIA_ROUNDTRIP_H_

#include <cstddef>
#include <sstream>
#include <string>

#include "fuzz/fuzz_util.h"
#include "kvstore/gx_exception.h"
#include "kvstore/kv_object.h"

// The whole tree of object as plain PIA text. A tree that a load built must
// always be savable.
inline std::string fuzz_save_tree(const KV_Object& object) {
  std::stringstream out(std::ios::in | std::ios::out | std::ios::binary);
  bool saved = true;
  try {
    object.save(&out, KV_Object::FT_PIA, u"", u"\\", false);
  } catch (const GX_Exception& e) {
    std::fprintf(stderr, "save failed: %s\n", e.what());
    saved = false;
  }
  FUZZ_CHECK(saved);
  return out.str();
}

// Names and values that the format cannot carry, so that a tree holding them
// is not expected to survive a save and a load: a name that begins with ";"
// or a white-space character other than the blank (the reader takes such a
// line for a comment or skips the character), a node name with a character
// that node lines refuse or with a "{", a property name with a "*" (the
// reader stores through the index composition, which puts -1 in place of the
// first "*"), and a double that is not finite (its text begins with a
// letter).
inline bool fuzz_pia_text_is_portable(const std::string& text) {
  static const char kForbidden[] = " *=\"'\t\r\n\v\b\f\a{";
  std::size_t pos = text.find('\n');  // the header line
  while (pos != std::string::npos && pos + 1 < text.size()) {
    std::size_t start = pos + 1;
    pos = text.find('\n', start);
    std::string line =
        text.substr(start, pos == std::string::npos ? std::string::npos : pos - start);
    std::size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos) continue;
    line.erase(0, first);
    if (line == std::string(1, '\0')) continue;  // the closing zero byte
    const char c = line[0];
    if (c == ';' || c == '\t' || c == '\v' || c == '\f' || c == '\r') return false;
    std::size_t equals = line.find('=');
    if (equals == std::string::npos) {
      if (line == "}") continue;
      std::string name = line.substr(0, line.size() - 1);  // without the "{"
      if (name.find_first_of(kForbidden, 0, sizeof(kForbidden) - 1) != std::string::npos) {
        return false;
      }
      continue;
    }
    if (line.find('*') < equals) return false;
    const std::string value = line.substr(equals + 1);
    for (const char* word : {"inf", "-inf", "nan", "-nan"}) {
      if (value.compare(0, std::string(word).size(), word) == 0) return false;
    }
  }
  return true;
}

// Saves object, loads the text into a new tree and saves that: the two texts
// must be equal whenever the first is portable.
inline void fuzz_check_roundtrip(const KV_Object& object) {
  const std::string first = fuzz_save_tree(object);
  if (!fuzz_pia_text_is_portable(first)) return;
  GoOnHandler handler;
  KV_Object again(&handler);
  std::stringstream in(first, std::ios::in | std::ios::out | std::ios::binary);
  bool loaded = true;
  try {
    again.load(&in, KV_Object::FT_PIA, u"");
  } catch (const GX_Exception& e) {
    std::fprintf(stderr, "reload failed: %s\n", e.what());
    loaded = false;
  }
  FUZZ_CHECK(loaded);
  FUZZ_CHECK(handler.reports() == 0);
  const std::string second = fuzz_save_tree(again);
  if (first != second) {
    std::fprintf(stderr, "saved:\n%s\nsaved again:\n%s\n", first.c_str(), second.c_str());
  }
  FUZZ_CHECK(first == second);
}

#endif  // KVSTORE_FUZZ_PIA_ROUNDTRIP_H_
