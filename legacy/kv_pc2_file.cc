// Copyright the kvstore authors.
#include "legacy/kv_pc2_file.h"

#include <cerrno>
#include <cstring>
#include <istream>
#include <iterator>
#include <unordered_map>
#include <vector>

#include "kvstore/kv_convert.h"
#include "kvstore/kv_exceptions.h"
#include "legacy/kv_legacy_text.h"
#include "toolkit/u16_text.h"
#include "tree/kv_alloc.h"
#include "tree/kv_compose.h"
#include "tree/kv_revision.h"

namespace {

constexpr const char16_t* kLoadSource = u"KV_PC2File::load()";
constexpr const char16_t* kVersionSource = u"KV_PC2File::getVersion()";
constexpr const char16_t* kSectionSource = u"KV_CFGFile::load_section()";

constexpr std::size_t kVersionUnits = 512;

constexpr PropType kInt = PROP_INT;
constexpr PropType kDbl = PROP_DOUBLE;
constexpr PropType kStr = PROP_STRING;
constexpr PropType kBin = PROP_VOID;

// The key table: path, type, default, first index, last index.
constexpr KV_PC2Key kKeys[] = {
    {u"PlotDriver\\Configured", kInt, 0, 0, 0},
    {u"PlotDriver\\Type", kInt, 0, 0, 0},
    {u"PlotDriver\\External", kInt, 0, 0, 0},
    {u"PlotDriver\\Alias", kInt, 0, 0, 0},
    {u"PlotDriver\\QEV_Level", kInt, 0, 0, 0},
    {u"PlotDriver\\MenuName", kStr, 0, 0, 0},
    {u"PlotDriver\\PathName", kStr, 0, 0, 0},
    {u"PlotDriver\\PlotterId", kStr, 0, 0, 0},
    {u"PlotDriver\\Stream", kStr, 0, 0, 0},

    {u"Plotter/Device\\ConfigRecord", kInt, 0, 0, 0},
    {u"Plotter/Device\\OptionFlags", kInt, 0, 0, 0},
    {u"Plotter/Device\\ModelIndex", kInt, 0, 0, 0},
    {u"Plotter/Device\\InterfaceType", kInt, 0, 0, 0},
    {u"Plotter/Device\\Pens", kInt, 0, 0, 0},
    {u"Plotter/Device\\MenuName", kStr, 0, 0, 0},
    {u"Plotter/Device\\ExecutableName", kStr, 0, 0, 0},
    {u"Plotter/Device\\DriverName", kStr, 0, 0, 0},
    {u"Plotter/Device\\DriverData", kBin, 0, 0, 0},

    {u"Plotter/Device/PenTable\\Pens", kInt, 0, 0, 0},
    {u"Plotter/Device/PenTable\\Color", kInt, 0, 1, 255},

    {u"Plotter/Device/WidthTable\\Widths", kInt, 0, 0, 0},
    {u"Plotter/Device/WidthTable\\Color", kDbl, 0, 1, 255},

    {u"Plotter/Device/SpeedTable\\MaxSpeed", kInt, 0, 0, 0},
    {u"Plotter/Device/SpeedTable\\Color", kInt, 0, 1, 255},

    {u"Plotter/Device/LineTypeTable\\Types", kInt, 0, 0, 0},
    {u"Plotter/Device/LineTypeTable\\Color", kInt, 0, 1, 255},

    {u"Plotter/Port\\Local", kInt, 0, 0, 0},
    {u"Plotter/Port\\Enabled", kInt, 0, 0, 0},
    {u"Plotter/Port\\Handshaking", kInt, 0, 0, 0},
    {u"Plotter/Port\\DeviceIndex", kInt, 0, 0, 0},
    {u"Plotter/Port\\IOType", kInt, 0, 0, 0},
    {u"Plotter/Port\\Link", kInt, -1, 0, 0},
    {u"Plotter/Port\\ReadTimeOut", kInt, 0, 0, 0},
    {u"Plotter/Port\\WriteTimeOut", kInt, 0, 0, 0},
    {u"Plotter/Port\\ReceiveTimeOut", kInt, 0, 0, 0},
    {u"Plotter/Port\\TransmitTimeOut", kInt, 0, 0, 0},
    {u"Plotter/Port\\PortName", kStr, 0, 0, 0},
    {u"Plotter/Port\\ServerName", kStr, 0, 0, 0},
    {u"Plotter/Port\\WinDeviceName", kStr, 0, 0, 0},
    {u"Plotter/Port\\WinDriver", kStr, 0, 0, 0},
    {u"Plotter/Port\\DCB", kBin, 0, 0, 0},

    {u"Plotter/User\\DeviceDriverCell", kInt, 0, 1, 2},
    {u"Plotter/User\\BaudRate", kInt, 0, 0, 0},
    {u"Plotter/User\\IsMetric", kInt, 0, 0, 0},
    {u"Plotter/User\\OptimizationLevel", kInt, 0, 0, 0},
    {u"Plotter/User\\MaxOptlevel", kInt, 0, 0, 0},
    {u"Plotter/User\\PortType", kInt, 0, 0, 0},
    {u"Plotter/User\\Parity", kInt, 0, 0, 0},
    {u"Plotter/User\\DataBits", kInt, 0, 0, 0},
    {u"Plotter/User\\StopBits", kInt, 0, 0, 0},
    {u"Plotter/User\\Handshaking", kInt, 0, 0, 0},
    {u"Plotter/User\\Flags", kInt, 0, 0, 0},
    {u"Plotter/User\\PlotWidth", kDbl, 0, 0, 0},
    {u"Plotter/User\\PlotHeight", kDbl, 0, 0, 0},
    {u"Plotter/User\\MaxWidth", kDbl, 0, 0, 0},
    {u"Plotter/User\\MaxHeight", kDbl, 0, 0, 0},
    {u"Plotter/User\\UserWidth", kDbl, 0, 1, 5},
    {u"Plotter/User\\UserHeight", kDbl, 0, 1, 5},
    {u"Plotter/User\\WidthIncrement", kDbl, 0, 0, 0},
    {u"Plotter/User\\HeightIncrement", kDbl, 0, 0, 0},
    {u"Plotter/User\\WidthOrigin", kDbl, 0, 0, 0},
    {u"Plotter/User\\HeightOrigin", kDbl, 0, 0, 0},
    {u"Plotter/User\\LineWidth", kDbl, 0, 0, 0},
    {u"Plotter/User\\PlotScale", kDbl, 0, 0, 0},
    {u"Plotter/User\\DrawingScale", kDbl, 0, 0, 0},
    {u"Plotter/User\\LongPlotSize", kDbl, 0, 0, 0},
    {u"Plotter/User\\LongPlotXIncrement", kDbl, 0, 0, 0},
    {u"Plotter/User\\LongPlotYIncrement", kDbl, 0, 0, 0},
    {u"Plotter/User\\LongPlotReduction", kDbl, 0, 0, 0},
    {u"Plotter/User\\ViewCorner0", kDbl, 0, 0, 0},
    {u"Plotter/User\\ViewCorner1", kDbl, 0, 0, 0},
    {u"Plotter/User\\ViewCorner2", kDbl, 0, 0, 0},
    {u"Plotter/User\\ViewCorner3", kDbl, 0, 0, 0},
    {u"Plotter/User\\StandardSize", kStr, 0, 0, 0},
    {u"Plotter/User\\DefaultExtension", kStr, 0, 0, 0},
    {u"Plotter/User\\View", kStr, 0, 0, 0},
    {u"Plotter/User\\ViewType", kStr, 0, 0, 0},

    {u"Plotter/DriverCustom\\fDither", kInt, 1, 0, 0},
    {u"Plotter/DriverCustom\\fUseDefaultPrn", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\fDoSmartFills", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\fUpdatePens", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmOrientation", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmPaperSize", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmScale", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmCopies", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmDuplex", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmPrintQuality", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmTTOption", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmFormName", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmDeviceName", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmDefaultSource", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmSpecVersion", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmDriverVersion", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmDriverExtra", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmFields", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmSize", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmPaperLength", kDbl, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmPaperWidth", kDbl, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmColor", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmYResolution", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmCollate", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmLogPixels", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmBitsPerPel", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmPelsWidth", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmPelsHeight", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmDisplayFlags", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmDisplayFrequency", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmICMMethod", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmICMIntent", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmMediaType", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\dmDitherType", kInt, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-A", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-B", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-C", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-D", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-E", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-F", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-G", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-H", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-I", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-J", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-K", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-L", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-M", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-N", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-O", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-P", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-Q", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-R", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-S", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-T", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-U", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-V", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-W", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-X", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-Y", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\Opaque-Z", kStr, 0, 0, 0},
    {u"Plotter/DriverCustom\\PEN#", kStr, 0, 1, 255},

    {u"Plotter/DriverCustom/pen\\count", kInt, 0, 0, 0},

    {u"Plotter/DriverCustom", PROP_NONE, 0, 0, 0},
};

static_assert(std::size(kKeys) == 140, "the key table has 140 rows");

// The lookup below relies on every row with an index range naming its
// section before a backslash.
constexpr bool ranged_rows_have_sections() {
  for (const KV_PC2Key& row : kKeys) {
    if (row.lastIndex < 1) continue;
    bool backslash = false;
    for (const char16_t* p = row.path; *p != 0; ++p) backslash = backslash || *p == u'\\';
    if (!backslash) return false;
  }
  return true;
}
static_assert(ranged_rows_have_sections(), "a ranged row without a section");

void fold(std::u16string_view text, std::u16string& out) {
  out.resize(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) out[i] = kv_ascii_lower(text[i]);
}

}  // namespace

