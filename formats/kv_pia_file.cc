// Copyright the kvstore authors.
#include "formats/kv_pia_file.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <istream>
#include <limits>
#include <memory>
#include <ostream>
#include <string>

#include "formats/kv_srcstreambuf.h"
#include "kvstore/kv_codec.h"
#include "kvstore/kv_convert.h"
#include "kvstore/kv_exceptions.h"
#include "kvstore/kv_iterator.h"
#include "platform/codepage.h"
#include "platform/file_stream.h"
#include "platform/stream_check.h"
#include "platform/temp_stream.h"
#include "toolkit/u16_text.h"
#include "tree/kv_alloc.h"
#include "tree/kv_compose.h"
#include "tree/kv_rendering.h"
#include "tree/kv_revision.h"

namespace {

constexpr const char16_t* kLoadSource = u"KV_PIAFile::load()";
constexpr const char16_t* kSaveSource = u"KV_PIAFile::save()";
constexpr const char16_t* kVersionSource = u"KV_PIAFile::getVersion()";
constexpr const char16_t* kOpenSource = u"KV_PIAFile::open()";

constexpr char kHeaderPrefix[] = "PIAFILEVERSION_2.0,";
constexpr const char16_t* kVersion1 = u"PIAFILEVERSION_1.0";
constexpr const char16_t* kVersion2 = u"PIAFILEVERSION_2.0";

// Buffers whose size the format fixes.
constexpr std::size_t kHeaderLineBytes = 1024;  // 1023 bytes and a terminator
constexpr std::size_t kVersionUnits = 512;
constexpr std::size_t kMaxNameUnits = 511;
constexpr std::size_t kPathUnits = 1024;
constexpr std::size_t kMaxContextLineUnits = 1023;
// Decoded bodies up to this size are read from memory, larger ones from a
// temporary file, so that a large text need not stay in memory while the
// tree is built.
constexpr uint32_t kBodyInMemory = 1u << 20;

// Bytes of body lines gathered before one write to the stream.
constexpr std::size_t kWriteBatchBytes = 1 << 16;

constexpr char16_t kForbiddenInNodeNames[] = u" *=\"'\t\r\n\v\b\f\a";

bool is_digit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

bool is_hex_digit(char16_t c) {
  return is_digit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

char16_t ascii_lower(char16_t c) {
  return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c;
}

// True when text begins with prefix, ignoring the case of ASCII letters.
bool starts_with_nocase(const char16_t* text, std::size_t length, const char16_t* prefix) {
  std::size_t n = u16_length(prefix);
  if (length < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (ascii_lower(text[i]) != ascii_lower(prefix[i])) return false;
  }
  return true;
}

bool starts_with(const char16_t* text, const char16_t* prefix) {
  for (; *prefix != 0; ++text, ++prefix) {
    if (*text != *prefix) return false;
  }
  return true;
}

bool contains(const char16_t* text, const char16_t* word) {
  if (text == nullptr) return false;
  return std::u16string_view(text).find(word) != std::u16string_view::npos;
}

// Cuts path at its last backslash (all of it when there is none).
void drop_last_component(std::u16string& path) {
  std::size_t cut = path.rfind(u'\\');
  path.resize(cut == std::u16string::npos ? 0 : cut);
}

void append_component(std::u16string& path, const char16_t* name, std::size_t length) {
  if (path.empty() || path.back() != u'\\') path.push_back(u'\\');
  path.append(name, length);
}

// The value of an integer line, like atol on a 32-bit long: leading blanks
// and tabs, an optional "-", then digits up to the first other character;
// saturates at the limits.
int32_t parse_int(const char16_t* value, std::size_t length) {
  std::size_t i = 0;
  while (i < length && (value[i] == u' ' || value[i] == u'\t')) ++i;
  bool negative = false;
  if (i < length && value[i] == u'-') {
    negative = true;
    ++i;
  }
  int64_t magnitude = 0;
  for (; i < length && is_digit(value[i]); ++i) {
    magnitude = magnitude * 10 + (value[i] - u'0');
    if (magnitude > int64_t{1} << 31) magnitude = int64_t{1} << 31;
  }
  int64_t result = negative ? -magnitude : magnitude;
  if (result > std::numeric_limits<int32_t>::max()) result = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(result);
}

// Widens ASCII text into out; false (out then unspecified) at the first byte
// that is not ASCII.
bool widen_ascii(const char* data, std::size_t size, std::u16string& out) {
  out.resize(size);
  for (std::size_t i = 0; i < size; ++i) {
    const auto byte = static_cast<unsigned char>(data[i]);
    if (byte >= 0x80) return false;
    out[i] = byte;
  }
  return true;
}

// True when the store takes path with index -1: composed, with "-1" in
// place of a first "*", it must fit the store's work buffer. A longer path
// would make the store raise instead of the reader reporting it.
bool store_takes(const std::u16string& path) {
  if (path.size() + 1 < kComposedPathUnits - 1) return true;
  char16_t composed[kComposedPathUnits];
  return kv_compose_path(path.c_str(), -1, composed) != nullptr;
}

// A read error (not just the end) of a stream that can tell the two apart.
bool failed_by_error(const std::ios& stream) {
  if (stream.bad()) return true;
  return dynamic_cast<const kv_file_stream*>(&stream) != nullptr && kv_stream_error(stream) != 0;
}

// Releases a buffer of the library's allocator when it goes out of scope.
struct Owned {
  void* p = nullptr;
  ~Owned() { kv_free(p); }
};

}  // namespace

// Reads the body in large chunks and hands it out line by line. The stream's
// end-of-file state shows only when every buffered byte has been handed out,
// so a stream check between lines sees the stream as the line reader does.
class KV_PIAFile::BodyReader {
 public:
  explicit BodyReader(std::istream& in) : m_in(in) {}

