// Copyright the kvstore authors.
#include "drivers/kv_pdt_media.h"

#include <string>
#include <string_view>

#include "drivers/kv_pdt_import.h"
#include "drivers/kv_pdt_vocab.h"

namespace {

using V = kv_pdt_vocabulary;

// A vocabulary value, with what a name outside the vocabulary becomes.
int32_t value_or(V vocabulary, std::u16string_view text, int32_t outside) {
  const uint32_t value = kv_pdt_lookup(vocabulary, text);
  return value == kv_pdt_not_found ? outside : static_cast<int32_t>(value);
}

GX_String cleaned(std::u16string_view field) {
  return GX_String(kv_pdt_clean(field).c_str());
}

}  // namespace

void kv_pdt_read_media_collating(kv_pdt_import& import) {
  kv_pdt_read_named_list(import, kv_pdt_media_collating, import.collating,
                         [](UC_Media_Collating& r, const kv_pdt_table& t) {
                           r.collating_type =
                               value_or(V::collating_types, t.field(3), kv_pdt_not_found);
                         });
}

void kv_pdt_read_media_cutting(kv_pdt_import& import) {
  kv_pdt_read_named_list(import, kv_pdt_media_cutting, import.cutting,
                         [](UC_Media_Cutting& r, const kv_pdt_table& t) {
                           r.when = value_or(V::cutting_times, t.field(3), 0);
                         });
}

void kv_pdt_read_media_folding(kv_pdt_import& import) {
  kv_pdt_read_named_list(import, kv_pdt_media_folding, import.folding,
                         [](UC_Media_Folding& r, const kv_pdt_table& t) {
                           r.folding_type = value_or(V::folding_types, t.field(3), 0);
                           r.when = value_or(V::folding_times, t.field(4), 0);
                         });
}

void kv_pdt_read_media_stapling(kv_pdt_import& import) {
  kv_pdt_read_named_list(import, kv_pdt_media_stapling, import.stapling,
                         [](UC_Media_Stapling& r, const kv_pdt_table& t) {
                           r.location = value_or(V::stapling_locations, t.field(3), 0);
                           r.when = value_or(V::stapling_times, t.field(4), -1);
                           r.orientation = kv_pdt_integer(t.field(5));
                         });
}

void kv_pdt_convert_media_descriptions(kv_pdt_import& import) {
  kv_pdt_table table = import.open(kv_pdt_media_description);
  GX_Flags& flags = import.media_abilities;
  int index = 0;
  while (table.next_row()) {
    if (!table.has(1)) continue;
    const int i = index++;
    kv_pdt_mark(flags, 9);
    import.put_caps_type(u"\\media\\description\\*\\caps_type", i);
    import.put_string(u"\\media\\description\\*\\name", kv_pdt_clean(table.field(1)), i);
    if (table.has(3)) {
      import.put_int(u"\\media\\size\\*\\media_group", value_or(V::media_groups, table.field(3), 0),
                     i);
      kv_pdt_mark(flags, 33);
    }
    if (table.has(5)) {
      import.put_bool(u"\\media\\description\\*\\dimensional", table.field(5)[0] != u'U', i);
      kv_pdt_mark(flags, 17);
    }
    if (table.has(8)) {
      import.put_double(u"\\media\\description\\*\\printable_area", kv_pdt_real(table.field(8)), i);
      kv_pdt_mark(flags, 16);
    }
    if (table.has(13)) {
      import.put_double(u"\\media\\description\\*\\media_bounds_urx", kv_pdt_real(table.field(13)),
                        i);
      import.put_double(u"\\media\\description\\*\\media_bounds_ury", kv_pdt_real(table.field(14)),
                        i);
      kv_pdt_mark(flags, 14);
    }
    if (table.has(15)) {
      import.put_double(u"\\media\\description\\*\\printable_bounds_llx",
                        kv_pdt_real(table.field(15)), i);
      import.put_double(u"\\media\\description\\*\\printable_bounds_lly",
                        kv_pdt_real(table.field(16)), i);
      import.put_double(u"\\media\\description\\*\\printable_bounds_urx",
                        kv_pdt_real(table.field(17)), i);
      import.put_double(u"\\media\\description\\*\\printable_bounds_ury",
                        kv_pdt_real(table.field(18)), i);
      kv_pdt_mark(flags, 15);
    }
  }
}

void kv_pdt_read_media_destinations(kv_pdt_import& import) {
  kv_pdt_table table = import.open(kv_pdt_media_destination);
  UC_Media_Destination pending;
  while (table.next_row()) {
    if (table.has(1)) {
      kv_pdt_mark(import.media_abilities, 8);
      kv_pdt_mark(import.media_abilities, 7);
      if (table.row() > 3) {
        import.destinations.append(pending);
        pending.collating.clear();
        pending.stapling.clear();
        pending.cutting.clear();
        pending.folding.clear();
      }
      pending.name = cleaned(table.field(1));
      import.look_up(table, kv_pdt_media_destination);
      pending.localized_name = import.text();
      pending.default_collating = cleaned(table.field(3));
      pending.default_stapling = cleaned(table.field(4));
      pending.default_cutting = cleaned(table.field(5));
      pending.default_folding = cleaned(table.field(6));
    }
    if (table.has(7)) pending.collating.append(cleaned(table.field(7)));
    if (table.has(8)) pending.stapling.append(cleaned(table.field(8)));
    if (table.has(9)) pending.cutting.append(cleaned(table.field(9)));
    if (table.has(10)) pending.folding.append(cleaned(table.field(10)));
  }
  if (table.rows_processed() > 0) import.destinations.append(pending);
}

