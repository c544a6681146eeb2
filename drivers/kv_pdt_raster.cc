// Copyright the kvstore authors.
#include "drivers/kv_pdt_raster.h"

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "drivers/kv_pdt_import.h"
#include "drivers/kv_pdt_vocab.h"

namespace {

using V = kv_pdt_vocabulary;

// The longest matrix name, in code units.
constexpr std::size_t kMatrixNameUnits = 7;
// The first field of a line that holds matrix cells.
constexpr int kFirstMatrixField = 11;

int32_t value_or(V vocabulary, std::u16string_view text, int32_t outside) {
  const uint32_t value = kv_pdt_lookup(vocabulary, text);
  return value == kv_pdt_not_found ? outside : static_cast<int32_t>(value);
}

GX_String cleaned(std::u16string_view field) {
  return GX_String(kv_pdt_clean(field).c_str());
}

// A field that holds a number, or fallback when it is empty.
int32_t integer_or(const kv_pdt_table& table, int field, int32_t fallback) {
  return table.has(field) ? kv_pdt_integer(table.field(field)) : fallback;
}

bool is_high_surrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}

std::u16string_view matrix_name(std::u16string_view field) {
  std::size_t units = field.size() < kMatrixNameUnits ? field.size() : kMatrixNameUnits;
  if (units == kMatrixNameUnits && units < field.size() && is_high_surrogate(field[units - 1])) {
    --units;
  }
  return field.substr(0, units);
}

// One resolution pair of a combination's resolution: written when x is not 0.
void put_resolution_pair(kv_pdt_import& import, const std::u16string& z, const char16_t* name,
                         float x, float y, int flag) {
  if (x == 0) return;
  kv_pdt_mark(import.res_color_mem_abilities, flag);
  import.put_double(kv_pdt_path({z, name, u"_x"}), x);
  import.put_double(kv_pdt_path({z, name, u"_y"}), y);
}

class DitheringReader {
 public:
  explicit DitheringReader(kv_pdt_import& import) : m_import(import) {}

  void run() {
    kv_pdt_table table = m_import.open(kv_pdt_dithering_method);
    while (table.next_row()) line(table);
  }

 private:
  void line(const kv_pdt_table& table) {
    if (table.has(1)) method(table);
    if (table.has(10)) {
      m_matrix.assign(matrix_name(table.field(10)));
      m_cell = 0;
      m_rowsExpected = m_height;
    }
    if (m_rowsExpected > 0 && m_width > 0) {
      cells(table);
      --m_rowsExpected;
    }
  }

  void method(const kv_pdt_table& table) {
    m_method = kv_pdt_path({u"\\res_color_mem\\dithering_list\\", kv_pdt_clean(table.field(1))});
    kv_pdt_mark(m_import.res_color_mem_abilities, 5);
    m_import.look_up(table, kv_pdt_dithering_method);
    m_import.put_string(path(u"\\localized_name"), m_import.text());
    m_import.put_int(path(u"\\pixel_expansion_ratio"), integer_or(table, 3, 1));
    m_import.put_int(path(u"\\source_pixel_ratio"), integer_or(table, 5, 1));
    m_import.put_int(path(u"\\renderers"), table.has(7) ? kv_pdt_renderer(table.field(7)) : 0);
    m_import.put_caps_type(path(u"\\caps_type"));
    if (table.has(4)) {
      m_import.put_int(path(u"\\dithering_type"), value_or(V::dithering_types, table.field(4), -1));
    }
    if (table.has(6)) m_import.put_int(path(u"\\threshold"), kv_pdt_integer(table.field(6)));
    m_width = integer_or(table, 8, 0);
    m_import.put_int(path(u"\\matrix_size_x"), m_width);
    m_height = integer_or(table, 9, 0);
    m_import.put_int(path(u"\\matrix_size_y"), m_height);
  }

  // The next m_width cells, from field 11 on. Fields past the end of the
  // line are empty: they only advance the cell number.
  void cells(const kv_pdt_table& table) {
    const int present = table.field_count() - (kFirstMatrixField - 1);
    const int64_t visit = present < m_width ? (present > 0 ? present : 0) : m_width;
    const std::u16string data = kv_pdt_path({m_method, u"\\matrix_list\\", m_matrix, u"\\*\\data"});
    for (int64_t j = 0; j < visit; ++j) {
      const std::u16string_view cell = table.field(kFirstMatrixField + static_cast<int>(j));
      if (!cell.empty() && m_cell + j <= std::numeric_limits<int32_t>::max()) {
        m_import.put_int(data, kv_pdt_integer(cell), static_cast<int>(m_cell + j));
      }
    }
    m_cell += m_width;
  }

