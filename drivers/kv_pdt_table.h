// Copyright the kvstore authors.
//
// The files of a driver description set and their line and field syntax.
//
// A set is a folder of tab-separated capability files, "<name>.pdt" for the
// names of kv_pdt_file_names, beside one key-text file (kv_pdt_keys.h). A
// capability file is text in the ANSI code page:
//   - lines 1 and 2 are column headers and are ignored; data starts on line 3,
//     and a data line's row is its line number in the file;
//   - fields are separated by TAB; field i (from 1) of a line with fewer
//     fields is empty;
//   - "//" starts a comment: the field ends before it, blanks directly before
//     it are dropped, and the rest up to the next TAB is skipped; a single
//     "/" is ordinary text;
//   - a line that ends the file without a line break is read but not
//     processed, so a file's last record must be followed by one.
//
// Decisions of this implementation where the format leaves them open:
//   - LF and CR LF both end a line; the line end is not part of the line;
//   - a line is cut at 2047 bytes; the rest of the line, up to its line
//     break, is skipped and counts as no line of its own;
//   - a line's text ends at its first zero byte;
//   - a read error after the file opened ends the load with the stream
//     error of its errno (61 to 65, 71 to 82, source "KV_PDTFile::load()",
//     the file name as argument).
#ifndef KVSTORE_DRIVERS_KV_PDT_TABLE_H_
#define KVSTORE_DRIVERS_KV_PDT_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_stream.h"

// The files of a set, in the reader's numbering.
enum kv_pdt_file_id : int {
  kv_pdt_baud_rate = 0,
  kv_pdt_custom_capability = 1,
  kv_pdt_dithering_method = 2,
  kv_pdt_io_method = 3,
  kv_pdt_media_collating = 4,
  kv_pdt_media_cutting = 5,
  kv_pdt_media_description = 6,
  kv_pdt_media_destination = 7,
  kv_pdt_media_folding = 8,
  kv_pdt_media_source_size = 9,
  kv_pdt_media_source = 10,
  kv_pdt_media_size = 11,
  kv_pdt_media_stapling = 12,
  kv_pdt_media_type = 13,
  kv_pdt_memory_area = 14,
  kv_pdt_resolution = 15,
  kv_pdt_resolution_color_memory = 16,
  kv_pdt_misc_non_localizable_info = 17,
  kv_pdt_misc_localizable_information = 18,
  kv_pdt_global_static_lists = 19,
  kv_pdt_line_type_capabilities = 20,
  kv_pdt_raster_capability = 21,
  kv_pdt_protocol = 22,
  kv_pdt_media_source_entry = 23,
};
inline constexpr int kv_pdt_file_count = 24;

// The name of a file of the set, without ".pdt" (note the blank that ends
// "Protocol ").
const char16_t* kv_pdt_file_name(kv_pdt_file_id file);

// The folder of a set: the key-text path up to and including its last "/"
// (empty when it has none, so that the files are looked up in the working
// folder).
std::u16string kv_pdt_set_folder(const char16_t* key_text_path);

// Reads lines of at most 2047 bytes from a stream (see above); the line end
// is not kept.
class kv_pdt_line_reader {
 public:
  static constexpr std::size_t kMaxLineBytes = 2047;

  explicit kv_pdt_line_reader(std::istream& in) : m_in(in) {}

  // Reads the next line into bytes. Returns false when the stream had no byte
  // left. ended_by_break tells whether a line break ended the line (false:
  // the end of the stream did).
  bool read(std::string& bytes, bool& ended_by_break);

 private:
  std::istream& m_in;
};

// One capability file, open for reading: its lines, rows and fields.
class kv_pdt_table {
 public:
  // Opens folder + name + ".pdt". Raises KV_Severe from "KV_PDTFile::load()"
  // when the open fails, with an id from the errno of the failed open:
  // ENOENT 63, ENOMEM 64 (no argument), EACCES 61, EISDIR 68, EMFILE 62 (no
  // argument), ENOSPC 65, any other 56; the argument is the file name.
  // When bytes_read is given, the bytes of every line read (line break
  // included, a cut line's rest not) are added to it.
  kv_pdt_table(const std::u16string& folder, kv_pdt_file_id file, uint64_t* bytes_read = nullptr);
  kv_pdt_table(const kv_pdt_table&) = delete;
  kv_pdt_table& operator=(const kv_pdt_table&) = delete;

  // Reads the next line, whatever its place, without the data-line rule:
  // false when the file had no byte left.
  bool read_line();
  // Reads the next data line. True when it is to be processed: a line break
  // ended it. False at the end of the file, and for a last line without a
  // line break. Reads the two header lines first when they have not been.
  bool next_row();

  // The line number of the last line read (the row of a data line).
  int32_t row() const { return m_row; }
  // Field i (from 1) of the last line read, comments removed; empty when the
  // line has fewer fields.
  std::u16string_view field(int i) const;
  bool has(int i) const { return !field(i).empty(); }
  // The number of fields of the last line read (a line without a TAB has
  // one, an empty line too).
  int field_count() const { return static_cast<int>(m_fields.size()); }
  // The number of data lines processed so far.
  int32_t rows_processed() const { return m_processed; }

  const std::u16string& file_name() const { return m_fileName; }

 private:
  void split();
  // Raises the stream error of a read that failed for another reason than
  // the end of the file.
  void check_read() const;

  std::u16string m_fileName;
  kv_file_stream m_stream;
  kv_pdt_line_reader m_reader;
  std::string m_bytes;
  std::u16string m_line;
  std::vector<std::u16string_view> m_fields;
  uint64_t* m_bytesRead;
  int32_t m_row = 0;
  int32_t m_processed = 0;
  bool m_headersRead = false;
  bool m_lastEndedByBreak = false;
};

// ---- Field values

// A name as the converters use it: trailing blanks removed, then one
// trailing double quote, then one leading double quote skipped, and every
// remaining blank turned into "_". A quoted "Roll Feed 1" gives Roll_Feed_1.
std::u16string kv_pdt_clean(std::u16string_view field);

// The integer of a field as the runtime's wide atol reads it on a 32-bit
// long: leading white space, an optional sign, then decimal digits up to the
// first other character; 0 without digits; saturated at the 32-bit limits.
int32_t kv_pdt_integer(std::u16string_view field);

// The real of a field as the runtime's wide atof reads it: leading white
// space, then the longest prefix that reads as a decimal or hexadecimal
// floating-point number, an infinity or a NaN, in the "C" locale whatever
// the host's; 0 when there is none.
double kv_pdt_real(std::u16string_view field);

// The real narrowed to a 32-bit float, as the capability records keep it.
float kv_pdt_float(std::u16string_view field);

// Yes/no fields: true when the first character is "Y".
bool kv_pdt_yes(std::u16string_view field);

#endif  // KVSTORE_DRIVERS_KV_PDT_TABLE_H_
