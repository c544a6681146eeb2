// Copyright the kvstore authors.
#include "legacy/kv_pcp_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <istream>
#include <utility>

#include "kvstore/kv_exceptions.h"
#include "legacy/kv_legacy_text.h"
#include "toolkit/u16_text.h"
#include "tree/kv_compose.h"
#include "tree/kv_revision.h"

namespace {

constexpr const char16_t* kLoadSource = u"KV_PCPFile::load()";
constexpr const char16_t* kVersionSource = u"KV_PCPFile::getVersion()";
constexpr const char16_t* kKeysSource = u"KV_PCPFile::pcpkeys()";

constexpr std::u16string_view kHeader = u";Created by Orvane";
constexpr std::u16string_view kDriver = u";For the driver:";
constexpr std::u16string_view kDevice = u";For the device:";

constexpr int kPens = 255;

enum class Keyword {
  kVersion,
  kBeginColor,
  kEndColor,
  kPenNumber,
  kHwLinetype,
  kPenSpeed,
  kPenWeight,
  kUnits,
  kOrigin,
  kSize,
  kRotate,
  kHide,
  kPenWidth,
  kScale,
  kPlotFile,
  kFillAdjust,
  kOptimizeLevel
};

// The 17 keywords and the value kind that load stores for each (kInvalid:
// the keyword handler deals with the value itself, or decides the kind).
struct KeywordRow {
  std::u16string_view name;
  Keyword keyword;
  KV_PCPFile::ValueKind kind;
};

constexpr KeywordRow kKeywords[] = {
    {u"VERSION", Keyword::kVersion, KV_PCPFile::kReal},
    {u"BEGIN_COLOR", Keyword::kBeginColor, KV_PCPFile::kInvalid},
    {u"END_COLOR", Keyword::kEndColor, KV_PCPFile::kInvalid},
    {u"PEN_NUMBER", Keyword::kPenNumber, KV_PCPFile::kInteger},
    {u"HW_LINETYPE", Keyword::kHwLinetype, KV_PCPFile::kInteger},
    {u"PEN_SPEED", Keyword::kPenSpeed, KV_PCPFile::kInteger},
    {u"PEN_WEIGHT", Keyword::kPenWeight, KV_PCPFile::kReal},
    {u"UNITS", Keyword::kUnits, KV_PCPFile::kText},
    {u"ORIGIN", Keyword::kOrigin, KV_PCPFile::kInvalid},
    {u"SIZE", Keyword::kSize, KV_PCPFile::kText},
    {u"ROTATE", Keyword::kRotate, KV_PCPFile::kInteger},
    {u"HIDE", Keyword::kHide, KV_PCPFile::kText},
    {u"PEN_WIDTH", Keyword::kPenWidth, KV_PCPFile::kReal},
    {u"SCALE", Keyword::kScale, KV_PCPFile::kText},
    {u"PLOT_FILE", Keyword::kPlotFile, KV_PCPFile::kText},
    {u"FILL_ADJUST", Keyword::kFillAdjust, KV_PCPFile::kText},
    {u"OPTIMIZE_LEVEL", Keyword::kOptimizeLevel, KV_PCPFile::kInteger},
};

constexpr std::size_t kLongestKeyword = 14;

// The row of a key (compared ignoring case), or null.
const KeywordRow* keyword_of(std::u16string_view key) {
  if (key.size() > kLongestKeyword) return nullptr;
  char16_t upper[kLongestKeyword];
  for (std::size_t i = 0; i < key.size(); ++i) {
    const char16_t c = key[i];
    upper[i] = c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - (u'a' - u'A')) : c;
  }
  const std::u16string_view folded(upper, key.size());
  for (const KeywordRow& row : kKeywords) {
    if (row.name == folded) return &row;
  }
  return nullptr;
}

bool is_digit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

bool is_letter(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
         (c >= 0x00C0 && c != 0x00D7 && c != 0x00F7);
}

