// Copyright the kvstore authors.
//
// A driver description set in a temporary folder for one test: every file of
// the set with two header lines, a key-text file, and helpers to give a file
// its data lines, load the set and read the tree.
#ifndef KVSTORE_TESTUTIL_PDT_SET_H_
#define KVSTORE_TESTUTIL_PDT_SET_H_

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "kvstore/kv_iterator.h"
#include "kvstore/kv_object.h"
#include "testutil/pdt_files.h"
#include "testutil/temp_dir.h"

class PdtSet {
 public:
  // The files of a set, as they are named in its folder.
  static const std::vector<std::string>& file_names() { return pdt_file_names(); }

  PdtSet() {
    for (const std::string& name : file_names()) headers_only(name);
    keys("");
  }

  // Gives file (named without ".pdt") two header lines and the data lines,
  // each followed by a line feed; fields are joined by TAB by the caller.
  void file(const std::string& name, const std::vector<std::string>& data) {
    std::string bytes = "Name\tText\tThird\tFourth\nheader line 2\n";
    for (const std::string& line : data) bytes += line + "\n";
    raw(name, bytes);
  }
  void headers_only(const std::string& name) { file(name, {}); }
  // Writes the bytes of file name (without ".pdt") as they are.
  void raw(const std::string& name, const std::string& bytes) {
    write_file(m_dir.path() / (name + ".pdt"), bytes);
  }
  void remove(const std::string& name) { std::filesystem::remove(m_dir.path() / (name + ".pdt")); }
  void keys(const std::string& bytes) { write_file(m_dir.path() / "keys.txt", bytes); }

  std::u16string key_file() const { return m_dir.file("keys.txt"); }
  const std::filesystem::path& folder() const { return m_dir.path(); }

  // Loads the set through the dispatch.
  void load(KV_Object& object, const char16_t* root = u"\\M") const {
    object.load(key_file().c_str(), KV_Object::FT_PDT, root);
  }

 private:
  TempDir m_dir;
};

// ---- Reading the loaded tree; each gives a marker value when the property
// is missing or of another type.

inline int get_int(const KV_Object& o, const std::u16string& path) {
  int value = -999999;
  return o.GetProperty(path.c_str(), value) ? value : -999999;
}
inline double get_double(const KV_Object& o, const std::u16string& path) {
  double value = -999999;
  return o.GetProperty(path.c_str(), value) ? value : -999999;
}
inline std::string get_bool(const KV_Object& o, const std::u16string& path) {
  bool value = false;
  if (!o.GetProperty(path.c_str(), value)) return "missing";
  return value ? "true" : "false";
}
// The string as UTF-8; "<missing>" when there is none.
inline std::string get_text(const KV_Object& o, const std::u16string& path) {
  char16_t buffer[5000];
  if (!o.GetProperty(path.c_str(), buffer, sizeof(buffer))) return "<missing>";
  std::string out;
  for (const char16_t* p = buffer; *p != 0; ++p) {
    if (*p < 0x80) {
      out.push_back(static_cast<char>(*p));
    } else if (*p < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (*p >> 6)));
      out.push_back(static_cast<char>(0x80 | (*p & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (*p >> 12)));
      out.push_back(static_cast<char>(0x80 | ((*p >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (*p & 0x3F)));
    }
  }
  return out;
}
inline bool has(const KV_Object& o, const std::u16string& path) {
  return o.getPropertySize(path.c_str()) != 0;
}
// Whether a node stands at path (pathExists asks less: whether the last
// name is held anywhere in the tree).
inline bool has_node(const KV_Object& o, const std::u16string& path) {
  std::unique_ptr<KV_Iterator> it(o.newIterator(path.c_str(), 0));
  return it != nullptr && it->currentNode() != nullptr;
}

// The PIA text (UTF-8, without header line and closing zero byte) of the
// sub-tree at path.
inline std::string pia_text(const KV_Object& o, const char16_t* path = u"\\") {
  std::stringstream stream;
  o.save(&stream, KV_Object::FT_PIA, u"", path, true);
  std::string text = stream.str();
  text.erase(0, text.find("\r\n") + 2);
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

#endif  // KVSTORE_TESTUTIL_PDT_SET_H_