  const std::u16string& path(const char16_t* suffix) {
    m_path.assign(m_method);
    m_path.append(suffix);
    return m_path;
  }

  kv_pdt_import& m_import;
  std::u16string m_method;  // "\res_color_mem\dithering_list\" + the method's name
  std::u16string m_path;
  std::u16string m_matrix;  // the current matrix name
  int32_t m_width = 0;
  int32_t m_height = 0;
  int64_t m_cell = 0;  // the number of the next cell
  int32_t m_rowsExpected = 0;
};

}  // namespace

void kv_pdt_convert_memory_areas(kv_pdt_import& import) {
  kv_pdt_table table = import.open(kv_pdt_memory_area);
  UC_Memory_Area pending;
  bool named = false;
  while (table.next_row()) {
    if (table.has(4)) kv_pdt_mark(import.res_color_mem_abilities, 6);
    if (!table.has(1)) continue;
    if (named) import.memory_areas.append(pending);
    named = true;
    const std::u16string name = kv_pdt_clean(table.field(1));
    const std::u16string a = kv_pdt_path({u"\\res_color_mem\\mem_area_list\\", name});
    import.put_caps_type(kv_pdt_path({a, u"\\caps_type"}));
    import.look_up(table, kv_pdt_memory_area);
    import.put_string(kv_pdt_path({a, u"\\localized_name"}), import.text());
    const int32_t memory = kv_pdt_integer(table.field(3));
    import.put_int(kv_pdt_path({a, u"\\device_memory"}), memory);
    if (table.has(4)) {
      import.put_double(kv_pdt_path({a, u"\\printable_area"}), kv_pdt_real(table.field(4)));
    }
    pending = UC_Memory_Area();
    pending.name = GX_String(name.c_str());
    pending.localized_name = import.text();
    pending.device_memory = memory;
    pending.printable_area = kv_pdt_integer(table.field(4));
  }
  if (named) import.memory_areas.append(pending);
}

void kv_pdt_convert_raster_abilities(kv_pdt_import& import) {
  kv_pdt_table table = import.open(kv_pdt_raster_capability);
  GX_Raster_Abilities abilities;
  int32_t orientations = 0;
  while (table.next_row()) {
    const uint32_t group = kv_pdt_lookup(V::raster_abilities, kv_pdt_clean(table.field(1)));
    if (group != kv_pdt_not_found) kv_pdt_mark(abilities, static_cast<int>(group));
    if (table.has(2)) orientations |= value_or(V::raster_orientations, table.field(2), -1);
  }
  import.put_string(u"\\RASTER\\abilities", abilities.get_flags());
  import.put_int(u"\\RASTER\\orientation_prefs", orientations);
}

void kv_pdt_read_resolutions(kv_pdt_import& import) {
  kv_pdt_table table = import.open(kv_pdt_resolution);
  UC_Resolution pending;
  while (table.next_row()) {
    if (table.has(1)) {
      if (table.row() > 3) {
        import.resolutions.append(pending);
        pending.mem_areas.clear();
      }
      pending.name = cleaned(table.field(1));
      import.look_up(table, kv_pdt_resolution);
      pending.localized_name = import.text();
      pending.physical_x = kv_pdt_float(table.field(3));
      pending.physical_y = kv_pdt_float(table.field(4));
      pending.addressable_x = kv_pdt_float(table.field(5));
      pending.addressable_y = kv_pdt_float(table.field(6));
      pending.effective_x = kv_pdt_float(table.field(7));
      pending.effective_y = kv_pdt_float(table.field(8));
      pending.dithering = cleaned(table.field(9));
      pending.default_mem_area = cleaned(table.field(10));
    }
    if (table.has(10)) pending.mem_areas.append(cleaned(table.field(10)));
  }
  if (table.rows_processed() > 0) import.resolutions.append(pending);
}

void kv_pdt_read_resolution_color_memory(kv_pdt_import& import) {
  kv_pdt_table table = import.open(kv_pdt_resolution_color_memory);
  GX_Flags& flags = import.res_color_mem_abilities;
  UC_Resolution_Color_Memory pending;
  while (table.next_row()) {
    if (table.has(1)) {
      kv_pdt_mark(flags, 0);
      if (table.row() > 3) {
        import.res_color_mem.append(pending);
        pending.resolutions.clear();
      }
      pending.name = cleaned(table.field(1));
      import.look_up(table, kv_pdt_resolution_color_memory);
      pending.localized_name = import.text();
      pending.number_of_colors = kv_pdt_integer(table.field(3));
      pending.color_depth = kv_pdt_integer(table.field(4));
      pending.undithered_colors = kv_pdt_integer(table.field(5));
      pending.color_system = value_or(V::colour_systems, table.field(6), 5);
      if (table.has(7) && table.has(8)) pending.default_resolution = cleaned(table.field(8));
      const std::u16string_view yes = table.field(9);
      if (!yes.empty() && (yes[0] == u'Y' || yes[0] == u'y')) kv_pdt_mark(flags, 23);
    }
    if (table.has(7)) {
      pending.resolutions.append(cleaned(table.field(7)));
      kv_pdt_mark(flags, 2);
    }
  }
  if (table.rows_processed() > 0) import.res_color_mem.append(pending);
}