  // True when no byte is left.
  bool AtEnd() { return m_pos == m_len && !Fill(); }

  // Skips blank, tab, line feed, vertical tab, form feed and carriage return.
  void SkipSpace() {
    for (;;) {
      while (m_pos < m_len && IsSpace(m_buffer[m_pos])) ++m_pos;
      if (m_pos < m_len || !Fill()) return;
    }
  }

  // Reads up to the next line feed (consumed, not kept) into line. Returns
  // true when the end of the stream ended the line instead: the last line.
  bool ReadLine(std::string& line) {
    line.clear();
    for (;;) {
      const char* start = m_buffer + m_pos;
      const void* lf = std::memchr(start, '\n', m_len - m_pos);
      if (lf != nullptr) {
        std::size_t n = static_cast<const char*>(lf) - start;
        line.append(start, n);
        m_pos += n + 1;
        return false;
      }
      line.append(start, m_len - m_pos);
      m_pos = m_len;
      if (!Fill()) return true;
    }
  }

 private:
  static bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
  }

  bool Fill() {
    m_pos = m_len = 0;
    if (m_done) {
      m_in.setstate(m_endState);
      return false;
    }
    errno = 0;
    m_in.read(m_buffer, sizeof(m_buffer));
    m_len = static_cast<std::size_t>(m_in.gcount());
    if (!m_in.good()) {
      // Keep the end (or the error) for when the buffered bytes are used up;
      // an error shows at once, so that the next stream check reports it.
      m_done = true;
      m_endState = m_in.rdstate();
      if (!failed_by_error(m_in)) m_in.clear();
    }
    if (m_len == 0 && m_done) {
      m_in.setstate(m_endState);
      return false;
    }
    return true;
  }

  std::istream& m_in;
  char m_buffer[1 << 16];
  std::size_t m_pos = 0;
  std::size_t m_len = 0;
  bool m_done = false;
  std::ios::iostate m_endState = std::ios::goodbit;
};

