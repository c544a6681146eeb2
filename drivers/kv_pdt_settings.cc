// Copyright the kvstore authors.
#include "drivers/kv_pdt_settings.h"

#include <cstdint>
#include <iterator>
#include <string_view>

#include "drivers/kv_pdt_import.h"
#include "drivers/kv_pdt_raster.h"
#include "drivers/kv_pdt_vocab.h"

namespace {

using V = kv_pdt_vocabulary;

// What a setting's line gives.
enum class Kind {
  integer,     // PROP_INT, field 2
  pens,        // PROP_INT, field 2; its groups are marked only above 0
  real_float,  // PROP_DOUBLE, field 2 read as a 32-bit float
  real,        // PROP_DOUBLE, field 2
  mask,        // PROP_INT, the OR of the vocabulary values of fields 2, 3, ...
               //   (a name outside the vocabulary adds 0)
  choice,      // PROP_INT, the vocabulary value of field 2, 0 outside it
  io_type,     // PROP_INT, the vocabulary value of field 2 cleaned, -1 outside it
  yes_no,      // no property; the groups are marked when field 2 starts with "Y"
  bool_upper,  // PROP_BOOL, true when field 2 starts with "Y" or "y"
  bool_exact,  // PROP_BOOL, true when field 2 starts with "Y"
  text,        // PROP_STRING, field 2
  text_clean,  // PROP_STRING, field 2 cleaned
  skipped,     // nothing
  line_types,  // the line type abilities of fields 2 and 3 (see below)
  ui_owner,    // a line of a user-interface ownership block
};

// The flag set whose groups a setting marks.
enum class Set { none, P, T, M, R, I, linetype, ui_init_term, ui_pen, ui_rcm, ui_io, ui_media };

constexpr V NONE = static_cast<V>(-1);

struct SettingRow {
  int line;
  Kind kind;
  const char16_t* path;  // null: no property
  V vocabulary;
  Set set;
  int groups[3];  // -1: none
};

// The device settings, one row a line, lines 3 to 68 (lines 1 and 2 are the
// file's headers). The ownership lines 44 to 63 give states 0 to 3 in turn;
// the fourth line of each block names the property of the block's text.
// clang-format off
constexpr SettingRow kSettings[] = {
//  line kind               path                                            vocabulary                    set                 groups
  {  3, Kind::pens,        u"\\physical_pen\\max_npens",                   NONE,                         Set::P,            { 0, 16,  5}},
  {  4, Kind::integer,     u"\\physical_pen\\default_npens",               NONE,                         Set::P,            {13, -1, -1}},
  {  5, Kind::real_float,  u"\\physical_pen\\max_speed",                   NONE,                         Set::P,            {10, -1, -1}},
  {  6, Kind::real_float,  u"\\physical_pen\\default_speed",               NONE,                         Set::P,            {12,  4, -1}},
  {  7, Kind::mask,        u"\\media\\selection_methods",                  V::media_selection_methods,   Set::M,            { 0, -1, -1}},
  {  8, Kind::mask,        u"\\media\\default_selection_method",           V::media_selection_methods,   Set::M,            {45, -1, -1}},
  {  9, Kind::real_float,  u"\\media\\default_longplot_reduction",         NONE,                         Set::M,            {25, -1, -1}},
  { 10, Kind::integer,     u"\\media\\max_number_of_copies",               NONE,                         Set::M,            {39, -1, -1}},
  { 11, Kind::mask,        u"\\media\\duplexing_modes",                    V::duplexing_modes,           Set::M,            {22, -1, -1}},
  { 12, Kind::mask,        u"\\media\\default_duplexing_mode",             V::duplexing_modes,           Set::M,            {46, -1, -1}},
  { 13, Kind::yes_no,      nullptr,                                        NONE,                         Set::T,            { 0, -1, -1}},
  { 14, Kind::yes_no,      nullptr,                                        NONE,                         Set::T,            { 1, -1, -1}},
  { 15, Kind::yes_no,      nullptr,                                        NONE,                         Set::T,            { 2, -1, -1}},
  { 16, Kind::text,        u"\\meta\\canonical_family_name",               NONE,                         Set::none,         {-1, -1, -1}},
  { 17, Kind::bool_upper,  u"\\physical_pen\\programmable_widths",         NONE,                         Set::P,            {17, -1, -1}},
  { 18, Kind::bool_upper,  u"\\physical_pen\\programmable_speeds",         NONE,                         Set::P,            {18, -1, -1}},
  { 19, Kind::bool_upper,  u"\\physical_pen\\hardware_fills",              NONE,                         Set::P,            { 1, -1, -1}},
  { 20, Kind::bool_upper,  u"\\physical_pen\\area_fill_corr",              NONE,                         Set::P,            { 2, -1, -1}},
  { 21, Kind::real_float,  u"\\physical_pen\\max_width",                   NONE,                         Set::P,            { 8, -1, -1}},
  { 22, Kind::real_float,  u"\\physical_pen\\min_width",                   NONE,                         Set::P,            { 7, -1, -1}},
  { 23, Kind::real_float,  u"\\physical_pen\\min_speed",                   NONE,                         Set::P,            { 9, -1, -1}},
  { 24, Kind::choice,      u"\\physical_pen\\max_optimization",            V::pen_optimizations,         Set::P,            { 6, -1, -1}},
  { 25, Kind::real_float,  u"\\physical_pen\\default_width",               NONE,                         Set::P,            {11,  3, -1}},
  { 26, Kind::choice,      u"\\physical_pen\\default_optimization",        V::pen_optimizations,         Set::P,            {14, -1, -1}},
  { 27, Kind::skipped,     nullptr,                                        NONE,                         Set::none,         {-1, -1, -1}},
  { 28, Kind::skipped,     nullptr,                                        NONE,                         Set::none,         {-1, -1, -1}},
  { 29, Kind::bool_exact,  u"\\res_color_mem\\memory_changes_print_area",  NONE,                         Set::R,            {18, -1, -1}},
  { 30, Kind::text_clean,  u"\\res_color_mem\\default_name",               NONE,                         Set::R,            {22, -1, -1}},
  { 31, Kind::text_clean,  u"\\media\\default_source",                     NONE,                         Set::M,            {40, -1, -1}},
  { 32, Kind::text_clean,  u"\\media\\default_size",                       NONE,                         Set::M,            {34, -1, -1}},
  { 33, Kind::text_clean,  u"\\media\\default_destination",                NONE,                         Set::M,            {42, -1, -1}},
  { 34, Kind::text_clean,  u"\\media\\default_type",                       NONE,                         Set::M,            {43, -1, -1}},
  { 35, Kind::skipped,     nullptr,                                        NONE,                         Set::none,         {-1, -1, -1}},
  { 36, Kind::bool_exact,  u"\\media\\mediacopies",                        NONE,                         Set::M,            {23, -1, -1}},
  { 37, Kind::skipped,     nullptr,                                        NONE,                         Set::none,         {-1, -1, -1}},
  { 38, Kind::text,        u"\\meta\\driver_version",                      NONE,                         Set::none,         {-1, -1, -1}},
  { 39, Kind::text,        u"\\meta\\canonical_model_name",                NONE,                         Set::none,         {-1, -1, -1}},
  { 40, Kind::real,        u"\\media\\size_max_x",                         NONE,                         Set::none,         {-1, -1, -1}},
  { 41, Kind::real,        u"\\media\\size_max_y",                         NONE,                         Set::none,         {-1, -1, -1}},
  { 42, Kind::real,        u"\\media\\max_roll_height",                    NONE,                         Set::M,            {50, -1, -1}},
  { 43, Kind::line_types,  u"\\linetype\\abilities",                       V::line_type_abilities,       Set::linetype,     {-1, -1, -1}},
  { 44, Kind::ui_owner,    nullptr,                                        V::init_term_ui_groups,       Set::ui_init_term, {-1, -1, -1}},
  { 45, Kind::ui_owner,    nullptr,                                        V::init_term_ui_groups,       Set::ui_init_term, {-1, -1, -1}},
  { 46, Kind::ui_owner,    nullptr,                                        V::init_term_ui_groups,       Set::ui_init_term, {-1, -1, -1}},
  { 47, Kind::ui_owner,    u"\\init_term\\ui_owner",                       V::init_term_ui_groups,       Set::ui_init_term, {-1, -1, -1}},
  { 48, Kind::ui_owner,    nullptr,                                        V::pen_ui_groups,             Set::ui_pen,       {-1, -1, -1}},
  { 49, Kind::ui_owner,    nullptr,                                        V::pen_ui_groups,             Set::ui_pen,       {-1, -1, -1}},
  { 50, Kind::ui_owner,    nullptr,                                        V::pen_ui_groups,             Set::ui_pen,       {-1, -1, -1}},
  { 51, Kind::ui_owner,    u"\\physical_pen\\ui_owner",                    V::pen_ui_groups,             Set::ui_pen,       {-1, -1, -1}},
  { 52, Kind::ui_owner,    nullptr,                                        V::res_color_mem_ui_groups,   Set::ui_rcm,       {-1, -1, -1}},
  { 53, Kind::ui_owner,    nullptr,                                        V::res_color_mem_ui_groups,   Set::ui_rcm,       {-1, -1, -1}},
  { 54, Kind::ui_owner,    nullptr,                                        V::res_color_mem_ui_groups,   Set::ui_rcm,       {-1, -1, -1}},
  { 55, Kind::ui_owner,    u"\\res_color_mem\\ui_owner",                   V::res_color_mem_ui_groups,   Set::ui_rcm,       {-1, -1, -1}},
  { 56, Kind::ui_owner,    nullptr,                                        V::io_ui_groups,              Set::ui_io,        {-1, -1, -1}},
  { 57, Kind::ui_owner,    nullptr,                                        V::io_ui_groups,              Set::ui_io,        {-1, -1, -1}},
  { 58, Kind::ui_owner,    nullptr,                                        V::io_ui_groups,              Set::ui_io,        {-1, -1, -1}},
  { 59, Kind::ui_owner,    u"\\io\\ui_owner",                              V::io_ui_groups,              Set::ui_io,        {-1, -1, -1}},
  { 60, Kind::ui_owner,    nullptr,                                        V::media_ui_groups,           Set::ui_media,     {-1, -1, -1}},
  { 61, Kind::ui_owner,    nullptr,                                        V::media_ui_groups,           Set::ui_media,     {-1, -1, -1}},
  { 62, Kind::ui_owner,    nullptr,                                        V::media_ui_groups,           Set::ui_media,     {-1, -1, -1}},
  { 63, Kind::ui_owner,    u"\\media\\ui_owner",                           V::media_ui_groups,           Set::ui_media,     {-1, -1, -1}},
  { 64, Kind::io_type,     u"\\io\\default_type",                          V::io_types,                  Set::I,            { 3, -1, -1}},
  { 65, Kind::text,        u"\\io\\default_plot_file_extension",           NONE,                         Set::I,            { 1, -1, -1}},
  { 66, Kind::yes_no,      nullptr,                                        NONE,                         Set::R,            {15, -1, -1}},
  { 67, Kind::yes_no,      nullptr,                                        NONE,                         Set::R,            {11, -1, -1}},
  { 68, Kind::yes_no,      nullptr,                                        NONE,                         Set::R,            {12, -1, -1}},
};
// clang-format on

constexpr int kFirstSettingLine = 3;
constexpr int kLastSettingLine = 68;
// The first line of the user-interface ownership blocks; each has four.
constexpr int kFirstOwnershipLine = 44;
constexpr int kOwnershipStates = 4;

constexpr bool settings_in_line_order() {
  for (std::size_t i = 0; i < std::size(kSettings); ++i) {
    if (kSettings[i].line != kFirstSettingLine + static_cast<int>(i)) return false;
  }
  return true;
}
static_assert(std::size(kSettings) == kLastSettingLine - kFirstSettingLine + 1, "one row a line");
static_assert(settings_in_line_order(), "rows follow the lines");

// The localizable model texts: the line, and the property of its text.
struct ModelTextRow {
  int line;
  const char16_t* path;
};

constexpr ModelTextRow kModelTexts[] = {
    {3, u"\\meta\\localized_model_name"},
    {4, u"\\meta\\localized_family_name"},
    {5, u"\\meta\\driver_tag_line"},
};

// A line of the settings file, or an empty one where the file has ended.
class SettingLine {
 public:
  explicit SettingLine(const kv_pdt_table* table) : m_table(table) {}
  std::u16string_view field(int i) const {
    return m_table != nullptr ? m_table->field(i) : std::u16string_view();
  }
  bool has(int i) const { return !field(i).empty(); }