void kv_pdt_write_resolution_color_memory(kv_pdt_import& import) {
  GX_Flags& flags = import.res_color_mem_abilities;
  for (const UC_Resolution_Color_Memory& k : import.res_color_mem) {
    const std::u16string q = kv_pdt_path({u"\\res_color_mem\\rcm_list\\", k.name.c_str()});
    kv_pdt_mark(flags, 1);
    import.put_string(kv_pdt_path({q, u"\\localized_name"}), k.localized_name.c_str());
    import.put_int(kv_pdt_path({q, u"\\number_of_colors"}), k.number_of_colors);
    import.put_int(kv_pdt_path({q, u"\\color_depth"}), k.color_depth);
    import.put_int(kv_pdt_path({q, u"\\undithered_colors"}), k.undithered_colors);
    import.put_int(kv_pdt_path({q, u"\\color_system"}), k.color_system);
    if (k.default_resolution.length() != 0) {
      import.put_string(kv_pdt_path({q, u"\\default_resolution"}), k.default_resolution.c_str());
    }
    import.put_caps_type(kv_pdt_path({q, u"\\caps_type"}));

    for (const GX_String& n : k.resolutions) {
      const UC_Resolution* e = import.resolutions.find(n);
      if (e == nullptr) continue;
      const std::u16string z = kv_pdt_path({q, u"\\resolution_list\\", n.c_str()});
      kv_pdt_mark(flags, 3);
      import.put_caps_type(kv_pdt_path({z, u"\\caps_type"}));
      import.put_string(kv_pdt_path({z, u"\\localized_name"}), e->localized_name.c_str());
      put_resolution_pair(import, z, u"\\physical_resolution", e->physical_x, e->physical_y, 8);
      put_resolution_pair(import, z, u"\\addressable_resolution", e->addressable_x,
                          e->addressable_y, 9);
      put_resolution_pair(import, z, u"\\effective_resolution", e->effective_x, e->effective_y, 10);
      if (e->default_mem_area.length() != 0) {
        import.put_string(kv_pdt_path({z, u"\\default_mem_area"}), e->default_mem_area.c_str());
      }
      if (e->dithering.length() != 0) {
        kv_pdt_mark(flags, 4);
        // The property's name is the whole suffix: a node res_color_mem
        // below the resolution holds dithering_list.
        import.put_string(kv_pdt_path({z, u"\\res_color_mem\\dithering_list"}),
                          e->dithering.c_str());
      }
      const std::u16string area_caps = kv_pdt_path({z, u"\\mem_area\\*\\caps_type"});
      const std::u16string area_name = kv_pdt_path({z, u"\\mem_area\\*\\name"});
      int m = 0;
      for (const GX_String& area : e->mem_areas) {
        const UC_Memory_Area* found = import.memory_areas.find(area);
        if (found == nullptr) continue;
        kv_pdt_mark(flags, 7);
        import.put_caps_type(area_caps, m);
        import.put_string(area_name, found->name.c_str(), m);
        ++m;
      }
    }
  }
}

void kv_pdt_convert_dithering_methods(kv_pdt_import& import) {
  DitheringReader(import).run();
}

void kv_pdt_convert_line_types(kv_pdt_import& import) {
  kv_pdt_table table = import.open(kv_pdt_line_type_capabilities);
  GX_Linetype_Linefont_Caps caps;
  caps.set_flags(0);
  while (table.next_row()) {
    if (!table.has(1)) continue;
    const uint32_t type = kv_pdt_lookup(V::line_types, kv_pdt_clean(table.field(1)));
    if (type == kv_pdt_not_found) continue;
    const int group = static_cast<int>(type / 4);
    caps.set_flag(group, caps.get_flag(group) | (1 << (type % 4)));
    import.put_double(u"\\linetype\\font\\*\\width", kv_pdt_float(table.field(2)),
                      static_cast<int>(type));
  }
  import.put_string(u"\\linetype\\capabilities", caps.get_flags());
}
