// Copyright the kvstore authors.
#include "drivers/kv_pdt_io.h"

#include <string>
#include <string_view>

#include "drivers/kv_pdt_import.h"
#include "drivers/kv_pdt_vocab.h"
#include "toolkit/u16_text.h"

namespace {

using V = kv_pdt_vocabulary;

// The I/O types whose methods have ports with lines of their own.
constexpr uint32_t kFile = 2;
constexpr uint32_t kRs232 = 4;
constexpr uint32_t kParallel = 5;

int32_t value_or_minus_one(V vocabulary, std::u16string_view text) {
  const uint32_t value = kv_pdt_lookup(vocabulary, text);
  return value == kv_pdt_not_found ? -1 : static_cast<int32_t>(value);
}

// A group of a flag set as a state: values outside -1 to 5 count as -1.
int state_of(const GX_Flags& flags, int group) {
  const int value = flags.get_flag(group);
  return value < -1 || value > 5 ? -1 : value;
}

// A field that sets a property of the method, and the flags it sets.
struct MethodField {
  int field;
  const char16_t* property;
  int method_flags[2];  // -1: none
  int io_flag;          // -1: none
};

// The integer fields of a method's first line, in the order they are written.
constexpr MethodField kMethodFields[] = {
    {4, u"\\max_output_timeout", {1, -1}, -1},    {5, u"\\min_output_timeout", {2, -1}, -1},
    {6, u"\\max_input_timeout", {4, 14}, -1},     {7, u"\\min_input_timeout", {5, -1}, -1},
    {8, u"\\default_output_timeout", {0, 13}, 8}, {9, u"\\default_input_timeout", {3, -1}, 9},
    {11, u"\\default_baud_rate", {8, 17}, 6},
};
// Field 12, the default protocol, is text; it follows the integers.
constexpr MethodField kDefaultProtocol = {12, u"\\default_protocol", {6, 15}, 5};

class MethodReader {
 public:
  explicit MethodReader(kv_pdt_import& import)
      : m_import(import), m_io(import.io_abilities), m_method(u"\\io\\method\\") {}

  void run() {
    kv_pdt_table table = m_import.open(kv_pdt_io_method);
    while (table.next_row()) line(table);
    if (m_processed > 0) finish();
  }

 private:
  void line(const kv_pdt_table& table) {
    if (table.has(1)) {
      kv_pdt_mark(m_io, 0);
      if (m_processed > 0) finish();
      const uint32_t type = kv_pdt_lookup(V::io_types, table.field(1));
      if (type == kv_pdt_not_found) return;
      start(table, type);
    }
    if (table.has(2)) {
      m_bidi |= static_cast<int32_t>(kv_pdt_lookup(V::bidirectional_features, table.field(2)));
      kv_pdt_mark(m_flags, 11);
    }
    if (table.has(13)) {
      m_handshakes |= static_cast<int32_t>(kv_pdt_lookup(V::handshake_lines, table.field(13)));
      kv_pdt_mark(m_flags, 18);
      kv_pdt_mark(m_flags, 12);
    }
    if (table.has(10)) {
      m_defaultHandshakes |=
          static_cast<int32_t>(kv_pdt_lookup(V::handshake_lines, table.field(10)));
      kv_pdt_mark(m_flags, 19);
    }
    if (table.has(3)) protocol(table.field(3));
    if (table.has(14)) {
      m_import.put_int(path(u"\\baudrates\\*\\rate"), kv_pdt_integer(table.field(14)), m_baud);
      m_import.put_caps_type(path(u"\\baudrates\\*\\caps_type"), m_baud);
      ++m_baud;
      kv_pdt_mark(m_flags, 9);
    }
    ++m_processed;
  }