 private:
  const kv_pdt_table* m_table;
};

class SettingsReader {
 public:
  explicit SettingsReader(kv_pdt_import& import) : m_import(import) {}

  void run() {
    kv_pdt_table table = m_import.open(kv_pdt_misc_non_localizable_info);
    bool more = true;
    for (const SettingRow& row : kSettings) {
      more = more && table.next_row();
      setting(row, SettingLine(more ? &table : nullptr));
    }
    finish();
  }

 private:
  void setting(const SettingRow& row, const SettingLine& line) {
    const std::u16string_view value = line.field(2);
    switch (row.kind) {
      case Kind::skipped:
        return;
      case Kind::yes_no:
        if (!value.empty() && value[0] == u'Y') mark(row);
        return;
      case Kind::line_types:
        line_type_abilities(row, line);
        return;
      case Kind::ui_owner:
        ownership(row, line);
        return;
      default:
        break;
    }
    if (value.empty()) return;
    switch (row.kind) {
      case Kind::pens: {
        const int32_t pens = kv_pdt_integer(value);
        m_import.put_int(row.path, pens);
        if (pens > 0) mark(row);
        return;
      }
      case Kind::integer:
        m_import.put_int(row.path, kv_pdt_integer(value));
        break;
      case Kind::real_float:
        m_import.put_double(row.path, kv_pdt_float(value));
        break;
      case Kind::real:
        m_import.put_double(row.path, kv_pdt_real(value));
        break;
      case Kind::mask:
        m_import.put_int(row.path, mask(row.vocabulary, line));
        break;
      case Kind::choice: {
        const uint32_t choice = kv_pdt_lookup(row.vocabulary, value);
        m_import.put_int(row.path, choice == kv_pdt_not_found ? 0 : static_cast<int32_t>(choice));
        break;
      }
      case Kind::io_type: {
        const uint32_t type = kv_pdt_lookup(row.vocabulary, kv_pdt_clean(value));
        m_import.put_int(row.path, type == kv_pdt_not_found ? -1 : static_cast<int32_t>(type));
        break;
      }
      case Kind::bool_upper:
        m_import.put_bool(row.path, value[0] == u'Y' || value[0] == u'y');
        break;
      case Kind::bool_exact:
        m_import.put_bool(row.path, value[0] == u'Y');
        break;
      case Kind::text:
        m_import.put_string(row.path, value);
        break;
      case Kind::text_clean:
        m_import.put_string(row.path, kv_pdt_clean(value));
        break;
      default:
        return;
    }
    mark(row);
  }