// The rows of one section of the key table: those without an index range by
// their key (folded to lower case), and those with one in table order.
struct KV_PC2SectionRows {
  std::unordered_map<std::u16string_view, int> exact;  // keeps the first of equal keys
  std::vector<std::pair<int, std::u16string_view>> ranged;
};

namespace {

// Finds the first row of the table that a table key matches, as a scan of
// the rows from the first would: a row with an index range matches every key
// that begins with its path, any other row a key equal to it, both ignoring
// case. Every path of the table is a section, a backslash and a key, and no
// section holds a backslash, so a table key can only match rows of the
// section named by its text before its first backslash; within that section
// an exact match and the first ranged row that is a prefix compete, and the
// earlier row wins.
class KeyIndex {
 public:
  KeyIndex() {
    m_folded.resize(std::size(kKeys));
    for (std::size_t i = 0; i < std::size(kKeys); ++i) {
      fold(kKeys[i].path, m_folded[i]);
      const std::u16string_view path = m_folded[i];
      const std::size_t split = path.find(u'\\');
      if (split == std::u16string_view::npos) {
        m_bare.emplace(path, static_cast<int>(i));
        continue;
      }
      KV_PC2SectionRows& rows = m_sections[path.substr(0, split)];
      const std::u16string_view key = path.substr(split + 1);
      if (kKeys[i].lastIndex >= 1) {
        rows.ranged.emplace_back(static_cast<int>(i), key);
      } else {
        rows.exact.emplace(key, static_cast<int>(i));
      }
    }
  }