KV_PIAFile::KV_PIAFile(GX_Error_Handler* handler)
    : KV_File(handler),
      m_stream(nullptr),
      m_loadType(KV_Object::FT_PIA),
      m_lineNumber(0),
      m_indentStep(1),
      m_utf8(false) {}

KV_PIAFile::~KV_PIAFile() {
  if (m_ownedStream != nullptr && m_ownedStream->is_open()) m_ownedStream->close();
}

void KV_PIAFile::setUtf8(bool utf8) {
  m_utf8 = utf8;
}

void KV_PIAFile::setStream(std::iostream* stream) {
  m_stream = stream;
  setFileName(nullptr);
}

void KV_PIAFile::open(const char16_t* fileName, int mode) {
  if (m_ownedStream == nullptr) {
    m_ownedStream = std::make_unique<kv_file_stream>();
    m_stream = m_ownedStream.get();
  }
  if (m_ownedStream->is_open()) return;
  if (mode == 0 && !kv_file_exists(fileName)) {
    throw KV_Severe(63, kLoadSource, fileName, kRevKvpia);
  }
  m_ownedStream->open(fileName, mode == 0 ? std::ios::in : std::ios::out | std::ios::trunc);
  streamCheck(kOpenSource, fileName, *m_stream, kRevKvpia);
  setFileName(fileName);
}

void KV_PIAFile::close() {
  if (m_ownedStream != nullptr && m_ownedStream->is_open()) m_ownedStream->close();
}

std::u16string KV_PIAFile::lineContext(const char16_t* line, std::size_t length) const {
  char16_t number[24];
  std::u16string context(u"\n");
  context.append(number, u16_from_int(m_lineNumber, number));
  context += u", ";
  context.append(line, length < kMaxContextLineUnits ? length : kMaxContextLineUnits);
  context += u", ";
  if (fileName() != nullptr) context += fileName();
  return context;
}

void KV_PIAFile::streamCheck(const char16_t* operation, const char16_t* detail,
                             const std::ios& stream, const char16_t* revision) const {
  kv_stream_check(operation, detail, stream, revision);
}

void KV_PIAFile::getVersion(char16_t* buffer, std::size_t size) {
  if (buffer == nullptr) return;
  if (size == 0) {
    buffer[0] = 0;
    return;
  }
  errno = 0;
  m_stream->seekg(0);
  char line[kHeaderLineBytes];
  for (;;) {
    line[0] = 0;
    m_stream->getline(line, sizeof(line));
    ++m_lineNumber;
    if (line[0] != 0 || !m_stream->good()) break;
  }
  streamCheck(kVersionSource, fileName(), *m_stream, kRevKvpia);

  std::u16string header;
  kv_ansi_to_u16(line, std::strlen(line), header);
  if (!header.empty() && header.back() == u'\r') header.pop_back();
  std::size_t start = header.find_first_not_of(u" \t");
  if (start == std::u16string::npos) start = header.size();
  const char16_t* text = header.c_str() + start;
  std::size_t length = header.size() - start;
  if (m_loadType == KV_Object::FT_PIA && !starts_with_nocase(text, length, kVersion1) &&
      !starts_with_nocase(text, length, kVersion2)) {
    report(KV_Error(89, kVersionSource, fileName(), kRevKvpia));
  }
  std::size_t copied = length < size - 1 ? length : size - 1;
  std::memcpy(buffer, text, copied * sizeof(char16_t));
  buffer[copied] = 0;
}

