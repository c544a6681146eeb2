// Copyright the kvstore authors.
#include "file_type.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

// How much of a file the recognition looks at.
constexpr std::size_t kHeadSize = 4096;

bool is_blank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The older plotter configuration files, told by their first line that is
// not blank: a PCP file by its header comment, a PC2 file by its version
// line, a CFG file by a first section whose name holds an instance number.
// Other comments before that line are passed over.
std::optional<FileKind> legacy_kind_from_content(std::string_view text) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    std::size_t first = 0;
    while (first < line.size() && is_blank(static_cast<unsigned char>(line[first]))) ++first;
    line.remove_prefix(first);
    if (line.empty()) continue;
    if (line.front() == ';') {
      if (lower(line.substr(0, 18)) == ";created by orvane") return FileKind::kPcp;
      continue;
    }
    if (lower(line.substr(0, 10)) == "pc2version") return FileKind::kPc2;
    const std::string_view section = line.substr(0, line.find(']'));
    if (line.front() == '[' && section.find('#') != std::string_view::npos) return FileKind::kCfg;
    return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

const std::vector<FileKindInfo>& file_kinds() {
  static const std::vector<FileKindInfo> kinds = {
      {FileKind::kPia, "pia", KV_Object::FT_PIA, KV_Object::FT_PCP},
      {FileKind::kPcp, "pcp", KV_Object::FT_PCP, KV_Object::FT_PCP},
      {FileKind::kPc2, "pc2", KV_Object::FT_PC2, KV_Object::FT_PC2},
      {FileKind::kDoc, "doc", KV_Object::FT_DOC, KV_Object::FT_DOC},
      {FileKind::kPdt, "pdt", KV_Object::FT_PDT, KV_Object::FT_PDT},
      {FileKind::kDpia, "dpia", KV_Object::FT_DPIA, KV_Object::FT_DPIA},
      {FileKind::kCfg, "cfg", KV_Object::FT_CFG, KV_Object::FT_CFG},
      {FileKind::kJson, "json", KV_Object::FT_PIA, KV_Object::FT_PIA},
  };
  return kinds;
}

const FileKindInfo& kind_info(FileKind kind) {
  for (const FileKindInfo& info : file_kinds()) {
    if (info.kind == kind) return info;
  }
  return file_kinds().front();
}

std::vector<std::string> kind_names() {
  std::vector<std::string> names;
  for (const FileKindInfo& info : file_kinds()) names.emplace_back(info.name);
  return names;
}

std::optional<FileKind> kind_from_name(std::string_view name) {
  const std::string wanted = lower(name);
  for (const FileKindInfo& info : file_kinds()) {
    if (wanted == info.name) return info.kind;
  }
  return std::nullopt;
}

std::optional<FileKind> kind_from_content(std::string_view head) {
  static constexpr unsigned char kCompoundSignature[8] = {0xD0, 0xCF, 0x11, 0xE0,
                                                          0xA1, 0xB1, 0x1A, 0xE1};
  if (head.size() >= 8 && std::memcmp(head.data(), kCompoundSignature, 8) == 0) {
    return FileKind::kDoc;
  }
  if (head.size() >= 4 && head[0] == 0 && head[1] == 0 && (head[2] == 1 || head[2] == 2) &&
      head[3] == 0) {
    return FileKind::kDpia;
  }
  std::string_view text = head;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::size_t first = 0;
  while (first < text.size() && is_blank(static_cast<unsigned char>(text[first]))) ++first;
  text.remove_prefix(first);
  if (!text.empty() && text.front() == '{') return FileKind::kJson;
  static constexpr std::string_view kPiaMark = "piafileversion_";
  if (text.size() >= kPiaMark.size() && lower(text.substr(0, kPiaMark.size())) == kPiaMark) {
    return FileKind::kPia;
  }
  return legacy_kind_from_content(text);
}

std::optional<FileKind> kind_from_extension(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  if (extension.size() < 2) return std::nullopt;
  return kind_from_name(std::string_view(extension).substr(1));
}

FileKind recognise_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (in) {
    std::string head(kHeadSize, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    if (std::optional<FileKind> kind = kind_from_content(head)) return *kind;
  }
  return kind_from_extension(path).value_or(FileKind::kPia);
}