  // The OR of the values of the names in fields 2, 3, ... up to the first
  // empty one.
  static int32_t mask(V vocabulary, const SettingLine& line) {
    int32_t bits = 0;
    for (int i = 2; line.has(i); ++i) {
      const uint32_t value = kv_pdt_lookup(vocabulary, line.field(i));
      if (value != kv_pdt_not_found) bits |= static_cast<int32_t>(value);
    }
    return bits;
  }

  // Fields 2 and 3 name line type abilities; the set's text is written when
  // the line's label (field 1) is given. A name outside the vocabulary, or a
  // value past the set's groups, marks nothing.
  void line_type_abilities(const SettingRow& row, const SettingLine& line) {
    for (int i = 2; i <= 3; ++i) {
      if (!line.has(i)) continue;
      const uint32_t group = kv_pdt_lookup(row.vocabulary, line.field(i));
      if (group < static_cast<uint32_t>(m_linetype.count())) {
        kv_pdt_mark(m_linetype, static_cast<int>(group));
      }
    }
    if (line.has(1)) m_import.put_string(row.path, m_linetype.get_flags());
  }

  void ownership(const SettingRow& row, const SettingLine& line) {
    const int state = (row.line - kFirstOwnershipLine) % kOwnershipStates;
    GX_Flags& owners = set(row.set);
    for (int i = 2; line.has(i); ++i) {
      const std::u16string_view name = line.field(i);
      if (kv_pdt_is_all(name)) {
        for (const kv_pdt_name_value& pair : kv_pdt_vocabulary_pairs(row.vocabulary)) {
          owners.set_flag(static_cast<int>(pair.value), state);
        }
        continue;
      }
      const uint32_t group = kv_pdt_lookup(row.vocabulary, name);
      if (group != kv_pdt_not_found) owners.set_flag(static_cast<int>(group), state);
    }
    if (row.path != nullptr) m_import.put_string(row.path, owners.get_flags());
  }