void KV_PIAFile::load(KV_Object* object, const char16_t* root, KV_Object::FileType type) {
  m_loadType = type;
  char16_t header[kVersionUnits];
  getVersion(header, kVersionUnits);
  if (!contains(header, u"compress")) {
    readBody(object, root, *m_stream);
    return;
  }

  // A compressed body: read the whole file (the codec finds its block behind
  // the header line), decode it to a temporary stream and read that.
  m_stream->seekg(0, std::ios::end);
  std::streamoff end = m_stream->tellg();
  m_stream->seekg(0, std::ios::beg);
  streamCheck(kLoadSource, fileName(), *m_stream, kRevKvpia);
  if (end < 0 || static_cast<uint64_t>(end) > std::numeric_limits<uint32_t>::max()) {
    throw KV_Severe(84, u"kvpia", u"decompression of PIA data failed", kRevKvpia);
  }
  Owned file;
  file.p = kv_alloc(static_cast<std::size_t>(end));
  if (file.p == nullptr) throw KV_Memory_Exception(55, u"kvpia", u"buffer", kRevKvpia);
  m_stream->read(static_cast<char*>(file.p), end);
  streamCheck(kLoadSource, fileName(), *m_stream, kRevKvpia);

  KV_zlib_Codec codec(static_cast<const unsigned char*>(file.p), static_cast<uint32_t>(end),
                      m_errorHandler);
  unsigned char* decoded = nullptr;
  uint32_t decodedSize = 0;
  bool ok;
  if (starts_with(header, kVersion1)) {
    ok = codec.decode(decoded, decodedSize);
  } else if (starts_with(header, kVersion2)) {
    ok = codec.decodeCRC(decoded, decodedSize);
  } else {
    return;  // a reported header of neither version: nothing to decode
  }
  if (!ok) throw KV_Severe(84, u"kvpia", u"decompression of PIA data failed", kRevKvpia);
  Owned body;
  body.p = decoded;
  kv_free(file.p);
  file.p = nullptr;
  if (decodedSize <= kBodyInMemory) {
    // A small body is read where it was decoded: parking it in a temporary
    // file would cost more than the memory it frees.
    kv_srcstreambuf source(reinterpret_cast<const char*>(decoded), decodedSize);
    std::istream in(&source);
    readBody(object, root, in);
    return;
  }
  kv_temp_stream temp;
  temp.stream().write(reinterpret_cast<const char*>(decoded), decodedSize);
  kv_free(body.p);
  body.p = nullptr;
  temp.stream().seekg(0);
  readBody(object, root, temp.stream());
}

void KV_PIAFile::readBody(KV_Object* object, const char16_t* root, std::istream& body) {
  std::u16string path(root != nullptr ? root : u"");
  path.reserve(kPathUnits);
  BodyReader reader(body);
  std::string bytes;
  std::u16string line;
  // ASCII is the same text in UTF-8 and in Windows-1252: most lines need no
  // conversion there.
  const unsigned codepage = kv_ansi_codepage();
  const bool ascii_as_is = m_utf8 || codepage == kCodepageWindows1252 || codepage == kCodepageUtf8;
  for (;;) {
    ++m_lineNumber;
    bool last = true;
    bytes.clear();
    if (!reader.AtEnd()) {
      reader.SkipSpace();
      last = reader.ReadLine(bytes);
    }
    // A line is text up to its first zero byte, like the zero byte that
    // closes every body.
    std::size_t length = ::strnlen(bytes.data(), bytes.size());
    if (!ascii_as_is || !widen_ascii(bytes.data(), length, line)) {
      kv_bytes_to_u16(bytes.data(), length, m_utf8, line);
    }
    if (!last) streamCheck(kLoadSource, fileName(), *m_stream, kRevKvpia);
    handleLine(object, line, path);
    if (last) break;
  }
  // The end of the body may have been a read error rather than the end of
  // the file; that must not pass for a complete load.
  if (failed_by_error(body)) streamCheck(kLoadSource, fileName(), body, kRevKvpia);
}

