// Copyright the kvstore authors.
//
// KV_PIAFile: the library's main format, a line-oriented text rendering of a
// sub-tree behind one header line, with an optional zlib-compressed body.
//
// A file is the header line "PIAFILEVERSION_2.0," + header text + CR LF,
// then the body: plain text, or, when the header line contains "compress",
// one zlib codec block (with check value for version 2.0 files, plain for
// 1.0) that holds it. The body is lines ended by LF, in UTF-8 or the ANSI
// code page, closed by one zero byte:
//   name=value       a property; the value's form gives its type:
//                    -12 (int), 210.0 (double, the exact text of
//                    doubletostring), "text (string, up to the end of the
//                    line), TRUE/FALSE (bool), \01AB\ (raw bytes)
//   name{ ... }      a child node and its contents, one blank of indent a level
//   ; comment        ignored, like empty lines
//
// Limits of this implementation, where the format leaves them open:
//   - a property name of 512 characters or more is reported like an empty
//     name (KV_Warning 57) and its line is skipped;
//   - a node that would make the current path 1024 characters or longer
//     raises KV_Error 57; a property whose path the store cannot take (1023
//     characters or more once "-1" replaces a first "*") is reported as
//     KV_Warning 57 and skipped;
//   - the line-context text holds at most the first 1023 characters of the
//     line;
//   - a header line longer than the caller's buffer is cut to it;
//   - string values are read and stored whole, however long;
//   - integer values beyond 32 bits saturate at the nearest 32-bit limit;
//   - the number forms are taken literally: a value that begins with a tab
//     or a "." is a number when its form says so ("\t5" an integer, ".5" and
//     "\t.5" doubles); a value of tabs alone is the integer 0, like "-"; a
//     double text that the conversion refuses (".", "5 .5") is reported as
//     KV_Warning 57;
//   - after a reported error 89 for a header that contains "compress" but
//     neither version, nothing is decoded and nothing is loaded;
//   - a compressed file larger than 4 GiB fails to decode (KV_Severe 84);
//   - a save ends by flushing the stream and checking it, so a full disk is
//     reported rather than lost at close.
// Values that the format cannot carry back: infinities and NaN are written in
// their exact text ("inf (...)"), which no value form reads (error 88 on
// loading); -0.0 is written as 0.0; lower-case hexadecimal digits pass the
// raw value form but decode to other bytes.
#ifndef KVSTORE_FORMATS_KV_PIA_FILE_H_
#define KVSTORE_FORMATS_KV_PIA_FILE_H_

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <string>

#include "formats/kv_file.h"

class kv_file_stream;

class KV_PIAFile : public KV_File {
 public:
  explicit KV_PIAFile(GX_Error_Handler* handler);
  ~KV_PIAFile() override;

  void load(KV_Object* object, const char16_t* root, KV_Object::FileType type) override;
  void save(const KV_Object* object, const char16_t* path, KV_Object::FileType type,
            const char16_t* options) override;
  void setStream(std::iostream* stream) override;
  void open(const char16_t* fileName, int mode) override;
  void close() override;
  void getVersion(char16_t* buffer, std::size_t size) override;
  virtual void setUtf8(bool utf8);

  // Blanks of indent per nesting level when writing (1 by default).
  void setIndentStep(int step) { m_indentStep = step; }
  int lineNumber() const { return m_lineNumber; }

 protected:
  // "\n<line number>, <line>, <file name>": the argument of every syntax
  // report of the text readers. At most 1023 units of line are used.
  std::u16string lineContext(const char16_t* line, std::size_t length) const;
  // Raises KV_Severe when stream is not good (see platform/stream_check.h);
  // revision is the raising unit's tag.
  void streamCheck(const char16_t* operation, const char16_t* detail, const std::ios& stream,
                   const char16_t* revision) const;

  std::iostream* m_stream;  // the current stream: owned file or the caller's
  KV_Object::FileType m_loadType;
  int m_lineNumber;
  std::unique_ptr<kv_file_stream> m_ownedStream;
  int m_indentStep;
  bool m_utf8;

 private:
  class BodyReader;
  void readBody(KV_Object* object, const char16_t* root, std::istream& body);
  void handleLine(KV_Object* object, std::u16string& line, std::u16string& path);
  void storeValue(KV_Object* object, const std::u16string& line, const char16_t* value,
                  std::size_t length, const std::u16string& path);
  void writeBody(const KV_Object* object, const char16_t* path, std::ostream& body);
};

#endif  // KVSTORE_FORMATS_KV_PIA_FILE_H_
