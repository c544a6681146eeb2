// Copyright the kvstore authors.
//
// The kinds of file that kvtool reads and writes, and how a file's kind is
// recognised when the command line does not name it.
#ifndef KVSTORE_TOOLS_FILE_TYPE_H_
#define KVSTORE_TOOLS_FILE_TYPE_H_

#include <kvstore/kvstore.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class FileKind { kPia, kPcp, kPc2, kDoc, kPdt, kDpia, kCfg, kJson };

// One row of the table of kinds. Every kind but JSON is served by the library
// through its FileType; which of them a given build loads or saves is the
// library's business (it throws KV_Warning 67 for the others), so a format
// that the library gains needs no change here.
struct FileKindInfo {
  FileKind kind;
  const char* name;             // the -t value and the file name extension
  KV_Object::FileType type;     // the library's type (unused for JSON)
  KV_Object::FileType version;  // the type that getFileVersion takes for it
};

// Every kind, in the order of the -t choices.
const std::vector<FileKindInfo>& file_kinds();
const FileKindInfo& kind_info(FileKind kind);
std::vector<std::string> kind_names();
std::optional<FileKind> kind_from_name(std::string_view name);

// The kind told by the first bytes of a file:
//   DOC   the compound-file signature D0 CF 11 E0 A1 B1 1A E1
//   DPIA  the version word 00 00 01 00 or 00 00 02 00
//   PIA   the first non-blank line begins with "PIAFILEVERSION_" (any case)
//   JSON  the first non-blank byte (after a UTF-8 byte order mark) is "{"
//   and, by the first line that is neither blank nor a comment:
//   PCP   a comment ";Created by Orvane" (any case) comes first
//   PC2   the line begins with "PC2Version" (any case)
//   CFG   the line is a section "[name#N...]" with an instance number
std::optional<FileKind> kind_from_content(std::string_view head);

// The kind told by the extension of path (".pia", ".json", ...; any case).
std::optional<FileKind> kind_from_extension(const std::string& path);

// The kind of the file at path: by its content, then by its extension, else
// PIA. A file that cannot be read is judged by its extension alone.
FileKind recognise_file(const std::string& path);

#endif  // KVSTORE_TOOLS_FILE_TYPE_H_
