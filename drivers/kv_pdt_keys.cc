// Copyright the kvstore authors.
#include "drivers/kv_pdt_keys.h"

#include <cstring>
#include <string>

#include "platform/codepage.h"
#include "toolkit/u16_text.h"

namespace {

// The key prefix of each file whose texts are looked up.
struct KeyPrefix {
  kv_pdt_file_id file;
  const char16_t* prefix;
};

constexpr KeyPrefix kKeyPrefixes[] = {
    {kv_pdt_custom_capability, u"ORVA_CUSTOM_CAPABILITY_"},
    {kv_pdt_dithering_method, u"ORVA_DITHERING_METHOD_"},
    {kv_pdt_media_collating, u"ORVA_MEDIA_COLLATING_"},
    {kv_pdt_media_cutting, u"ORVA_MEDIA_CUTTING_"},
    {kv_pdt_media_destination, u"ORVA_MEDIA_DESTINATION_"},
    {kv_pdt_media_folding, u"ORVA_MEDIA_FOLDING_"},
    {kv_pdt_media_size, u"ORVA_MEDIA_SIZE_"},
    {kv_pdt_media_source, u"ORVA_MEDIA_SOURCE_"},
    {kv_pdt_media_source_entry, u"ORVA_MEDIA_SOURCE_ENTRY_"},
    {kv_pdt_media_stapling, u"ORVA_MEDIA_STAPLING_"},
    {kv_pdt_media_type, u"ORVA_MEDIA_TYPE_"},
    {kv_pdt_memory_area, u"ORVA_MEMORY_AREA_"},
    {kv_pdt_misc_localizable_information, u"ORVA_MISC_LOCALIZABLE_INFORMATION_"},
    {kv_pdt_protocol, u"ORVA_PROTOCOL__"},
    {kv_pdt_resolution, u"ORVA_RESOLUTION_"},
    {kv_pdt_resolution_color_memory, u"ORVA_RESOLUTION_COLOR_MEMORY_"},
};

constexpr std::u16string_view kEntryMark = u"ORVA_";
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// The entry table grows by this factor.
constexpr float kGrowth = 2.0f;

}  // namespace

const char16_t* kv_pdt_key_prefix(kv_pdt_file_id file) {
  for (const KeyPrefix& row : kKeyPrefixes) {
    if (row.file == file) return row.prefix;
  }
  return nullptr;
}

kv_pdt_keys::kv_pdt_keys() : m_table(kGrowth) {}

void kv_pdt_keys::read(std::istream& in) {
  kv_pdt_line_reader reader(in);
  std::string bytes;
  std::u16string line;
  bool ended_by_break = false;
  bool first = true;
  while (reader.read(bytes, ended_by_break)) {
    std::size_t start = 0;
    if (first && bytes.compare(0, 3, kByteOrderMark) == 0) start = 3;
    first = false;
    const std::size_t end = ::strnlen(bytes.data() + start, bytes.size() - start);
    kv_utf8_to_u16(bytes.data() + start, end, line);
    add_line(line);
  }
}

void kv_pdt_keys::add_line(std::u16string_view line) {
  const std::size_t start = line.find_first_not_of(u' ');
  if (start == std::u16string_view::npos) return;
  line.remove_prefix(start);
  if (line.substr(0, kEntryMark.size()) != kEntryMark) return;
  const std::size_t open = line.find(u'"');
  if (open == std::u16string_view::npos) return;
  std::size_t keyEnd = open;
  while (keyEnd > 0 && line[keyEnd - 1] == u' ') --keyEnd;
  std::u16string_view text = line.substr(open + 1);
  text = text.substr(0, text.find(u'"'));
  m_table.insert(m_strings.intern(line.substr(0, keyEnd)), m_strings.intern(text));
}

const char16_t* kv_pdt_keys::find(std::u16string_view key) const {
  // A key that the pool does not hold is in no entry.
  const char16_t* interned = m_strings.find(key);
  if (interned == nullptr) return nullptr;
  const char16_t* const* text = m_table.lookup(interned);
  return text != nullptr ? *text : nullptr;
}

bool kv_pdt_keys::lookup(kv_pdt_file_id file, int32_t row) {
  const char16_t* prefix = kv_pdt_key_prefix(file);
  if (prefix == nullptr) return false;
  char16_t key[kKeyUnits];
  const std::size_t prefixLength = u16_length(prefix);
  std::memcpy(key, prefix, prefixLength * sizeof(char16_t));
  std::size_t length = prefixLength;
  key[length++] = file == kv_pdt_media_size ? u'C' : u'B';
  length += u16_from_int(row, key + length);
  const char16_t* text = find(std::u16string_view(key, length));
  if (text == nullptr) return false;
  std::size_t units = u16_length_bounded(text, kTextUnits - 1);
  // A cut never leaves the first half of a surrogate pair alone.
  if (units == kTextUnits - 1 && text[units] != 0 && text[units - 1] >= 0xD800 &&
      text[units - 1] <= 0xDBFF) {
    --units;
  }
  std::memcpy(m_text, text, units * sizeof(char16_t));
  m_text[units] = 0;
  return true;
}