void KV_PIAFile::handleLine(KV_Object* object, std::u16string& line, std::u16string& path) {
  if (line.empty() || line[0] == u';') return;
  std::size_t end = line.find_last_not_of(u' ');
  line.resize(end == std::u16string::npos ? 0 : end + 1);

  if (line.find(u'=') != std::u16string::npos) {
    std::size_t nameEnd = line.find_first_of(u" =");
    if (nameEnd == 0 || nameEnd > kMaxNameUnits) {
      report(
          KV_Warning(57, kLoadSource, lineContext(line.c_str(), line.size()).c_str(), kRevKvpia));
      return;
    }
    append_component(path, line.c_str(), nameEnd);
    if (!store_takes(path)) {
      drop_last_component(path);
      report(
          KV_Warning(57, kLoadSource, lineContext(line.c_str(), line.size()).c_str(), kRevKvpia));
      return;
    }
    std::size_t valueStart = line.find_first_not_of(u" =", nameEnd);
    if (valueStart == std::u16string::npos) {
      report(KV_Error(57, kLoadSource, lineContext(line.c_str(), line.size()).c_str(), kRevKvpia));
    } else {
      storeValue(object, line, line.c_str() + valueStart, line.size() - valueStart, path);
    }
    drop_last_component(path);
    return;
  }

  std::size_t brace = line.find(u'{');
  if (brace != std::u16string::npos) {
    bool bad = brace == 0;
    for (std::size_t i = 0; i < brace && !bad; ++i) {
      bad = u16_find(kForbiddenInNodeNames, line[i]) != nullptr;
    }
    if (!bad) {
      append_component(path, line.c_str(), brace);
      bad = path.size() >= kPathUnits;
    }
    if (bad) {
      throw KV_Error(57, kLoadSource, lineContext(line.c_str(), line.size()).c_str(), kRevKvpia);
    }
    return;
  }

  if (line.find(u'}') != std::u16string::npos) {
    if (path.empty()) return;
    std::size_t cut = path.rfind(u'\\');
    if (cut == std::u16string::npos) {
      throw KV_Error(57, kLoadSource, lineContext(line.c_str(), line.size()).c_str(), kRevKvpia);
    }
    path.resize(cut);
    return;
  }
  throw KV_Error(57, kLoadSource, lineContext(line.c_str(), line.size()).c_str(), kRevKvpia);
}

void KV_PIAFile::storeValue(KV_Object* object, const std::u16string& line, const char16_t* value,
                            std::size_t length, const std::u16string& path) {
  const char16_t first = value[0];
  // The number forms are read literally: an optional "-", then digits,
  // blanks and tabs, so a value may begin with any of them, or with the "."
  // of a double (".5", "\t5" and "-.5" are numbers).
  if (first == u'-' || first == u'.' || first == u' ' || first == u'\t' || is_digit(first)) {
    std::size_t i = first == u'-' ? 1 : 0;
    while (i < length && (is_digit(value[i]) || value[i] == u' ' || value[i] == u'\t')) ++i;
    if (i == length) {
      int32_t number = parse_int(value, length);
      store(object, path.c_str(), &number, sizeof(number), PROP_INT);
      return;
    }
    if (value[i] == u'.') {
      double number = 0;
      if (stringtodouble(value, &number) == 0) {
        report(
            KV_Warning(57, kLoadSource, lineContext(line.c_str(), line.size()).c_str(), kRevKvpia));
      } else {
        store(object, path.c_str(), &number, sizeof(number), PROP_DOUBLE);
      }
      return;
    }
  } else if (first == u'"') {
    // The text after the quote with its terminator (the line's own).
    store(object, path.c_str(), value + 1, length * sizeof(char16_t), PROP_STRING);
    return;
  } else if (starts_with_nocase(value, length, u"true") ||
             starts_with_nocase(value, length, u"false")) {
    unsigned char flag = starts_with_nocase(value, length, u"true") ? 1 : 0;
    store(object, path.c_str(), &flag, 1, PROP_BOOL);
    return;
  } else if (first == u'\\') {
    std::size_t last = std::u16string_view(value, length).rfind(u'\\');
    bool hex_only = last != 0;
    for (std::size_t i = 1; i < last && hex_only; ++i) hex_only = is_hex_digit(value[i]);
    if (hex_only) {
      std::size_t start = 0;
      while (start < length && (value[start] == u' ' || value[start] == u'\\')) ++start;
      std::size_t stop = start;
      while (stop < length && value[stop] != u'\\') ++stop;
      std::size_t digits = stop - start;
      if (digits == 0 || digits % 2 != 0) {
        report(
            KV_Warning(57, kLoadSource, lineContext(line.c_str(), line.size()).c_str(), kRevKvpia));
        return;
      }
      std::string hex(digits, '0');
      for (std::size_t i = 0; i < digits; ++i) hex[i] = static_cast<char>(value[start + i]);
      Owned bytes;
      bytes.p = kv_alloc(digits / 2);
      if (bytes.p == nullptr) throw KV_Memory_Exception(55, u"kvpia", u"data", kRevKvpia);
      if (!kv_hex_to_bin(hex.c_str(), bytes.p)) {
        throw KV_Error(53, u"kvpia", u"bad raw data value", kRevKvpia);
      }
      store(object, path.c_str(), bytes.p, digits / 2, PROP_VOID);
      return;
    }
  }
  // No type: the line itself is the source of the report.
  KV_Warning untyped(88, line.c_str(), u"", kRevKvpia);
  untyped.own_source();
  report(untyped);
}

