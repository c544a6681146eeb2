// Copyright the kvstore authors.
//
// KV_DPIAFile: a sectioned container. A small directory of fixed-width
// integers and texts is followed by independent sections, each a complete
// compressed PIA file, so that a host keeps several sub-trees in one file and
// loads any one of them without reading the others.
//
// Layout (integers 32-bit unsigned little-endian, texts UTF-8 without
// terminator):
//   0   version word: 0x10000 "DPIA_VERSION_1.0", 0x20000 "DPIA_VERSION_2.0"
//   4   N, the number of sections
//   8   N entries: L, L bytes of descriptor, [2.0 only: M, M bytes of info],
//       the section's offset counted from D, the section's size
//   D   the sections, the end of the last entry being D
// Each section is a PIA file: "PIAFILEVERSION_2.0,DPIA_SECTION_1.0,compress"
// CR LF and one zlib codec block with check value holding the UTF-8 body.
// The writer writes only version 2.0, the sections in directory order from
// offset 0, each at the end of the one before.
//
// Tree layout under a path P:
//   P\name          one section per direct child node of P, in the tree's
//                   order; the node's name is the descriptor
//   P\name\info     string property: the section's info text
//   P\name\data     the sub-tree saved as the section's content
//   P\DPIA_directory\i\descriptor, \info   what load stores (i from 0; info
//                   only for version 2.0 files)
//
// load reads only the directory; load_section reads the directory and the
// one section it names, so its cost does not grow with the other sections.
//
// Decisions where the format leaves room:
//   - A directory that cannot be what it claims is refused before anything
//     is read past the data or allocated for it: a count N whose entries do
//     not fit in the file (or N above 2^31 - 1, which no index could name),
//     or a length L or M that runs past the end of the file. A section
//     whose bytes (D + offset + size) lie outside the file is refused by the
//     load_section that asks for it, before its buffer is made; load, which
//     reads no section, does not judge them, so the intact sections of a
//     truncated file can still be listed and loaded. The refusal is the
//     stream check's own report of a read past the end, KV_Severe 82: from
//     "KV_DPIAFile::load()" with the file name for the directory (of load
//     and load_section alike), from "load_section" with the descriptor for
//     a section. The stream is measured once (a seek to its end), so it
//     must be seekable; an unseekable stream fails the stream check.
//   - After a reported error 69 (an unknown version word) that the handler
//     lets go on, nothing more is read: load stores nothing, load_section
//     loads nothing.
//   - Descriptors and infos are stored whole, however long.
//   - save rewinds the stream first: the directory is written twice at the
//     absolute offset 4, so the file must start at the stream's beginning.
//   - A child node without a data node gets a section whose PIA body is
//     empty (a tree without anything), rather than an error.
//   - The info of a child is its string property "info" taken as wide text
//     up to its first zero unit; a missing one, or one of another type, is
//     the empty text. It is looked up by path through the object's getters,
//     which put "-1" in place of a first "*": the info of a child whose name
//     holds a "*" is therefore looked up at another path (names with a "*"
//     cannot come from a PIA file, whose reader refuses them).
//   - Sections whose bytes add up to more than 4 GiB cannot be described by
//     32-bit offsets: save refuses the section that would pass that, with
//     KV_Severe 82 from "KV_DPIAFile::save()".
//   - load_section wraps exactly the section's bytes in the memory stream
//     that the PIA reader reads.
#ifndef KVSTORE_FORMATS_KV_DPIA_FILE_H_
#define KVSTORE_FORMATS_KV_DPIA_FILE_H_

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "formats/kv_file.h"

class kv_file_stream;

class KV_DPIAFile : public KV_File {
 public:
  // One directory entry.
  struct DPIA_Section {
    std::u16string descriptor;
    std::u16string info;  // empty in a version 1.0 file
    uint32_t offset;      // from the end of the directory
    uint32_t size;
  };

  explicit KV_DPIAFile(GX_Error_Handler* handler);
  ~KV_DPIAFile() override;

  // Reads the directory into P\DPIA_directory\i\descriptor (and \info for a
  // version 2.0 file) below root.
  void load(KV_Object* object, const char16_t* root, KV_Object::FileType type) override;
  // Writes the child nodes of path as sections (the version word only when
  // type is FT_DPIA). options is not used.
  void save(const KV_Object* object, const char16_t* path, KV_Object::FileType type,
            const char16_t* options) override;
  void setStream(std::iostream* stream) override;
  void open(const char16_t* fileName, int mode) override;
  void close() override;
  // "DPIA_VERSION_1.0" or "DPIA_VERSION_2.0"; any other version word is
  // reported as KV_Error 69 and the buffer is left alone.
  void getVersion(char16_t* buffer, std::size_t size) override;
  // Loads the content of the first section whose descriptor equals
  // descriptor (code unit by code unit) below path. Throws KV_Severe 83
  // (source "load_section", argument the descriptor) when an argument is
  // null or no entry matches.
  virtual void load_section(KV_Object* object, const char16_t* path, const char16_t* descriptor);

  // The directory as last read by load or written by save; after
  // load_section, the one entry that it loaded.
  const std::vector<DPIA_Section>& sections() const { return m_sections; }

 private:
  enum class Version { kUnknown, k1, k2 };

  Version readVersion();
  // Reads the directory. With wanted null every entry is kept; otherwise
  // only the first entry whose descriptor is wanted (none when no entry is),
  // and the info texts are skipped.
  void readDirectory(Version version, const char16_t* wanted);
  void writeDirectory();
  void readU32(uint32_t& value, const char16_t* operation, const char16_t* detail);
  void writeU32(uint32_t value, const char16_t* operation, const char16_t* detail);
  void check(const char16_t* operation, const char16_t* detail) const;

  uint32_t m_directoryOffset;
  std::iostream* m_stream;
  uint64_t m_directorySize;  // the version word and the directory: D
  std::unique_ptr<kv_file_stream> m_ownedStream;
  std::vector<DPIA_Section> m_sections;
  uint64_t m_streamSize;  // measured when the directory is read
};

#endif  // KVSTORE_FORMATS_KV_DPIA_FILE_H_
