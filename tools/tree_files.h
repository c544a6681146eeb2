// Copyright the kvstore authors.
//
// Loading and saving a tree by file kind: JSON by kvtool itself, every other
// kind through the library (which decides which kinds this build serves).
#ifndef KVSTORE_TOOLS_TREE_FILES_H_
#define KVSTORE_TOOLS_TREE_FILES_H_

#include <optional>
#include <string>

#include "file_type.h"
#include "tree_model.h"

struct LoadOptions {
  // Where the file's top node lands in the tree.
  std::u16string root = u"\\";
  // The instance that a CFG file is read for.
  int cfg_section = 1;
};

// Loads the file at path, of the given kind, into tree below options.root.
// Returns the file's header text: for PIA the version line after its first
// comma, for JSON its "header" member; nothing for other kinds. Throws the
// library's exceptions and ToolError.
std::optional<std::string> load_tree(ToolTree& tree, const std::string& path, FileKind kind,
                                     const LoadOptions& options);

struct SaveOptions {
  // The sub-tree to save.
  std::u16string subtree = u"\\";
  // The PIA header text ("compress" when none is given); JSON keeps it as its
  // "header" member when given.
  std::optional<std::string> header;
  // PIA text in UTF-8 instead of the ANSI code page.
  bool utf8 = false;
};

// Saves the sub-tree to path as the given kind, atomically (AtomicFile): a
// failed save leaves the file at path as it was. Throws ToolError when the
// sub-tree does not exist, and what the library throws.
void save_tree(const KV_Object& tree, const std::string& path, FileKind kind,
               const SaveOptions& options);

// The PIA body text of the sub-tree, exactly as the library's PIA writer
// writes it in UTF-8, without the header line and the closing zero byte.
std::string pia_body(const KV_Object& tree, const std::u16string& subtree);

// The version text of the file at path (for PIA, its header line).
std::string file_version(const std::string& path, FileKind kind);

// The header text of a PIA version line: what follows its first comma.
std::string header_text(const std::string& version_line);

#endif  // KVSTORE_TOOLS_TREE_FILES_H_
