// Copyright the kvstore authors.
#include "drivers/kv_pdt_table.h"

#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>

#include "kvstore/kv_exceptions.h"
#include "platform/codepage.h"
#include "platform/stream_check.h"
#include "tree/kv_revision.h"

namespace {

constexpr const char16_t* kLoadSource = u"KV_PDTFile::load()";

// The file names of a set, in the reader's numbering.
struct FileRow {
  kv_pdt_file_id id;
  const char16_t* name;
};

constexpr FileRow kFiles[] = {
    {kv_pdt_baud_rate, u"Baud Rate"},
    {kv_pdt_custom_capability, u"Custom Capability"},
    {kv_pdt_dithering_method, u"Dithering Method"},
    {kv_pdt_io_method, u"IO Method"},
    {kv_pdt_media_collating, u"Media Collating"},
    {kv_pdt_media_cutting, u"Media Cutting"},
    {kv_pdt_media_description, u"Media Description"},
    {kv_pdt_media_destination, u"Media Destination"},
    {kv_pdt_media_folding, u"Media Folding"},
    {kv_pdt_media_source_size, u"Media Source Size"},
    {kv_pdt_media_source, u"Media Source"},
    {kv_pdt_media_size, u"Media Size"},
    {kv_pdt_media_stapling, u"Media Stapling"},
    {kv_pdt_media_type, u"Media Type"},
    {kv_pdt_memory_area, u"Memory Area"},
    {kv_pdt_resolution, u"Resolution"},
    {kv_pdt_resolution_color_memory, u"Resolution Color Memory"},
    {kv_pdt_misc_non_localizable_info, u"Misc Non-Localizable Info"},
    {kv_pdt_misc_localizable_information, u"Misc Localizable Information"},
    {kv_pdt_global_static_lists, u"Global Static Lists"},
    {kv_pdt_line_type_capabilities, u"Line Type Capabilities"},
    {kv_pdt_raster_capability, u"Raster Capability"},
    {kv_pdt_protocol, u"Protocol "},
    {kv_pdt_media_source_entry, u"Media Source Entry"},
};
static_assert(std::size(kFiles) == kv_pdt_file_count, "one row per file");

constexpr bool files_in_order() {
  for (std::size_t i = 0; i < std::size(kFiles); ++i) {
    if (static_cast<std::size_t>(kFiles[i].id) != i) return false;
  }
  return true;
}
static_assert(files_in_order(), "rows follow kv_pdt_file_id");

// The message id of a capability file that failed to open, by errno.
struct OpenError {
  int error;
  unsigned id;
  bool names_file;
};

constexpr OpenError kOpenErrors[] = {
    {ENOENT, 63, true}, {ENOMEM, 64, false}, {EACCES, 61, true},
    {EISDIR, 68, true}, {EMFILE, 62, false}, {ENOSPC, 65, true},
};
constexpr unsigned kOtherOpenError = 56;

bool is_space(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

bool is_digit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

// The "C" locale, whatever locale the host has set, for reading reals.
locale_t c_locale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

}  // namespace

const char16_t* kv_pdt_file_name(kv_pdt_file_id file) {
  return kFiles[file].name;
}

std::u16string kv_pdt_set_folder(const char16_t* key_text_path) {
  if (key_text_path == nullptr) return std::u16string();
  std::u16string_view path(key_text_path);
  const std::size_t slash = path.rfind(u'/');
  return slash == std::u16string_view::npos ? std::u16string()
                                            : std::u16string(path.substr(0, slash + 1));
}

bool kv_pdt_line_reader::read(std::string& bytes, bool& ended_by_break) {
  bytes.clear();
  std::streambuf* buffer = m_in.rdbuf();
  bool any = false;
  for (;;) {
    const int c = buffer->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      ended_by_break = false;
      m_in.setstate(std::ios::eofbit);
      return any;
    }
    any = true;
    if (c == '\n') {
      if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
      ended_by_break = true;
      return true;
    }
    if (bytes.size() < kMaxLineBytes) bytes.push_back(static_cast<char>(c));
  }
}

kv_pdt_table::kv_pdt_table(const std::u16string& folder, kv_pdt_file_id file, uint64_t* bytes_read)
    : m_fileName(folder + kv_pdt_file_name(file) + u".pdt"),
      m_reader(m_stream),
      m_bytesRead(bytes_read) {
  m_stream.open(m_fileName.c_str(), std::ios::in);
  if (m_stream.is_open()) return;
  const int error = m_stream.last_error();
  for (const OpenError& row : kOpenErrors) {
    if (row.error == error) {
      throw KV_Severe(row.id, kLoadSource, row.names_file ? m_fileName.c_str() : nullptr,
                      kRevKvpdt);
    }
  }
  throw KV_Severe(kOtherOpenError, kLoadSource, m_fileName.c_str(), kRevKvpdt);
}

