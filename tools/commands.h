// Copyright the kvstore authors.
//
// The commands of kvtool, one function each, called once the command line is
// parsed. Each writes its result to standard output and returns normally, or
// throws: the library's exceptions, ToolError (exit 1) or UsageError (exit 2).
#ifndef KVSTORE_TOOLS_COMMANDS_H_
#define KVSTORE_TOOLS_COMMANDS_H_

#include <optional>
#include <string>
#include <vector>

#include "tree_files.h"

// Options that every command shares.
struct CommonOptions {
  // The kind named with -t; recognised from the file when absent.
  std::optional<FileKind> kind;
  LoadOptions load;
  // The ANSI code page in force (--codepage), already selected in the library.
  unsigned codepage = 1252;
};

void run_dump(const CommonOptions& common, const std::string& file, const std::string& path,
              bool json);

void run_convert(const CommonOptions& common, const std::string& in, const std::string& out,
                 const std::optional<std::string>& to, const std::optional<std::string>& header,
                 bool utf8, const std::string& path);

// Loads the section named descriptor of a DPIA file below --root and prints
// the sub-tree at path as dump does.
void run_section(const CommonOptions& common, const std::string& file,
                 const std::string& descriptor, const std::string& path, bool json);

// Throws ToolError when there is no value at path.
void run_get(const CommonOptions& common, const std::string& file, const std::string& path);

// as is one of int, double, bool, string, raw, or empty for the PIA value
// forms, which the library's own PIA reader recognises.
void run_set(const CommonOptions& common, const std::string& file, const std::string& path,
             const std::string& value, const std::string& as,
             const std::optional<std::string>& header);

void run_rm(const CommonOptions& common, const std::string& file, const std::string& path);

void run_version(const CommonOptions& common, const std::string& file);

// codec is zlib, zlib-crc or huffman; direction is encode or decode.
void run_codec(const std::string& codec, const std::string& direction, const std::string& in,
               const std::string& out);

// The names that run_codec accepts, in the order of the help text.
std::vector<std::string> codec_names();

#endif  // KVSTORE_TOOLS_COMMANDS_H_