std::u16string_view skip_leading(std::u16string_view text, std::u16string_view set) {
  std::size_t i = 0;
  while (i < text.size() && set.find(text[i]) != std::u16string_view::npos) ++i;
  return text.substr(i);
}

// True when the store takes path with index -1: composed, with "-1" in
// place of a first "*", it must fit the store's work buffer.
bool store_takes(const std::u16string& path) {
  if (path.size() + 1 < kComposedPathUnits - 1) return true;
  char16_t composed[kComposedPathUnits];
  return kv_compose_path(path.c_str(), -1, composed) != nullptr;
}

// The value of a text of kind integer, like atol on a 32-bit long ("-" is 0).
int32_t integer_value(std::u16string_view text) {
  int32_t value = 0;
  if (!kv_parse_legacy_int(text, false, value)) value = 0;
  return value;
}

// The value of a text of kind integer or real. False only when the number is
// beyond the range of a double; "." and "-." are 0.
bool real_value(std::u16string_view text, double& value) {
  if (kv_parse_legacy_double(text, value)) return true;
  for (char16_t c : text) {
    if (is_digit(c)) return false;
  }
  value = 0;
  return true;
}

// True when number is present and of an accepted kind (real, or integer
// too when integerToo is set), with its value in value.
bool number_accepted(std::u16string_view number, bool integerToo, double& value) {
  const KV_PCPFile::ValueKind kind = KV_PCPFile::classify(number);
  return !number.empty() &&
         (kind == KV_PCPFile::kReal || (integerToo && kind == KV_PCPFile::kInteger)) &&
         real_value(number, value);
}

}  // namespace

KV_PCPFile::KV_PCPFile(GX_Error_Handler* handler)
    : KV_PIAFile(handler),
      m_expectedKind(kInvalid),
      m_prefixLength(0),
      m_headerSeen(false),
      m_defaultBlock(false) {}

KV_PCPFile::~KV_PCPFile() = default;

KV_PCPFile::ValueKind KV_PCPFile::classify(std::u16string_view value) {
  const std::size_t start = !value.empty() && value[0] == u'-' ? 1 : 0;
  std::size_t dots = 0;
  bool numeric = true;
  for (std::size_t i = start; i < value.size() && numeric; ++i) {
    if (value[i] == u'.') {
      ++dots;
    } else {
      numeric = is_digit(value[i]);
    }
  }
  if (numeric && dots == 0) return kInteger;
  if (numeric && dots == 1) return kReal;
  if (kv_iequal(value, u"true") || kv_iequal(value, u"false")) return kBoolean;
  if (is_letter(value[0]) || value[0] == u'*') return kText;
  return kInvalid;
}

void KV_PCPFile::reportLine(const char16_t* source, std::u16string_view line) {
  report(KV_Warning(57, source, lineContext(line.data(), line.size()).c_str(), kRevKvpcp));
}

bool KV_PCPFile::appendToPath(std::u16string& path, std::u16string_view text,
                              std::u16string_view line, const char16_t* source) {
  if (path.size() + text.size() >= kLegacyPathUnits) {
    reportLine(source, line);
    return false;
  }
  path += text;
  return true;
}

void KV_PCPFile::load(KV_Object* object, const char16_t* root, KV_Object::FileType type) {
  m_loadType = type;
  std::u16string path(root != nullptr ? root : u"");
  if (path.empty() || path.back() != u'\\') path.push_back(u'\\');
  m_prefixLength = path.size();
  m_headerSeen = false;
  if (m_stream == nullptr) throw KV_Severe(56, kLoadSource, fileName(), kRevKvpcp);
  if (m_stream->eof()) return;
  m_penSettings.clear();
  try {
    readLines(object, path);
  } catch (...) {
    // What the lines before the failure set stays in the tree. The stores
    // only overwrite properties that exist with their type; should one fail
    // all the same, the failure of the load is the one to hand on.
    try {
      settleAllPens(object);
    } catch (...) {
    }
    throw;
  }
  settleAllPens(object);
}