void kv_pdt_convert_media_sizes(kv_pdt_import& import) {
  kv_pdt_table table = import.open(kv_pdt_media_size);
  GX_Flags& flags = import.media_abilities;
  int index = 0;
  while (table.next_row()) {
    if (!table.has(1)) continue;
    const int i = index++;
    kv_pdt_mark(flags, 6);
    kv_pdt_mark(flags, 5);
    import.put_caps_type(u"\\media\\size\\*\\caps_type", i);
    import.put_string(u"\\media\\size\\*\\name", kv_pdt_clean(table.field(1)), i);
    import.look_up(table, kv_pdt_media_size);
    import.put_string(u"\\media\\size\\*\\localized_name", import.text(), i);
    if (table.has(4)) {
      const char16_t orientation = table.field(4)[0];
      kv_pdt_mark(flags, 12);
      import.put_bool(u"\\media\\size\\*\\landscape_mode", orientation == u'L', i);
      if (orientation == u'L') import.landscape_seen = true;
      if (orientation == u'P') import.portrait_seen = true;
    }
    import.put_string(u"\\media\\size\\*\\media_description_name", kv_pdt_clean(table.field(5)), i);
  }
}

void kv_pdt_read_media_source_entries(kv_pdt_import& import) {
  kv_pdt_table table = import.open(kv_pdt_media_source_entry);
  GX_Flags& flags = import.media_abilities;
  UC_Media_Source_Entry pending;
  while (table.next_row()) {
    if (table.has(1)) {
      if (table.row() > 3) {
        import.source_entries.append(pending);
        pending.size_names.clear();
      }
      kv_pdt_mark(flags, 3);
      pending.name = cleaned(table.field(1));
      import.look_up(table, kv_pdt_media_source_entry);
      pending.localized_name = import.text();
      pending.default_size = cleaned(table.field(3));
      if (table.has(4)) {
        kv_pdt_mark(flags, 48);
        pending.width = kv_pdt_float(table.field(4));
      }
      if (table.has(5)) {
        kv_pdt_mark(flags, 49);
        pending.frame_height = kv_pdt_float(table.field(5));
      }
    }
    if (table.has(6)) pending.size_names.append(cleaned(table.field(6)));
  }
  if (table.rows_processed() > 0) import.source_entries.append(pending);
}

void kv_pdt_convert_media_sources(kv_pdt_import& import) {
  kv_pdt_table table = import.open(kv_pdt_media_source);
  GX_Flags& flags = import.media_abilities;
  std::u16string source = u"\\media\\source\\";  // + the name of the last named line
  const std::size_t prefix = source.size();
  while (table.next_row()) {
    if (table.has(1)) {
      kv_pdt_mark(flags, 2);
      kv_pdt_mark(flags, 1);
      source.resize(prefix);
      source += kv_pdt_clean(table.field(1));
      import.look_up(table, kv_pdt_media_source);
      import.put_caps_type(kv_pdt_path({source, u"\\caps_type"}));
      import.put_string(kv_pdt_path({source, u"\\localized_name"}), import.text());
      import.put_string(kv_pdt_path({source, u"\\default_entry"}), kv_pdt_clean(table.field(5)));
      if (table.has(3)) {
        const int32_t feed = value_or(V::feed_kinds, table.field(3), -1);
        if (feed != -1) {
          import.put_int(kv_pdt_path({source, u"\\feed"}), feed);
          kv_pdt_mark(flags, 32);
        }
      }
    }
    if (!table.has(4)) continue;
    const std::u16string name = kv_pdt_clean(table.field(4));
    const UC_Media_Source_Entry* entry = import.source_entries.find(name);
    if (entry == nullptr) continue;
    const std::u16string p = kv_pdt_path({source, u"\\entry\\", name});
    import.put_string(kv_pdt_path({p, u"\\default_size"}), entry->default_size.c_str());
    import.put_double(kv_pdt_path({p, u"\\width"}), entry->width);
    import.put_double(kv_pdt_path({p, u"\\frame_height"}), entry->frame_height);
    import.put_string(kv_pdt_path({p, u"\\localized_name"}), entry->localized_name.c_str());
    import.put_caps_type(kv_pdt_path({p, u"\\caps_type"}));
    kv_pdt_mark(flags, 4);
    const std::u16string size_name = kv_pdt_path({p, u"\\size_names\\*\\name"});
    const std::u16string size_caps = kv_pdt_path({p, u"\\size_names\\*\\caps_type"});
    int k = 0;
    for (const GX_String& size : entry->size_names) {
      import.put_string(size_name, size.c_str(), k);
      import.put_caps_type(size_caps, k);
      ++k;
    }
  }
}