  // The rows of a section folded to lower case, or null.
  const KV_PC2SectionRows* section(std::u16string_view folded) const {
    auto found = m_sections.find(folded);
    return found == m_sections.end() ? nullptr : &found->second;
  }

  // The row of a key (the part after the section) folded to lower case.
  static int find_in(const KV_PC2SectionRows& rows, std::u16string_view folded) {
    int best = -1;
    auto exact = rows.exact.find(folded);
    if (exact != rows.exact.end()) best = exact->second;
    for (const auto& [row, name] : rows.ranged) {
      if (best >= 0 && row > best) break;
      if (folded.substr(0, name.size()) == name) return row;
    }
    return best;
  }

  // The row of a whole table key folded to lower case, or -1.
  int find(std::u16string_view folded) const {
    const std::size_t split = folded.find(u'\\');
    if (split == std::u16string_view::npos) {
      auto bare = m_bare.find(folded);
      return bare == m_bare.end() ? -1 : bare->second;
    }
    const KV_PC2SectionRows* rows = section(folded.substr(0, split));
    return rows == nullptr ? -1 : find_in(*rows, folded.substr(split + 1));
  }

 private:
  std::vector<std::u16string> m_folded;
  std::unordered_map<std::u16string_view, KV_PC2SectionRows> m_sections;
  std::unordered_map<std::u16string_view, int> m_bare;
};

const KeyIndex& key_index() {
  static const KeyIndex index;
  return index;
}

// True when the store takes path with index -1: composed, with "-1" in
// place of a first "*", it must fit the store's work buffer.
bool store_takes(const std::u16string& path) {
  if (path.size() + 1 < kComposedPathUnits - 1) return true;
  char16_t composed[kComposedPathUnits];
  return kv_compose_path(path.c_str(), -1, composed) != nullptr;
}

void replace_first_dash(std::u16string& path) {
  const std::size_t dash = path.find(u'-');
  if (dash != std::u16string::npos) path[dash] = u'_';
}

// A value enclosed in double quotes loses them; a lone quote leaves nothing.
std::u16string_view unquote(std::u16string_view value) {
  if (!value.empty() && value.front() == u'"' && value.back() == u'"') {
    return value.size() == 1 ? std::u16string_view() : value.substr(1, value.size() - 2);
  }
  return value;
}

struct OwnedBuffer {
  char* p = nullptr;
  ~OwnedBuffer() { kv_free(p); }
};

}  // namespace

KV_PC2KeyTable kv_pc2_key_table() {
  return {kKeys, std::size(kKeys)};
}

