// Copyright the kvstore authors.
#include "drivers/kv_pdt_custom.h"

#include "drivers/kv_pdt_import.h"

namespace {

// The data type that the fourth character of the type field names.
struct TypeLetter {
  char16_t letter;
  kv_pdt_custom_type type;
};

constexpr TypeLetter kTypeLetters[] = {
    {u'B', kv_pdt_custom_bool}, {u'D', kv_pdt_custom_double}, {u'L', kv_pdt_custom_long},
    {u'R', kv_pdt_custom_raw},  {u'S', kv_pdt_custom_string},
};

// The character of the type field that names the type ("DT_Bool").
constexpr std::size_t kTypeLetterAt = 3;

int32_t type_of(std::u16string_view field, int32_t previous) {
  if (field.size() <= kTypeLetterAt) return previous;
  for (const TypeLetter& row : kTypeLetters) {
    if (field[kTypeLetterAt] == row.letter) return row.type;
  }
  return previous;
}

// The value of a raw digit: 0 to 15 for "0" to "9" and "A" to "F" (or "a"
// to "f"), 0 for anything else.
unsigned digit_value(char16_t c) {
  if (c >= u'0' && c <= u'9') return static_cast<unsigned>(c - u'0');
  if (c >= u'A' && c <= u'F') return static_cast<unsigned>(c - u'A' + 10);
  if (c >= u'a' && c <= u'f') return static_cast<unsigned>(c - u'a' + 10);
  return 0;
}

bool starts_with_yes(std::u16string_view field, bool lower_too) {
  return !field.empty() && (field[0] == u'Y' || (lower_too && field[0] == u'y'));
}

class CustomReader {
 public:
  explicit CustomReader(kv_pdt_import& import) : m_import(import), m_key(kPrefix) {}

  void run() {
    kv_pdt_table table = m_import.open(kv_pdt_custom_capability);
    while (table.next_row()) {
      if (table.has(1)) {
        capability(table);
      } else {
        add_value(table.field(9));
      }
    }
    if (m_values >= 1) write_count();
  }

 private:
  void capability(const kv_pdt_table& table) {
    if (m_values > 0) {
      write_count();
      m_values = 0;
    }
    m_key.resize(kPrefix.size());
    m_key += kv_pdt_clean(table.field(1));
    m_import.look_up(table, kv_pdt_custom_capability);
    m_import.put_string(path(u"\\localized_name"), m_import.text());
    m_import.put_caps_type(path(u"\\custom_caps_type"));
    m_import.put_bool(path(u"\\verifiable"), starts_with_yes(table.field(3), true));
    m_type = type_of(table.field(7), m_type);
    m_import.put_int(path(u"\\data_type"), m_type);
    if (table.has(4)) kv_pdt_put_typed(m_import, path(u"\\default_value"), m_type, table.field(4));
    const bool range = starts_with_yes(table.field(8), false);
    m_import.put_bool(path(u"\\range_type"), range);
    if (range) {
      m_import.put_double(path(u"\\range_max"), kv_pdt_real(table.field(5)));
      m_import.put_double(path(u"\\range_min"), kv_pdt_real(table.field(6)));
    } else {
      add_value(table.field(9));
    }
  }

  void add_value(std::u16string_view text) {
    kv_pdt_put_typed(m_import, path(u"\\value_list\\*\\value"), m_type, text, m_values);
    m_import.put_caps_type(path(u"\\value_list\\*\\caps_type"), m_values);
    ++m_values;
  }

  void write_count() { m_import.put_int(path(u"\\number_of_values"), m_values); }

  // K + suffix.
  const std::u16string& path(const char16_t* suffix) {
    m_path.assign(m_key);
    m_path.append(suffix);
    return m_path;
  }

  static constexpr std::u16string_view kPrefix = u"\\custom_name\\";

  kv_pdt_import& m_import;
  std::u16string m_key;  // K: "\custom_name\" + N
  std::u16string m_path;
  int32_t m_type = kv_pdt_custom_none;
  int32_t m_values = 0;
};

}  // namespace

std::string kv_pdt_raw_bytes(std::u16string_view text) {
  std::string bytes;
  if (text.size() < 4) return bytes;
  const std::size_t count = text.size() / 2 - 1;
  bytes.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned high = digit_value(text[2 + 2 * i]);
    const unsigned low = digit_value(text[3 + 2 * i]);
    bytes.push_back(static_cast<char>(high * 16 + low));
  }
  return bytes;
}

void kv_pdt_put_typed(kv_pdt_import& import, std::u16string_view path, int32_t t,
                      std::u16string_view text, int index) {
  switch (t) {
    case kv_pdt_custom_string:
      import.put_string(path, text, index);
      break;
    case kv_pdt_custom_long:
      import.put_int(path, kv_pdt_integer(text), index);
      break;
    case kv_pdt_custom_double:
      import.put_double(path, kv_pdt_real(text), index);
      break;
    case kv_pdt_custom_bool:
      import.put_bool(path, starts_with_yes(text, false), index);
      break;
    case kv_pdt_custom_raw: {
      const std::string bytes = kv_pdt_raw_bytes(text);
      if (!bytes.empty()) import.put_raw(path, bytes.data(), bytes.size(), index);
      break;
    }
    default:
      break;
  }
}

void kv_pdt_convert_custom_capabilities(kv_pdt_import& import) {
  CustomReader(import).run();
}