void KV_PCPFile::readLines(KV_Object* object, std::u16string& path) {
  std::u16string line;
  for (;;) {
    ++m_lineNumber;
    const bool last = kv_read_legacy_line(*m_stream, line, kLoadSource, fileName(), kRevKvpcp);
    handleLine(object, line, path);
    if (last) break;
  }
}

void KV_PCPFile::handleLine(KV_Object* object, std::u16string& line, std::u16string& path) {
  const std::u16string_view text = kv_trim_legacy_line(line);
  if (text.empty()) return;
  if (text[0] == u';') {
    handleComment(object, text, path);
    return;
  }
  if (!m_headerSeen) {
    report(KV_Error(69, kLoadSource, fileName(), kRevKvpcp));
    return;
  }
  // pcpkeys may cut the line, so it works on a copy of the trimmed text.
  std::u16string& work = m_line;
  std::u16string& key = m_key;
  work.assign(text);
  // The key runs to the first blank or "=" when the line holds an "=", else
  // it is the whole line.
  std::size_t keyEnd = 0;
  while (keyEnd < work.size() && work[keyEnd] != u' ' && work[keyEnd] != u'=') ++keyEnd;
  if (keyEnd < work.size() && work.find(u'=', keyEnd) != std::u16string::npos) {
    if (keyEnd == 0) {
      reportLine(kLoadSource, work);
      return;
    }
    key.assign(work, 0, keyEnd);
  } else {
    key.assign(work);
  }
  if (key.size() > kLegacyNameUnits) {
    reportLine(kLoadSource, work);
    return;
  }
  if (!pcpkeys(work, path, key, object)) return;

  const std::size_t entry = path.size();
  const std::u16string_view rest =
      std::u16string_view(work).substr(std::min(key.size(), work.size()));
  const std::u16string_view value = skip_leading(rest, u" =_");
  if (!appendToPath(path, key, work, kLoadSource)) return;
  if (value.empty()) {
    reportLine(kLoadSource, work);
    path.resize(entry);
    return;
  }
  const ValueKind kind = classify(value);
  if (kind != m_expectedKind || !store_takes(path)) {
    reportLine(kLoadSource, work);
    path.resize(entry);
    return;
  }
  switch (kind) {
    case kInteger: {
      const int32_t number = integer_value(value);
      settlePen(object, std::u16string_view(path).substr(0, entry), key);
      store(object, path.c_str(), &number, sizeof(number), PROP_INT);
      break;
    }
    case kReal: {
      double number = 0;
      if (!real_value(value, number)) {
        reportLine(kLoadSource, work);
        break;
      }
      settlePen(object, std::u16string_view(path).substr(0, entry), key);
      store(object, path.c_str(), &number, sizeof(number), PROP_DOUBLE);
      break;
    }
    case kText:
      m_value.assign(value);
      store(object, path.c_str(), m_value.c_str(), (m_value.size() + 1) * sizeof(char16_t),
            PROP_STRING);
      break;
    default:
      reportLine(kLoadSource, work);
      break;
  }
  path.resize(entry);
}

void KV_PCPFile::handleComment(KV_Object* object, std::u16string_view text,
                               const std::u16string& path) {
  if (kv_istarts_with(text, kHeader)) {
    m_headerSeen = true;
    return;
  }
  const char16_t* name = nullptr;
  if (kv_istarts_with(text, kDriver)) {
    name = u"FAMILY";
  } else if (kv_istarts_with(text, kDevice)) {
    name = u"MODEL";
  } else {
    return;
  }
  m_value.assign(skip_leading(text.substr(kDriver.size()), u" "));
  std::u16string target(path);
  target += name;
  if (target.size() >= kLegacyPathUnits || !store_takes(target)) {
    reportLine(kLoadSource, text);
    return;
  }
  store(object, target.c_str(), m_value.c_str(), (m_value.size() + 1) * sizeof(char16_t),
        PROP_STRING);
}