KV_PC2File::KV_PC2File(GX_Error_Handler* handler) : KV_PIAFile(handler) {}

KV_PC2File::~KV_PC2File() = default;

std::u16string KV_PC2File::rootPrefix(const char16_t* root) {
  std::u16string prefix(root != nullptr ? root : u"");
  if (prefix.empty() || prefix.back() != u'\\') prefix.push_back(u'\\');
  return prefix;
}

void KV_PC2File::reportLine(unsigned id, std::u16string_view text) {
  report(KV_Warning(id, kLoadSource, lineContext(text.data(), text.size()).c_str(), kRevKvpc2));
}

void KV_PC2File::getVersion(char16_t* buffer, std::size_t size) {
  if (m_stream == nullptr) throw KV_Severe(56, kVersionSource, fileName(), kRevKvpc2);
  errno = 0;
  m_stream->seekg(0);
  std::u16string line;
  for (;;) {
    ++m_lineNumber;
    if (kv_read_legacy_line(*m_stream, line, kVersionSource, fileName(), kRevKvpc2)) {
      // The version line must end with a line feed.
      kv_throw_legacy_read_failure(*m_stream, kVersionSource, fileName(), kRevKvpc2);
    }
    if (!line.empty() && line[0] != u';') break;
  }
  std::u16string_view asRead(line);
  if (!asRead.empty() && asRead.back() == u'\r') asRead.remove_suffix(1);
  if (!kv_istarts_with(asRead, u"PC2Version")) {
    report(KV_Error(69, kVersionSource, fileName(), kRevKvpc2));
  }
  const std::u16string_view text = kv_trim_legacy_line(line);
  if (text.empty()) {
    report(
        KV_Error(57, kVersionSource, lineContext(asRead.data(), asRead.size()).c_str(), kRevKvpc2));
    return;
  }
  if (buffer == nullptr || size == 0) return;
  const std::size_t copied = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), copied * sizeof(char16_t));
  buffer[copied] = 0;
}

void KV_PC2File::load(KV_Object* object, const char16_t* root, KV_Object::FileType type) {
  m_loadType = type;
  const std::u16string prefix = rootPrefix(root);
  char16_t version[kVersionUnits];
  getVersion(version, kVersionUnits);
  fillDefaults(object, prefix);
  readKeyLines(object, prefix, nullptr, kLoadSource);
}

void KV_PC2File::fillDefaults(KV_Object* object, const std::u16string& prefix) {
  static constexpr unsigned char kZeroByte = 0;
  std::u16string& path = m_path;
  char16_t number[24];
  for (const KV_PC2Key& row : kKeys) {
    if (row.type == PROP_NONE) continue;
    path.assign(prefix);
    path += row.path;
    const int32_t integer = row.defaultValue;
    const double real = row.defaultValue;
    const void* data = nullptr;
    std::size_t size = 0;
    switch (row.type) {
      case PROP_INT:
        data = &integer;
        size = sizeof(integer);
        break;
      case PROP_DOUBLE:
        data = &real;
        size = sizeof(real);
        break;
      case PROP_STRING:
        data = u"";
        size = sizeof(char16_t);
        break;
      default:
        data = &kZeroByte;
        size = 1;
        break;
    }
    if (row.lastIndex < 1) {
      if (row.type == PROP_STRING) replace_first_dash(path);
      store(object, path.c_str(), data, size, row.type);
      continue;
    }
    const std::size_t base = path.size();
    for (int32_t index = row.firstIndex; index <= row.lastIndex; ++index) {
      path.resize(base);
      path.append(number, u16_from_int(index, number));
      store(object, path.c_str(), data, size, row.type);
    }
  }
}

void KV_PC2File::readKeyLines(KV_Object* object, const std::u16string& prefix, const int* instance,
                              const char16_t* readSource) {
  if (m_stream == nullptr) throw KV_Severe(56, readSource, fileName(), kRevKvpc2);
  if (m_stream->eof()) return;
  Section section;
  std::u16string line;
  for (;;) {
    ++m_lineNumber;
    const bool last = kv_read_legacy_line(*m_stream, line, readSource, fileName(), kRevKvpc2);
    const std::u16string_view text = kv_trim_legacy_line(line);
    if (!text.empty() && text[0] != u';') {
      const bool bracket = text.find(u'[') != std::u16string_view::npos;
      const bool equals = text.find(u'=') != std::u16string_view::npos;
      // A CFG file takes every line with a "[" for a section line.
      if (bracket && (instance != nullptr || !equals)) {
        handleSection(text, section.name, instance);
        // The rows of the new section, found once for all its key lines.
        section.plain = section.name.find(u'\\') == std::u16string::npos;
        if (section.plain) {
          fold(section.name, m_folded);
          section.rows = key_index().section(m_folded);
        }
      } else if (!equals) {
        reportLine(57, text);
      } else {
        handleKeyLine(object, text, section, prefix, instance != nullptr);
      }
    }
    if (last) break;
  }
}

