// Copyright the kvstore authors.
#include "legacy_version.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>

#include "tool_error.h"
#include "utf.h"

namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// line without one trailing carriage return, leading blanks and tabs and
// trailing blanks.
std::string trimmed(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const std::size_t first = line.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  line.erase(0, first);
  line.erase(line.find_last_not_of(' ') + 1);
  return line;
}

// Narrow text of a file, decoded by the library in the ANSI code page in
// force: it reads the text back as the string value of a one-line PIA body.
std::string decode_ansi(const std::string& bytes) {
  std::stringstream text(std::ios::in | std::ios::out | std::ios::binary);
  text << "PIAFILEVERSION_2.0,\r\nv=\"" << bytes << "\n";
  KV_Object scratch;
  scratch.load(&text, KV_Object::FT_PIA, u"\\");
  const std::size_t size = scratch.getPropertySize(u"\\v");
  std::u16string wide(size / 2, u'\0');
  if (size == 0 || !scratch.GetProperty(u"\\v", wide.data(), size)) return std::string();
  return utf16_to_utf8(wide.c_str());
}

// The version field of a driver description set whose key-text file is at
// key_path.
std::string pdt_set_version(const std::string& key_path) {
  constexpr std::size_t kMaxLineBytes = 2047;
  constexpr int kVersionField = 62;
  const std::size_t slash = key_path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : key_path.substr(0, slash + 1);
  const std::string path = folder + "Global Static Lists.pdt";
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ToolError("cannot read " + path + ": " + std::strerror(errno));
  std::string line;
  std::string ignored;
  // A read error (a folder opens, but cannot be read) ends with an error
  // before a short file gives an empty version.
  const bool has_line2 =
      std::getline(in, ignored) && !in.eof() && (std::getline(in, line) || !line.empty());
  if (in.bad()) throw ToolError("cannot read " + path);
  if (!has_line2) return std::string();
  if (line.size() > kMaxLineBytes) line.resize(kMaxLineBytes);
  if (!in.eof() && !line.empty() && line.back() == '\r') line.pop_back();
  const std::size_t zero = line.find('\0');
  if (zero != std::string::npos) line.resize(zero);
  std::size_t start = 0;
  for (int field = 1; field < kVersionField; ++field) {
    start = line.find('\t', start);
    if (start == std::string::npos) return std::string();
    ++start;
  }
  std::string field = line.substr(start, line.find('\t', start) - start);
  const std::size_t comment = field.find("//");
  if (comment != std::string::npos) {
    field.resize(comment);
    field.erase(field.find_last_not_of(' ') + 1);
  }
  // The PIA reader behind decode_ansi drops trailing blanks, which the set's
  // reader keeps: they are put back after decoding (a blank is one byte in
  // every code page served, and never part of a wider character).
  const std::size_t text_end = field.find_last_not_of(' ') + 1;
  const std::string blanks = field.substr(text_end);
  field.resize(text_end);
  return decode_ansi(field) + blanks;
}

}  // namespace

bool is_legacy_kind(FileKind kind) {
  return kind == FileKind::kPc2 || kind == FileKind::kCfg || kind == FileKind::kPcp ||
         kind == FileKind::kPdt;
}

std::string legacy_file_version(const std::string& path, FileKind kind) {
  if (kind == FileKind::kCfg) throw ToolError(path + ": a CFG file has no version text");
  if (kind == FileKind::kPdt) return pdt_set_version(path);
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ToolError("cannot read " + path + ": " + std::strerror(errno));
  std::string line;
  std::optional<std::string> version;
  while (std::getline(in, line)) {
    const std::size_t zero = line.find('\0');
    if (zero != std::string::npos) line.resize(zero);
    if (kind == FileKind::kPc2) {
      if (line.empty() || line[0] == ';') continue;
      const std::string text = trimmed(line);
      if (lower(line.substr(0, 10)) != "pc2version") {
        throw ToolError(path + ": the first line is no PC2 version line");
      }
      return decode_ansi(text);
    }
    const std::string text = trimmed(line);
    if (text.empty() || text[0] == ';' || text.find('=') == std::string::npos) continue;
    const std::size_t key_end = text.find_first_of(" =");
    if (lower(text.substr(0, key_end)) != "version") continue;
    const std::size_t value = text.find_first_not_of(" =", key_end);
    if (value != std::string::npos) version = text.substr(value);
  }
  if (in.bad()) throw ToolError("cannot read " + path);
  if (!version) {
    throw ToolError(path +
                    (kind == FileKind::kPc2 ? ": no PC2 version line" : ": no VERSION line"));
  }
  return decode_ansi(*version);
}