bool KV_PCPFile::pcpkeys(std::u16string& line, std::u16string& path, std::u16string_view key,
                         KV_Object* object) {
  m_expectedKind = kInvalid;
  const KeywordRow* row = keyword_of(key);
  if (row == nullptr) {
    reportLine(kKeysSource, line);
    return false;
  }
  const std::size_t entry = path.size();
  std::u16string_view afterEquals;
  const std::size_t equals = line.find(u'=');
  if (equals != std::u16string::npos) afterEquals = std::u16string_view(line).substr(equals + 1);
  // The value; the letters of UNITS, HIDE, FILL_ADJUST and SCALE may also
  // follow a "_".
  const std::u16string_view value = skip_leading(afterEquals, u"\t =");
  auto letter = [&]() { return skip_leading(value, u"\t =_"); };
  auto one_of = [&](const char16_t* a, const char16_t* b) {
    if (kv_iequal(letter(), a) || kv_iequal(letter(), b)) {
      m_expectedKind = kText;
      return true;
    }
    reportLine(kKeysSource, line);
    return false;
  };

  switch (row->keyword) {
    case Keyword::kVersion:
    case Keyword::kPenWidth:
    case Keyword::kRotate:
    case Keyword::kOptimizeLevel:
    case Keyword::kPlotFile:
      m_expectedKind = row->kind;
      return true;
    case Keyword::kUnits:
      return one_of(u"I", u"M");
    case Keyword::kHide:
    case Keyword::kFillAdjust:
      return one_of(u"N", u"Y");
    case Keyword::kBeginColor:
      if (value.empty()) {
        reportLine(kKeysSource, line);
      } else if (classify(value) == kInteger) {
        if (!m_defaultBlock) {
          m_work.assign(value);
          m_work.push_back(u'\\');
          appendToPath(path, m_work, line, kKeysSource);
        }
      } else if (kv_iequal(value, u"DEFAULT")) {
        m_defaultBlock = true;
      } else {
        reportLine(kKeysSource, line);
      }
      return false;
    case Keyword::kEndColor:
      if (m_defaultBlock) {
        m_defaultBlock = false;
      } else if (path.size() > m_prefixLength) {
        // The pen number and its backslash, never below the root prefix.
        const std::size_t cut = path.rfind(u'\\', path.size() - 2);
        path.resize(cut == std::u16string::npos || cut + 1 < m_prefixLength ? m_prefixLength
                                                                            : cut + 1);
      }
      return false;
    case Keyword::kPenNumber:
    case Keyword::kHwLinetype:
    case Keyword::kPenSpeed:
    case Keyword::kPenWeight:
      if (!m_defaultBlock) {
        m_expectedKind = row->kind;
        return true;
      }
      setAllPens(object, line, path, key, value, row->keyword == Keyword::kPenWeight);
      return false;
    case Keyword::kOrigin: {
      m_work.assign(key);
      m_work.push_back(u'\\');
      if (!appendToPath(path, m_work, line, kKeysSource)) return false;
      const std::u16string_view numbers =
          skip_leading(std::u16string_view(line).substr(key.size()), u"\t =");
      const std::size_t comma = numbers.find(u',');
      const std::u16string_view x = skip_leading(numbers.substr(0, comma), u" \t");
      const std::u16string_view y = comma == std::u16string_view::npos
                                        ? std::u16string_view()
                                        : skip_leading(numbers.substr(comma + 1), u" \t");
      // Both numbers are checked before either is stored.
      double checked = 0;
      if (!number_accepted(x, false, checked) || !number_accepted(y, false, checked)) {
        reportLine(kKeysSource, line);
      } else if (storeNumber(object, line, path, u"X", x, false)) {
        storeNumber(object, line, path, u"Y", y, false);
      }
      path.resize(entry);
      return false;
    }
    case Keyword::kSize: {
      m_expectedKind = kText;
      const std::size_t colon = line.find(u':');
      if (colon == std::u16string::npos) return true;
      const std::u16string_view name = value.substr(0, value.find(u':'));
      const std::u16string_view numbers = std::u16string_view(line).substr(colon + 1);
      m_work.assign(key);
      m_work.push_back(u'\\');
      m_work += name;
      m_work.push_back(u'\\');
      // An empty name leaves an empty component, which the store drops.
      if (appendToPath(path, m_work, line, kKeysSource)) {
        const std::size_t comma = numbers.find(u',');
        const std::u16string_view x = skip_leading(numbers.substr(0, comma), u" \t");
        if (storeNumber(object, line, path, u"X", x, true)) {
          const std::u16string_view y = comma == std::u16string_view::npos
                                            ? std::u16string_view()
                                            : skip_leading(numbers.substr(comma + 1), u" \t");
          storeNumber(object, line, path, u"Y", y, false);
        }
      }
      path.resize(entry);
      line.resize(colon);  // load stores the size name
      return true;
    }
    case Keyword::kScale: {
      const std::u16string_view numbers = letter();
      if (kv_iequal(numbers, u"F")) {
        m_expectedKind = kText;
        return true;
      }
      m_work.assign(key);
      m_work.push_back(u'\\');
      if (!appendToPath(path, m_work, line, kKeysSource)) return false;
      const std::size_t next = numbers.find(u'=');
      if (storeNumber(object, line, path, u"MUNITS", numbers.substr(0, next), true)) {
        const std::u16string_view second = next == std::u16string_view::npos
                                               ? std::u16string_view()
                                               : skip_leading(numbers.substr(next + 1), u" ");
        storeNumber(object, line, path, u"DUNITS", second, true);
      }
      path.resize(entry);
      return false;
    }
  }
  return false;
}