  void finish() {
    m_import.put_string(u"\\io\\abilities", m_import.io_abilities.get_flags());
    kv_pdt_write_resolution_color_memory(m_import);
    GX_Flags& media = m_import.media_abilities;
    if (m_import.landscape_seen && m_import.portrait_seen) {
      kv_pdt_mark(media, 12);
      m_import.put_bool(u"\\media\\landscape", true);
    }
    kv_pdt_mark(media, 24);
    m_import.put_string(u"\\res_color_mem\\abilities",
                        m_import.res_color_mem_abilities.get_flags());
    m_import.put_string(u"\\physical_pen\\abilities", m_pens.get_flags());
    m_import.put_string(u"\\init_term\\abilities", m_initTerm.get_flags());
    m_import.put_string(u"\\meta\\model_abilities", m_model.get_flags());
    m_import.put_string(u"\\media\\abilities", media.get_flags());
  }

  void mark(const SettingRow& row) {
    GX_Flags& flags = set(row.set);
    for (int group : row.groups) {
      if (group >= 0) kv_pdt_mark(flags, group);
    }
  }

  GX_Flags& set(Set which) {
    switch (which) {
      case Set::P:
        return m_pens;
      case Set::T:
        return m_initTerm;
      case Set::M:
        return m_import.media_abilities;
      case Set::R:
        return m_import.res_color_mem_abilities;
      case Set::I:
        return m_import.io_abilities;
      case Set::linetype:
        return m_linetype;
      case Set::ui_init_term:
        return m_uiInitTerm;
      case Set::ui_pen:
        return m_uiPen;
      case Set::ui_rcm:
        return m_uiResColorMem;
      case Set::ui_io:
        return m_uiIO;
      case Set::ui_media:
        return m_uiMedia;
      case Set::none:
        break;
    }
    return m_model;  // never marked: no row names it
  }

  kv_pdt_import& m_import;
  GX_PhysPens_Abilities m_pens;
  GX_InitTerm_Abilities m_initTerm;
  GX_Model_Ability m_model;
  UC_Linetype_Abilities m_linetype;
  GX_InitTerm_UI_Owner m_uiInitTerm;
  GX_PhysPen_UI_Owner m_uiPen;
  GX_ResColorMem_UI_Owner m_uiResColorMem;
  GX_IO_UI_Owner m_uiIO;
  GX_Media_UI_Owner m_uiMedia;
};

}  // namespace

void kv_pdt_convert_device_settings(kv_pdt_import& import) {
  SettingsReader(import).run();
}

void kv_pdt_convert_model_texts(kv_pdt_import& import) {
  kv_pdt_table table = import.open(kv_pdt_misc_localizable_information);
  for (const ModelTextRow& row : kModelTexts) {
    if (!table.next_row()) break;
    if (table.row() != row.line || !table.has(2)) continue;
    import.look_up(table, kv_pdt_misc_localizable_information);
    import.put_string(row.path, import.text());
  }
}
