// Copyright the kvstore authors.
//
// The version text of the older plotter configuration files. The library's
// version query serves PIA and DOC files only, so kvtool reads these lines
// itself, by the rules of the library's readers:
//   PC2  the first line that is neither empty nor begins with ";", without
//        its carriage return, leading blanks and tabs and trailing blanks;
//        it must begin with "PC2Version" (any case)
//   PCP  the value of the last line "VERSION=..." (key in any case)
//   CFG  none: such files carry no version
//   PDT  field 62 of line 2 of "Global Static Lists.pdt" in the folder of
//        the key-text file, as the set's reader gives it: lines end at LF or
//        CR LF and are cut at 2047 bytes, a line's text ends at its first
//        zero byte, fields are separated by TAB, and "//" ends a field
//        together with the blanks before it; empty when the line or the
//        field is missing
// The text is decoded by the library in the ANSI code page in force.
#ifndef KVSTORE_TOOLS_LEGACY_VERSION_H_
#define KVSTORE_TOOLS_LEGACY_VERSION_H_

#include <string>

#include "file_type.h"

// True for the kinds that legacy_file_version serves (PC2, CFG, PCP, PDT).
bool is_legacy_kind(FileKind kind);

// The version text of the file at path as UTF-8. Throws ToolError when the
// file cannot be read or carries no version text.
std::string legacy_file_version(const std::string& path, FileKind kind);

#endif  // KVSTORE_TOOLS_LEGACY_VERSION_H_