bool KV_PCPFile::storeNumber(KV_Object* object, std::u16string_view line, std::u16string& path,
                             std::u16string_view name, std::u16string_view number,
                             bool integerToo) {
  double value = 0;
  if (!number_accepted(number, integerToo, value)) {
    reportLine(kKeysSource, line);
    return false;
  }
  const std::size_t entry = path.size();
  if (!appendToPath(path, name, line, kKeysSource)) return false;
  if (!store_takes(path)) {
    path.resize(entry);
    reportLine(kKeysSource, line);
    return false;
  }
  store(object, path.c_str(), &value, sizeof(value), PROP_DOUBLE);
  path.resize(entry);
  return true;
}

void KV_PCPFile::setAllPens(KV_Object* object, std::u16string_view line, std::u16string& path,
                            std::u16string_view key, std::u16string_view value, bool weight) {
  PenSetting setting;
  const bool number = kv_iequal(key, u"PEN_NUMBER");
  if (number && value == u"*") setting.numbering = PenSetting::Numbering::kOwn;
  if (number && kv_iequal(value, u"MOD16")) setting.numbering = PenSetting::Numbering::kMod16;
  setting.weight = weight;
  setting.integer = integer_value(value);
  if (weight && !kv_parse_legacy_double(value, setting.real)) setting.real = 0;

  // A setting met before has its properties: its pens only wait for the new
  // value.
  m_work.assign(path);
  m_work += key;
  auto known = m_penSettings.find(m_work);
  if (known != m_penSettings.end()) {
    PenSetting& waiting = known->second;
    waiting.numbering = setting.numbering;
    waiting.integer = setting.integer;
    waiting.real = setting.real;
    waiting.waiting.set();
    waiting.waiting.reset(0);
    return;
  }

  const std::size_t entry = path.size();
  char16_t digits[24];
  // The longest of the paths, pen 255, decides whether all of them fit.
  path.append(digits, u16_from_int(kPens, digits));
  path.push_back(u'\\');
  path += key;
  const bool fits = path.size() < kLegacyPathUnits && store_takes(path);
  path.resize(entry);
  if (!fits) {
    reportLine(kKeysSource, line);
    return;
  }
  setting.base = path;
  setting.key.assign(key);
  for (int pen = 1; pen <= kPens; ++pen) storePen(object, setting, pen);
  m_penSettings.emplace(m_work, std::move(setting));
}