void KV_PC2File::handleSection(std::u16string_view text, std::u16string& section,
                               const int* instance) {
  // From the second character up to the first "]" (or the end of the line).
  const std::size_t close = text.find(u']');
  std::u16string_view name;
  if (close == std::u16string_view::npos) {
    name = text.substr(1);
  } else if (close > 1) {
    name = text.substr(1, close - 1);
  }
  if (name.empty()) {
    reportLine(57, text);
    return;
  }
  if (name.size() > kLegacyNameUnits) {
    // Too long for any row: what follows is skipped as under any unknown
    // section.
    reportLine(57, text);
    section.clear();
    return;
  }
  const std::size_t hash = instance != nullptr ? name.find(u'#') : std::u16string_view::npos;
  if (hash == std::u16string_view::npos) {
    section.assign(name);
    return;
  }
  int32_t number = 0;
  if (!kv_parse_legacy_int(name.substr(hash + 1), false, number)) number = 0;
  if (number != *instance) {
    section.assign(name);  // holds "#", so no row matches its keys
    return;
  }
  section.assign(name.substr(0, hash));
  const std::size_t slash = name.find(u'/');
  if (slash != std::u16string_view::npos) section += name.substr(slash);
}

void KV_PC2File::handleKeyLine(KV_Object* object, std::u16string_view text, const Section& section,
                               const std::u16string& prefix, bool cfg) {
  const std::size_t equals = text.find(u'=');
  const std::u16string_view key = text.substr(0, equals);
  std::u16string_view value = text.substr(equals + 1);
  while (!value.empty() && (value.front() == u' ' || value.front() == u'=')) value.remove_prefix(1);

  if (section.name.size() + 1 + key.size() > kLegacyNameUnits) {
    reportLine(57, text);
    return;
  }
  int found = -1;
  if (section.plain) {
    // The table key's text before its first backslash is the section.
    if (section.rows == nullptr) return;
    fold(key, m_folded);
    found = KeyIndex::find_in(*section.rows, m_folded);
  } else {
    m_tableKey.assign(section.name);
    m_tableKey.push_back(u'\\');
    m_tableKey += key;
    fold(m_tableKey, m_folded);
    found = key_index().find(m_folded);
  }
  if (found < 0 || kKeys[found].type == PROP_NONE) return;
  const KV_PC2Key& row = kKeys[found];

  std::u16string& path = m_path;
  path.assign(prefix);
  path += section.name;
  path.push_back(u'\\');
  path += key;
  if (value.empty() || !store_takes(path)) {
    reportLine(57, text);
    return;
  }
  switch (row.type) {
    case PROP_INT: {
      const bool hex = !cfg && kv_iequal(key, u"dmFields");
      int32_t number = 0;
      if (!kv_parse_legacy_int(value, hex, number)) {
        reportLine(hex ? 99 : 57, text);
        return;
      }
      store(object, path.c_str(), &number, sizeof(number), PROP_INT);
      return;
    }
    case PROP_DOUBLE: {
      m_value.assign(value);
      double number = 0;
      if (stringtodouble(m_value.c_str(), &number) != 1) {
        reportLine(57, text);
        return;
      }
      store(object, path.c_str(), &number, sizeof(number), PROP_DOUBLE);
      return;
    }
    case PROP_STRING: {
      const std::u16string_view unquoted = unquote(value);
      replace_first_dash(path);
      m_value.assign(unquoted);
      store(object, path.c_str(), m_value.c_str(), (m_value.size() + 1) * sizeof(char16_t),
            PROP_STRING);
      return;
    }
    default: {
      m_value.assign(unquote(value));
      OwnedBuffer bytes;
      unsigned int size = 0;
      if (stringtobinary(m_value.c_str(), &bytes.p, &size) != 1 || size == 0) {
        reportLine(57, text);
        return;
      }
      store(object, path.c_str(), bytes.p, size, PROP_VOID);
      return;
    }
  }
}

KV_CFGFile::KV_CFGFile(GX_Error_Handler* handler) : KV_PC2File(handler) {}

KV_CFGFile::~KV_CFGFile() = default;

void KV_CFGFile::load_section(KV_Object* object, const char16_t* root, int section) {
  const std::u16string prefix = rootPrefix(root);
  fillDefaults(object, prefix);
  readKeyLines(object, prefix, &section, kSectionSource);
}
