// Copyright the kvstore authors.
//
// The enumeration vocabularies of driver descriptions: the fixed lists of
// (name, value) pairs that turn the symbolic names of capability fields (a
// paper family, a feed kind, a handshake line ...) into the numbers that the
// tree receives. Names and numbers are part of the stored format.
//
// Matching is exact: case, blanks and punctuation must agree with the table,
// including the parts after the name in entries such as "Rts_Enable = 0x10".
// A text that names no pair gives kv_pdt_not_found (65535); each converter
// says what becomes of that value.
//
// The process-wide table: every name of every vocabulary, and the word "ALL",
// is interned once per process in one table, created on first use and never
// destroyed; a vocabulary keeps the interned pointers of its names, and a
// lookup finds the interned copy of the field text and compares pointers.
// The table is created under the guarantee of a function-local static, so
// concurrent first loads are safe, and is read-only afterwards: a lookup of a
// text that is not a name only searches the table and never adds to it, so a
// long-running host does not collect the texts of every file it reads.
#ifndef KVSTORE_DRIVERS_KV_PDT_VOCAB_H_
#define KVSTORE_DRIVERS_KV_PDT_VOCAB_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

enum class kv_pdt_vocabulary : int {
  parity,
  dithering_types,
  handshake_lines,
  bidirectional_features,
  io_types,
  data_bits,
  stop_bits,
  collating_types,
  cutting_times,
  media_groups,
  folding_types,
  folding_times,
  feed_kinds,
  stapling_times,
  stapling_locations,
  line_types,
  raster_abilities,
  raster_orientations,
  colour_systems,
  media_selection_methods,
  duplexing_modes,
  pen_optimizations,
  line_type_abilities,
  init_term_ui_groups,
  pen_ui_groups,
  res_color_mem_ui_groups,
  io_ui_groups,
  media_ui_groups,
};
inline constexpr int kv_pdt_vocabulary_count = 28;

// The result of a lookup of a text that names no pair.
inline constexpr uint32_t kv_pdt_not_found = 65535;

struct kv_pdt_name_value {
  const char16_t* name;
  uint32_t value;
};

// The pairs of one vocabulary, in table order.
struct kv_pdt_pairs {
  const kv_pdt_name_value* pairs;
  std::size_t size;
  const kv_pdt_name_value* begin() const { return pairs; }
  const kv_pdt_name_value* end() const { return pairs + size; }
};
kv_pdt_pairs kv_pdt_vocabulary_pairs(kv_pdt_vocabulary vocabulary);

// Creates the process-wide table unless it exists. Every lookup does so
// itself; a load calls it first so that its cost is not charged to a step.
void kv_pdt_vocabularies_init();

// The value of the first pair of vocabulary whose name is exactly text, or
// kv_pdt_not_found.
uint32_t kv_pdt_lookup(kv_pdt_vocabulary vocabulary, std::u16string_view text);

// True when text is exactly "ALL", the word that stands for every entry of
// a vocabulary in the user-interface ownership lines.
bool kv_pdt_is_all(std::u16string_view text);

// The number of distinct texts in the process-wide table: the distinct names
// of all vocabularies and "ALL". It never changes after creation.
std::size_t kv_pdt_vocabulary_table_size();

// The dithering renderer of a text, matched by plain comparison: "Neither" 0,
// "FrameBuffer" 1, "BothDitherAndFB" 2, any other text -1.
int32_t kv_pdt_renderer(std::u16string_view text);

#endif  // KVSTORE_DRIVERS_KV_PDT_VOCAB_H_