void KV_PCPFile::storePen(KV_Object* object, const PenSetting& setting, int pen) {
  char16_t digits[24];
  std::u16string& path = m_penPath;
  path.assign(setting.base);
  path.append(digits, u16_from_int(pen, digits));
  path.push_back(u'\\');
  path += setting.key;
  if (setting.weight) {
    store(object, path.c_str(), &setting.real, sizeof(setting.real), PROP_DOUBLE);
    return;
  }
  int32_t stored = setting.integer;
  if (setting.numbering == PenSetting::Numbering::kOwn) stored = pen;
  if (setting.numbering == PenSetting::Numbering::kMod16) stored = pen % 16 == 0 ? 16 : pen % 16;
  store(object, path.c_str(), &stored, sizeof(stored), PROP_INT);
}

void KV_PCPFile::settlePen(KV_Object* object, std::u16string_view blockPath,
                           std::u16string_view key) {
  if (m_penSettings.empty() || blockPath.size() < 2) return;
  // blockPath is base + pen + "\", the pen written as storePen writes it.
  const std::size_t cut = blockPath.rfind(u'\\', blockPath.size() - 2);
  if (cut == std::u16string_view::npos) return;
  const std::u16string_view pen = blockPath.substr(cut + 1, blockPath.size() - cut - 2);
  if (pen.empty() || pen.size() > 3 || pen[0] == u'0') return;
  int number = 0;
  for (char16_t c : pen) {
    if (!is_digit(c)) return;
    number = number * 10 + (c - u'0');
  }
  if (number > kPens) return;
  m_work.assign(blockPath.substr(0, cut + 1));
  m_work += key;
  auto found = m_penSettings.find(m_work);
  if (found == m_penSettings.end() || !found->second.waiting.test(number)) return;
  found->second.waiting.reset(number);
  storePen(object, found->second, number);
}

void KV_PCPFile::settleAllPens(KV_Object* object) {
  for (auto& [name, setting] : m_penSettings) {
    for (int pen = 1; pen <= kPens && setting.waiting.any(); ++pen) {
      if (!setting.waiting.test(pen)) continue;
      setting.waiting.reset(pen);
      storePen(object, setting, pen);
    }
  }
}

void KV_PCPFile::getVersion(char16_t* buffer, std::size_t size) {
  if (m_stream == nullptr) throw KV_Severe(56, kVersionSource, fileName(), kRevKvpcp);
  errno = 0;
  m_stream->seekg(0);
  std::u16string line;
  int lineNumber = 0;
  for (;;) {
    ++lineNumber;
    const bool last = kv_read_legacy_line(*m_stream, line, kVersionSource, fileName(), kRevKvpcp);
    const std::u16string_view text = kv_trim_legacy_line(line);
    if (!text.empty() && text[0] != u';' && text.find(u'=') != std::u16string_view::npos) {
      const std::size_t keyEnd = text.find_first_of(u" =");
      if (kv_iequal(text.substr(0, keyEnd), u"VERSION")) {
        const std::u16string_view version = skip_leading(text.substr(keyEnd), u" =");
        if (version.empty()) {
          // The context names this line; the reader's own counter stays.
          const int counter = m_lineNumber;
          m_lineNumber = lineNumber;
          const std::u16string context = lineContext(text.data(), text.size());
          m_lineNumber = counter;
          report(KV_Error(57, kVersionSource, context.c_str(), kRevKvpcp));
        } else if (buffer != nullptr && size > 0) {
          const std::size_t copied = version.size() < size - 1 ? version.size() : size - 1;
          std::memcpy(buffer, version.data(), copied * sizeof(char16_t));
          buffer[copied] = 0;
        }
      }
    }
    if (last) break;
  }
}