  void start(const kv_pdt_table& table, uint32_t type) {
    char16_t key[24];
    m_method.resize(u16_length(u"\\io\\method\\"));
    m_method.append(key, u16_from_int(type, key));
    kv_pdt_mark(m_io, 2);
    kv_pdt_mark(m_flags, 10);
    if (type == kRs232 || type == kParallel) {
      kv_pdt_mark(m_io, 4);
      kv_pdt_mark(m_flags, 16);
    }
    if (type == kFile) {
      kv_pdt_mark(m_io, 10);
      kv_pdt_mark(m_io, 11);
    }
    m_import.put_caps_type(path(u"\\caps_type"));
    for (const MethodField& f : kMethodFields) {
      if (!table.has(f.field)) continue;
      m_import.put_int(path(f.property), kv_pdt_integer(table.field(f.field)));
      mark(f);
    }
    if (table.has(kDefaultProtocol.field)) {
      m_import.put_string(path(kDefaultProtocol.property), table.field(kDefaultProtocol.field));
      mark(kDefaultProtocol);
    }
  }

  void protocol(std::u16string_view name) {
    const int k = m_protocol;
    m_import.put_string(path(u"\\protocol\\*\\canonical_name"), name, k);
    if (const UC_Protocol* r = m_import.protocols.find(name)) {
      m_import.put_int(path(u"\\protocol\\*\\data_bits"), r->data_bits, k);
      m_import.put_int(path(u"\\protocol\\*\\stop_bits"), r->stop_bits, k);
      m_import.put_int(path(u"\\protocol\\*\\parity"), r->parity, k);
      m_import.put_string(path(u"\\protocol\\*\\localized_name"), r->localized_name.c_str(), k);
    }
    m_import.put_caps_type(path(u"\\protocol\\*\\caps_type"), k);
    ++m_protocol;
    kv_pdt_mark(m_flags, 7);
  }

  void finish() {
    if (state_of(m_flags, 19) != 0) {
      m_import.put_int(path(u"\\default_handshake"), m_defaultHandshakes);
    }
    if (state_of(m_flags, 18) != 0) {
      m_import.put_int(path(u"\\handshakes"), m_handshakes);
      kv_pdt_mark(m_io, 7);
    }
    if (state_of(m_flags, 11) != 0) m_import.put_int(path(u"\\bidi_flags"), m_bidi);
    m_import.put_string(path(u"\\abilities"), m_flags.get_flags());
    m_handshakes = 0;
    m_defaultHandshakes = 0;
    m_flags = m_blank;
  }

  void mark(const MethodField& f) {
    for (int group : f.method_flags) {
      if (group >= 0) kv_pdt_mark(m_flags, group);
    }
    if (f.io_flag >= 0) kv_pdt_mark(m_io, f.io_flag);
  }

  // M + suffix.
  const std::u16string& path(const char16_t* suffix) {
    m_path.assign(m_method);
    m_path.append(suffix);
    return m_path;
  }

  kv_pdt_import& m_import;
  GX_Flags& m_io;
  std::u16string m_method;  // "\io\method\" + the method key
  std::u16string m_path;
  UC_Method_Abilties m_flags;
  const UC_Method_Abilties m_blank;
  int32_t m_handshakes = 0;
  int32_t m_defaultHandshakes = 0;
  int32_t m_bidi = 0;
  int32_t m_protocol = 0;
  int32_t m_baud = 0;
  int32_t m_processed = 0;
};

}  // namespace

void kv_pdt_read_protocols(kv_pdt_import& import) {
  kv_pdt_read_named_list(import, kv_pdt_protocol, import.protocols,
                         [](UC_Protocol& r, const kv_pdt_table& t) {
                           r.data_bits = value_or_minus_one(V::data_bits, t.field(3));
                           r.stop_bits = value_or_minus_one(V::stop_bits, t.field(4));
                           r.parity = value_or_minus_one(V::parity, t.field(5));
                         });
}

void kv_pdt_convert_io_methods(kv_pdt_import& import) {
  MethodReader(import).run();
}
