// Copyright the kvstore authors.
#include "tree_files.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "atomic_file.h"
#include "error_report.h"
#include "json_tree.h"
#include "legacy_version.h"
#include "tool_error.h"
#include "utf.h"

namespace {

// Room for a version line; the library cuts longer ones.
constexpr std::size_t kVersionUnits = 1024;

std::string read_whole_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ToolError("cannot read " + path + ": " + std::strerror(errno));
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw ToolError("cannot read " + path);
  return bytes;
}

void require_node(const KV_Object& tree, const std::u16string& path) {
  // An iterator that stands on no node tells a missing node from an empty one.
  std::unique_ptr<KV_Iterator> iterator(tree.newIterator(path.c_str(), -1));
  if (iterator == nullptr || iterator->currentNode() == nullptr) {
    throw ToolError("no node at " + utf16_to_utf8(path));
  }
}

}  // namespace

std::string header_text(const std::string& version_line) {
  const std::size_t comma = version_line.find(',');
  return comma == std::string::npos ? std::string() : version_line.substr(comma + 1);
}

std::optional<std::string> load_tree(ToolTree& tree, const std::string& path, FileKind kind,
                                     const LoadOptions& options) {
  const Activity activity("the tree of " + path);
  if (kind == FileKind::kJson) {
    JsonTree document = tree_from_json(read_whole_file(path));
    write_subtree(tree, options.root, document.root);
    return document.header;
  }
  const FileKindInfo& info = kind_info(kind);
  const std::u16string name = utf8_to_utf16(path);
  if (info.type == KV_Object::FT_CFG) {
    tree.load_cfg_section(name.c_str(), info.type, options.root.c_str(), options.cfg_section);
  } else {
    tree.load(name.c_str(), info.type, options.root.c_str());
  }
  if (kind != FileKind::kPia) return std::nullopt;
  return header_text(file_version(path, kind));
}

void save_tree(const KV_Object& tree, const std::string& path, FileKind kind,
               const SaveOptions& options) {
  const Activity activity("the new content of " + path);
  require_node(tree, options.subtree);
  if (kind == FileKind::kJson) {
    JsonTree document;
    read_subtree(tree, options.subtree, document.root);
    document.header = options.header;
    write_file_atomically(path, tree_to_json(document));
    return;
  }
  AtomicFile file(path);
  const std::u16string header = utf8_to_utf16(options.header.value_or("compress"));
  tree.save(utf8_to_utf16(file.temp_path()).c_str(), kind_info(kind).type, header.c_str(),
            options.subtree.c_str(), options.utf8);
  file.commit();
}

std::string pia_body(const KV_Object& tree, const std::u16string& subtree) {
  const Activity activity("the PIA text of " + utf16_to_utf8(subtree));
  require_node(tree, subtree);
  std::stringstream stream(std::ios::in | std::ios::out | std::ios::binary);
  tree.save(&stream, KV_Object::FT_PIA, u"", subtree.c_str(), true);
  std::string text = stream.str();
  const std::size_t header_end = text.find("\r\n");
  text.erase(0, header_end == std::string::npos ? text.size() : header_end + 2);
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

// The library answers version queries for PIA (through the PCP type) and
// DOC files only; a DPIA file's version is its first word.
std::string dpia_version(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  unsigned char word[4] = {};
  if (!in.read(reinterpret_cast<char*>(word), sizeof word)) {
    throw ToolError("cannot read the version word of " + path);
  }
  if (word[0] == 0 && word[1] == 0 && word[3] == 0 && (word[2] == 1 || word[2] == 2)) {
    return word[2] == 1 ? "DPIA_VERSION_1.0" : "DPIA_VERSION_2.0";
  }
  throw ToolError(path + " has no DPIA version word");
}

std::string file_version(const std::string& path, FileKind kind) {
  if (kind == FileKind::kJson) throw ToolError(path + ": a JSON file has no version text");
  if (kind == FileKind::kDpia) return dpia_version(path);
  if (is_legacy_kind(kind)) return legacy_file_version(path, kind);
  KV_Object reader;
  char16_t version[kVersionUnits] = {};
  reader.getFileVersion(utf8_to_utf16(path).c_str(), version, kVersionUnits,
                        kind_info(kind).version);
  return utf16_to_utf8(version);
}