void KV_PIAFile::save(const KV_Object* object, const char16_t* path, KV_Object::FileType type,
                      const char16_t* options) {
  const bool compress = contains(options, u"compress");
  std::unique_ptr<kv_temp_stream> temp;
  if (compress) temp = std::make_unique<kv_temp_stream>();
  std::iostream& body = compress ? temp->stream() : *m_stream;

  errno = 0;
  m_stream->seekp(0);
  if (type == KV_Object::FT_PIA) {
    std::string header(kHeaderPrefix);
    header += kv_u16_to_ansi(options);
    header += "\r\n";
    m_stream->write(header.data(), static_cast<std::streamsize>(header.size()));
  }
  streamCheck(kSaveSource, fileName(), *m_stream, kRevKvpia);

  writeBody(object, path, body);
  body.put('\0');
  streamCheck(kSaveSource, fileName(), body, kRevKvpia);

  if (compress) {
    body.flush();
    body.seekg(0, std::ios::end);
    std::streamoff length = body.tellg();
    body.seekg(0, std::ios::beg);
    streamCheck(kSaveSource, fileName(), body, kRevKvpia);
    if (length < 0 || static_cast<uint64_t>(length) > KV_zlib_Codec::kMaxEncodeSize) {
      throw KV_Severe(85, u"kvpia", u"compression of PIA data failed", kRevKvpia);
    }
    Owned text;
    text.p = kv_alloc(static_cast<std::size_t>(length));
    body.read(static_cast<char*>(text.p), length);
    streamCheck(kSaveSource, fileName(), body, kRevKvpia);
    KV_zlib_Codec codec(static_cast<const unsigned char*>(text.p), static_cast<uint32_t>(length),
                        m_errorHandler);
    unsigned char* block = nullptr;
    uint32_t blockSize = 0;
    if (!codec.encodeCRC(block, blockSize)) {
      throw KV_Severe(85, u"kvpia", u"compression of PIA data failed", kRevKvpia);
    }
    Owned encoded;
    encoded.p = block;
    m_stream->write(reinterpret_cast<const char*>(block), blockSize);
    streamCheck(kSaveSource, fileName(), *m_stream, kRevKvpia);
  }
  // Data still buffered would otherwise meet a full disk only at close,
  // where nobody hears of it.
  m_stream->flush();
  streamCheck(kSaveSource, fileName(), *m_stream, kRevKvpia);
}

