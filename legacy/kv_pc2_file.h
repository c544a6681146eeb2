// Copyright the kvstore authors.
//
// KV_PC2File reads a PC2 plotter configuration file, and KV_CFGFile one
// instance of a multi-instance CFG file, into a tree. Both only read; a tree
// loaded from them is saved through the PIA writer they inherit.
//
// A PC2 file is text in the ANSI code page: a version line that begins with
// "PC2Version", then "[section]" lines and "key=value" lines; ";" starts a
// comment, empty lines are ignored. A static table of 140 rows (below) names
// every key the reader knows, the property it lands in (the section, a
// backslash and the key, below the root), its type and its default. Before
// the first key line is read, every row is stored with its default (1,418
// properties), so that a loaded tree always holds the complete set.
//
// Key lines: the section and the key are compared with the table ignoring
// the case of ASCII letters; the names in the tree keep the case of the file.
// The key is the text before the first "=" as written (a blank before the "="
// belongs to it and makes it match nothing); the value is the rest, without
// its leading blanks and "=". Rows with an index range match every key that
// begins with their name (Color17, Color300, PEN#3), and the whole key
// becomes the property name; the range only says which indexes get defaults.
// Keys that match no row are skipped without a report. Values are converted
// by the row's type: integers as signed decimal numbers (dmFields of a PC2
// file as a hexadecimal number, error 99 when it is none), doubles with
// stringtodouble, strings and raw bytes after removing a pair of enclosing
// double quotes, raw bytes with stringtobinary. A string property's path has
// its first "-" replaced by "_" (Opaque-Q is stored as Opaque_Q); the first
// "-" of the whole path is meant, so a root path that holds a "-" has that
// one replaced instead.
//
// A CFG file has the same lines and table, with instance numbers in its
// section names ("[Plotter#2/Device]"); load_section reads the sections of
// one instance and those without a number, and reads dmFields as decimal.
//
// Reports (through KV_File::report, reading goes on when the handler lets
// it): KV_Error 69 for a version line that does not begin with "PC2Version",
// KV_Error 57 for an empty version line; KV_Warning 57 for an empty section
// name, a line without "=", an empty value, a number or raw text that does
// not read; KV_Warning 99 for a dmFields value that is not hexadecimal. The
// line is then skipped and the property keeps its default. Raised: KV_Severe
// 56 without a stream; KV_Severe 64 (ENOMEM), 61 (EACCES) or 66 when a read
// fails, and 66 when the version line ends the file without a line feed.
//
// Limits and decisions of this implementation:
//   - a line of more than 1023 bytes ends the load like a failed read
//     (KV_Severe 66), as the reader's fixed line buffer dictates;
//   - a section name of more than 511 characters is reported (KV_Warning 57)
//     and makes the current section one that matches no row, so the keys
//     below it are skipped; a table key (section, "\", key) of more than 511
//     characters is reported (KV_Warning 57) and its line skipped;
//   - a property path that the store cannot take (1023 units or more once
//     composed) is reported (KV_Warning 57) and skipped; a root path so long
//     that the defaults do not fit makes the store raise KV_Warning 51;
//   - raw text that decodes to no bytes is reported (KV_Warning 57) and the
//     default (one zero byte) stays, so that every loaded tree can be saved;
//   - decimal integers beyond 32 bits saturate at the nearest limit;
//     hexadecimal ones are taken as 32 bits (FFFFFFFF is -1);
//   - the version text is cut to 511 characters when load reads it, and to
//     the caller's buffer in getVersion;
//   - key lookup uses an index built once: per section, a hash of its keys
//     and its few rows with an index range, the section found once per
//     section line; the first row in table order that matches wins, exactly
//     as a scan of the table would find it.
#ifndef KVSTORE_LEGACY_KV_PC2_FILE_H_
#define KVSTORE_LEGACY_KV_PC2_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/kv_pia_file.h"

struct KV_PC2SectionRows;

// One row of the PC2 key table.
struct KV_PC2Key {
  const char16_t* path;  // section, "\", key: the table key and the property path
  PropType type;         // PROP_INT, PROP_DOUBLE, PROP_STRING or PROP_VOID;
                         // PROP_NONE on the last row only
  int32_t defaultValue;  // integer rows, and double rows (converted)
  int32_t firstIndex;    // 1 on rows with an index range, else 0
  int32_t lastIndex;     // last index of the range; 0 or less: no range
};

struct KV_PC2KeyTable {
  const KV_PC2Key* rows;
  std::size_t count;
};

// The 140 rows, in their fixed order.
KV_PC2KeyTable kv_pc2_key_table();

class KV_PC2File : public KV_PIAFile {
 public:
  // handler is borrowed and may be null.
  explicit KV_PC2File(GX_Error_Handler* handler);
  ~KV_PC2File() override;

  // Reads the version line, stores every default below root, then reads the
  // key lines. type is not consulted.
  void load(KV_Object* object, const char16_t* root, KV_Object::FileType type) override;
  // Copies the first line that is neither empty nor begins with ";" (without
  // its carriage return, leading blanks and tabs and trailing blanks) into
  // buffer: at most size - 1 units and a terminator, nothing when buffer is
  // null or size is 0. Rewinds the stream first and leaves it after that line.
  void getVersion(char16_t* buffer, std::size_t size) override;

 protected:
  // root with a "\" appended when it is empty or does not end with one.
  static std::u16string rootPrefix(const char16_t* root);
  // Stores the default of every row below prefix.
  void fillDefaults(KV_Object* object, const std::u16string& prefix);
  // Reads key lines from the current position to the end of the stream.
  // instance is null for a PC2 file; for a CFG file it points to the
  // instance to read. readSource names the operation in read failures.
  void readKeyLines(KV_Object* object, const std::u16string& prefix, const int* instance,
                    const char16_t* readSource);

 private:
  // The current section of a read.
  struct Section {
    std::u16string name;
    // Set when name holds no backslash; rows are then the table rows of
    // that section (null: none).
    bool plain = true;
    const KV_PC2SectionRows* rows = nullptr;
  };

  void handleSection(std::u16string_view text, std::u16string& section, const int* instance);
  void handleKeyLine(KV_Object* object, std::u16string_view text, const Section& section,
                     const std::u16string& prefix, bool cfg);
  void reportLine(unsigned id, std::u16string_view text);

  // Work buffers of one load, kept so that lines need no allocation.
  std::u16string m_tableKey;
  std::u16string m_folded;
  std::u16string m_path;
  std::u16string m_value;
};

class KV_CFGFile : public KV_PC2File {
 public:
  explicit KV_CFGFile(GX_Error_Handler* handler);
  ~KV_CFGFile() override;

  // Stores every default below root, then reads, from where open left the
  // stream, the key lines of the sections whose instance number equals
  // section and of the sections without a number. No version line is read.
  virtual void load_section(KV_Object* object, const char16_t* root, int section);
};

#endif  // KVSTORE_LEGACY_KV_PC2_FILE_H_