void kv_pdt_convert_media_types(kv_pdt_import& import) {
  kv_pdt_table table = import.open(kv_pdt_media_type);
  GX_Flags& flags = import.media_abilities;
  int index = 0;
  while (table.next_row()) {
    if (!table.has(1)) continue;
    const int i = index++;
    kv_pdt_mark(flags, 11);
    kv_pdt_mark(flags, 10);
    import.put_string(u"\\media\\type\\*\\name", kv_pdt_clean(table.field(1)), i);
    import.put_caps_type(u"\\media\\type\\*\\caps_type", i);
    import.look_up(table, kv_pdt_media_type);
    import.put_string(u"\\media\\type\\*\\localized_name", import.text(), i);
    if (table.has(3)) {
      kv_pdt_mark(flags, 31);
      import.put_double(u"\\media\\type\\*\\max_resolution_x", kv_pdt_real(table.field(3)), i);
      import.put_double(u"\\media\\type\\*\\max_resolution_y", kv_pdt_real(table.field(4)), i);
    }
    if (table.has(5)) {
      kv_pdt_mark(flags, 30);
      import.put_int(u"\\media\\type\\*\\drying_time", kv_pdt_integer(table.field(5)), i);
    }
  }
}

void kv_pdt_write_media_destinations(kv_pdt_import& import) {
  GX_Flags& flags = import.media_abilities;
  for (const UC_Media_Destination& d : import.destinations) {
    const std::u16string p = kv_pdt_path({u"\\media\\destination\\", d.name.c_str()});
    import.put_string(kv_pdt_path({p, u"\\localized_name"}), d.localized_name.c_str());
    import.put_caps_type(kv_pdt_path({p, u"\\caps_type"}));

    if (const UC_Media_Collating* r = import.collating.find(d.default_collating)) {
      kv_pdt_mark(flags, 19);
      import.put_string(kv_pdt_path({p, u"\\default_collating"}), r->name.c_str());
    }
    if (const UC_Media_Stapling* r = import.stapling.find(d.default_stapling)) {
      kv_pdt_mark(flags, 18);
      import.put_string(kv_pdt_path({p, u"\\default_stapling"}), r->name.c_str());
    }
    if (const UC_Media_Folding* r = import.folding.find(d.default_folding)) {
      kv_pdt_mark(flags, 20);
      import.put_string(kv_pdt_path({p, u"\\default_folding"}), r->name.c_str());
    }
    if (const UC_Media_Cutting* r = import.cutting.find(d.default_cutting)) {
      kv_pdt_mark(flags, 21);
      import.put_string(kv_pdt_path({p, u"\\default_cutting"}), r->name.c_str());
    }

    for (const GX_String& o : d.collating) {
      const UC_Media_Collating* r = import.collating.find(o);
      if (r == nullptr) continue;
      kv_pdt_mark(flags, 36);
      const std::u16string q = kv_pdt_path({p, u"\\collating\\", o.c_str()});
      import.put_caps_type(kv_pdt_path({q, u"\\caps_type"}));
      import.put_string(kv_pdt_path({q, u"\\localized_name"}), r->localized_name.c_str());
      import.put_int(kv_pdt_path({q, u"\\collating_type"}), r->collating_type);
    }
    for (const GX_String& o : d.stapling) {
      const UC_Media_Stapling* r = import.stapling.find(o);
      if (r == nullptr) continue;
      kv_pdt_mark(flags, 35);
      const std::u16string q = kv_pdt_path({p, u"\\stapling\\", o.c_str()});
      import.put_caps_type(kv_pdt_path({q, u"\\caps_type"}));
      import.put_string(kv_pdt_path({q, u"\\localized_name"}), r->localized_name.c_str());
      import.put_int(kv_pdt_path({q, u"\\location"}), r->location);
      import.put_int(kv_pdt_path({q, u"\\when"}), r->when);
      import.put_int(kv_pdt_path({q, u"\\orientation"}), r->orientation);
    }
    for (const GX_String& o : d.folding) {
      const UC_Media_Folding* r = import.folding.find(o);
      if (r == nullptr) continue;
      kv_pdt_mark(flags, 37);
      const std::u16string q = kv_pdt_path({p, u"\\folding\\", o.c_str()});
      import.put_caps_type(kv_pdt_path({q, u"\\caps_type"}));
      import.put_string(kv_pdt_path({q, u"\\localized_name"}), r->localized_name.c_str());
      import.put_int(kv_pdt_path({q, u"\\folding_type"}), r->folding_type);
      import.put_int(kv_pdt_path({q, u"\\when"}), r->when);
    }
    for (const GX_String& o : d.cutting) {
      const UC_Media_Cutting* r = import.cutting.find(o);
      if (r == nullptr) continue;
      const std::u16string q = kv_pdt_path({p, u"\\cutting\\", o.c_str()});
      import.put_caps_type(kv_pdt_path({q, u"\\caps_type"}));
      import.put_string(kv_pdt_path({q, u"\\localized_name"}), r->localized_name.c_str());
      import.put_int(kv_pdt_path({q, u"\\when"}), r->when);
    }
  }
}