void kv_pdt_table::check_read() const {
  const int error = m_stream.last_error();
  if (error == 0 && !m_stream.bad()) return;
  const unsigned id = kv_stream_error_id(error);
  throw KV_Severe(id, kLoadSource, id == 62 ? nullptr : m_fileName.c_str(), kRevKvpdt);
}

bool kv_pdt_table::read_line() {
  bool ended_by_break = false;
  if (!m_reader.read(m_bytes, ended_by_break)) {
    check_read();
    m_line.clear();
    m_fields.clear();
    return false;
  }
  ++m_row;
  if (m_bytesRead != nullptr) *m_bytesRead += m_bytes.size() + (ended_by_break ? 1 : 0);
  // A line's text ends at its first zero byte.
  kv_ansi_to_u16(m_bytes.data(), ::strnlen(m_bytes.data(), m_bytes.size()), m_line);
  split();
  if (!ended_by_break) check_read();
  m_lastEndedByBreak = ended_by_break;
  return true;
}

bool kv_pdt_table::next_row() {
  if (!m_headersRead) {
    m_headersRead = true;
    if (!read_line() || !m_lastEndedByBreak || !read_line() || !m_lastEndedByBreak) {
      m_fields.clear();
      return false;
    }
  }
  if (!read_line() || !m_lastEndedByBreak) return false;
  ++m_processed;
  return true;
}

void kv_pdt_table::split() {
  m_fields.clear();
  std::u16string_view rest(m_line);
  for (;;) {
    const std::size_t tab = rest.find(u'\t');
    std::u16string_view field = rest.substr(0, tab);
    const std::size_t comment = field.find(u"//");
    if (comment != std::u16string_view::npos) {
      std::size_t end = comment;
      while (end > 0 && field[end - 1] == u' ') --end;
      field = field.substr(0, end);
    }
    m_fields.push_back(field);
    if (tab == std::u16string_view::npos) break;
    rest.remove_prefix(tab + 1);
  }
}

std::u16string_view kv_pdt_table::field(int i) const {
  if (i < 1 || static_cast<std::size_t>(i) > m_fields.size()) return std::u16string_view();
  return m_fields[static_cast<std::size_t>(i) - 1];
}

std::u16string kv_pdt_clean(std::u16string_view field) {
  std::size_t end = field.size();
  while (end > 0 && field[end - 1] == u' ') --end;
  if (end > 0 && field[end - 1] == u'"') --end;
  std::size_t start = 0;
  if (start < end && field[start] == u'"') ++start;
  std::u16string name(field.substr(start, end - start));
  for (char16_t& c : name) {
    if (c == u' ') c = u'_';
  }
  return name;
}

int32_t kv_pdt_integer(std::u16string_view field) {
  std::size_t i = 0;
  while (i < field.size() && is_space(field[i])) ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == u'-' || field[i] == u'+')) {
    negative = field[i] == u'-';
    ++i;
  }
  constexpr int64_t kLimit = int64_t{1} << 31;
  int64_t magnitude = 0;
  for (; i < field.size() && is_digit(field[i]); ++i) {
    magnitude = magnitude * 10 + (field[i] - u'0');
    if (magnitude > kLimit) magnitude = kLimit;
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

double kv_pdt_real(std::u16string_view field) {
  std::size_t i = 0;
  while (i < field.size() && is_space(field[i])) ++i;
  // Only ASCII can belong to a number: the text up to the first other
  // character is handed to the C library's reader.
  std::string ascii;
  for (; i < field.size() && field[i] > 0 && field[i] < 0x80; ++i) {
    ascii.push_back(static_cast<char>(field[i]));
  }
  if (ascii.empty()) return 0;
  // The "C" locale is built into the C library; should it still be missing,
  // the process's locale is the best there is.
  const locale_t locale = c_locale();
  return locale != static_cast<locale_t>(nullptr) ? strtod_l(ascii.c_str(), nullptr, locale)
                                                  : std::strtod(ascii.c_str(), nullptr);
}

float kv_pdt_float(std::u16string_view field) {
  return static_cast<float>(kv_pdt_real(field));
}

bool kv_pdt_yes(std::u16string_view field) {
  return !field.empty() && field[0] == u'Y';
}
