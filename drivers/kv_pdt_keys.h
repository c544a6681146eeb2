// Copyright the kvstore authors.
//
// The key-text file of a driver description set and the lookup of the
// localizable texts of the capability files in it.
//
// The capability files do not hold their localizable texts: the cell that
// would hold one (column B, "C" in "Media Size") is skipped, and the text is
// looked up in the key-text file under the key built from the file's prefix,
// the column letter and the row: ORVA_MEDIA_SIZE_C3 names the text of the
// media size on row 3, ORVA_DITHERING_METHOD_B12 that of the dithering method
// on row 12.
//
// The key-text file is UTF-8. A line is an entry when, after leading blanks,
// it begins with "ORVA_": the key runs up to the first double quote (blanks
// before the quote removed; any other character, a TAB too, stays part of
// the key), the text from after that quote up to the next one. There is no
// escape for a quote inside a text. Every other line is ignored. A key given
// twice keeps both entries; the later one is found.
//
// Decisions of this implementation where the format leaves them open:
//   - an entry line without an opening double quote is ignored; one without
//     a closing quote has the rest of the line as its text;
//   - a UTF-8 byte order mark at the start of the file is skipped;
//   - lines are cut at 2047 bytes like the capability files' lines, and a
//     last line without a line break is read like the others;
//   - a found text is cut to 255 code units (never between the two halves of
//     a surrogate pair) when it is copied into the text buffer;
//   - a key that the file lacks leaves the text buffer as it was, so the
//     record gets the text of the previous successful lookup: texts of sets
//     written for other readers come out the same here.
#ifndef KVSTORE_DRIVERS_KV_PDT_KEYS_H_
#define KVSTORE_DRIVERS_KV_PDT_KEYS_H_

#include <cstdint>
#include <istream>
#include <string_view>

#include "drivers/kv_pdt_lists.h"
#include "drivers/kv_pdt_table.h"

class kv_pdt_keys {
 public:
  // Room of the text buffer: 255 units and a terminator.
  static constexpr std::size_t kTextUnits = 256;
  // Room of an assembled key.
  static constexpr std::size_t kKeyUnits = 128;

  kv_pdt_keys();
  kv_pdt_keys(const kv_pdt_keys&) = delete;
  kv_pdt_keys& operator=(const kv_pdt_keys&) = delete;

  // Reads the key-text file from in, from its current place to its end, and
  // adds its entries to the table.
  void read(std::istream& in);

  // Looks up the text of a file's row. When found, copies it into the text
  // buffer and returns true; otherwise leaves the buffer alone. A file
  // without a key prefix finds nothing.
  bool lookup(kv_pdt_file_id file, int32_t row);

  // The text of key as the table holds it (whole), or null.
  const char16_t* find(std::u16string_view key) const;

  // The text buffer: the text of the last successful lookup, empty before.
  const char16_t* text() const { return m_text; }
  int32_t entries() const { return m_table.count(); }

 private:
  void add_line(std::u16string_view line);

  kv_interned_texts m_strings;
  GX_Hash_Table<const char16_t*, const char16_t*> m_table;
  char16_t m_text[kTextUnits] = {};
};

// The key prefix of a file ("ORVA_MEDIA_SIZE_"), or null for a file whose
// texts are not looked up.
const char16_t* kv_pdt_key_prefix(kv_pdt_file_id file);

#endif  // KVSTORE_DRIVERS_KV_PDT_KEYS_H_