void KV_PIAFile::writeBody(const KV_Object* object, const char16_t* path, std::ostream& body) {
  std::unique_ptr<KV_Iterator> it(object->newIterator(path, 0));
  if (it == nullptr) throw KV_Memory_Exception(55, kSaveSource, u"piter", kRevKvpia);

  std::string line;
  std::string converted;
  // ASCII is the same bytes in UTF-8 and in Windows-1252: names and most
  // values need no conversion there.
  const unsigned codepage = kv_ansi_codepage();
  const bool ascii_as_is = m_utf8 || codepage == kCodepageWindows1252 || codepage == kCodepageUtf8;
  auto append_text = [&](const char16_t* text, std::size_t length) {
    std::size_t i = 0;
    if (ascii_as_is) {
      for (; i < length && text[i] < 0x80; ++i) line.push_back(static_cast<char>(text[i]));
      if (i == length) return;
    }
    kv_u16_to_bytes(text + i, length - i, m_utf8, converted);
    line += converted;
  };
  // Lines go to the stream in batches, each checked once. Lines pending when
  // a value cannot be rendered are still written: the stream then holds every
  // line rendered before the failure.
  struct Pending {
    std::ostream& out;
    std::string text;
    ~Pending() {
      if (text.empty()) return;
      // A caller's stream may throw on failure; nothing may leave a
      // destructor that runs while another error unwinds.
      try {
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
      } catch (...) {
      }
    }
  } pending{body, {}};
  auto write_pending = [&]() {
    body.write(pending.text.data(), static_cast<std::streamsize>(pending.text.size()));
    pending.text.clear();
    streamCheck(kSaveSource, fileName(), body, kRevKvpia);
  };
  auto write_line = [&]() {
    line.push_back('\n');
    pending.text += line;
    if (pending.text.size() >= kWriteBatchBytes) write_pending();
  };
  auto write_node_line = [&](int indent, const char16_t* name, bool open) {
    line.assign(static_cast<std::size_t>(indent), ' ');
    if (open) {
      append_text(name, u16_length(name));
      line.push_back('{');
    } else {
      line.push_back('}');
    }
    write_line();
  };

  KV_Rendering r;
  auto write_properties = [&](int indent) {
    while (const char16_t* name = r.next(*it)) {
      line.assign(static_cast<std::size_t>(indent), ' ');
      append_text(name, u16_length(name));
      line.push_back('=');
      switch (r.type) {
        case PROP_INT:
        case PROP_BOOL:
          line.append(r.data, ::strnlen(r.data, r.size));
          break;
        case PROP_DOUBLE: {
          const auto* text = reinterpret_cast<const char16_t*>(r.data);
          for (std::size_t i = 0; i < r.size / 2 && text[i] != 0; ++i) {
            line.push_back(static_cast<char>(text[i]));
          }
          break;
        }
        case PROP_STRING: {
          // The stored bytes are taken as wide text, up to its terminator.
          // (The rendering comes from the allocator, aligned for any type.)
          const std::size_t units = r.size / 2;
          const auto* text = reinterpret_cast<const char16_t*>(r.data);
          std::size_t length = 0;
          while (length < units && text[length] != 0) ++length;
          line.push_back('"');
          append_text(text, length);
          break;
        }
        case PROP_VOID:
          line.push_back('\\');
          line.append(r.data, ::strnlen(r.data, r.size));
          line.push_back('\\');
          break;
        default:
          break;
      }
      write_line();
    }
  };

  write_properties(0);
  const int step = m_indentStep;
  int depth = -step;
  KV_Object::NodeType move;
  while (const char16_t* name = it->nextNode(move)) {
    if (move == KV_Object::NODE_CHILD) {
      depth += step;
      write_node_line(depth, name, true);
      write_properties(depth + step);
    } else if (move == KV_Object::NODE_NEXT) {
      write_node_line(depth, name, false);
      write_node_line(depth, name, true);
      write_properties(depth + step);
    } else {
      write_node_line(depth, name, false);
      depth -= step;
      if (depth == -step) break;
    }
  }
  write_pending();
}
