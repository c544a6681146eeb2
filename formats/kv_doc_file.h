// Copyright the kvstore authors.
//
// KV_DOCFile: a property tree kept in a compound document (see
// platform/compound_file.h), element by element, so that any tool that reads
// compound documents can read it.
//
// Layout. The root storage stands for the start node of the saved sub-tree.
// It holds the stream "Version" (the 4 bytes of the float 1.0, 00 00 80 3F),
// a stream per property of the start node and a storage per child node, each
// storage holding its node's properties and children the same way. A
// property stream is
//   offset 0  4 bytes  the PropType, little-endian
//   offset 4  4 bytes  n, the count of data bytes, little-endian
//   offset 8  n bytes  the data: the 4 bytes of an int, the 8 of a double,
//                      the 1 of a bool, the raw bytes of a raw value, or the
//                      text of a string in the ANSI code page, without
//                      terminator.
// A value has at most 1024 data bytes.
//
// Decisions where the format leaves room:
//   - A stream whose count is above 1024, or is not 4 (int), 8 (double) or 1
//     (bool) for its type, or that ends before its count, is refused like a
//     stream of an unknown type: KV_Severe 66 from "KV_DOCFile::load()".
//   - A string whose text takes more than 1024 bytes in the ANSI code page
//     (possible with UTF-8 as the code page) is refused on saving with
//     KV_Warning 58 from "KV_DOCFile::save()", the property's name as
//     argument: such a stream could not be read back.
//   - Names: an element name has 1 to 31 UTF-16 units and no "/", "\", ":" or
//     "!"; saving a node or property with another name fails with 60. Names
//     that differ only in case are one element in a document: of two such
//     siblings, the one written later replaces the other (and a child node
//     replaces a property of its parent's that it shares a name with). The
//     "Version" stream is written first, so a property or child node of the
//     start node named "Version" replaces it, as the save's steps have it.
//   - Loading stores elements in the document's order of names (shorter
//     names first, then by upper-cased units), so properties are created in
//     that order. Storages without a stream below them create no node.
//   - A storage or stream whose path below the load's root would take 1023
//     units or more, or more than 256 components, fails the load with 66: the
//     tree could not store anything there.
//   - getVersion writes the text of "%f" (six decimals) of the float,
//     independent of the process's locale; at most size - 1 units and a
//     terminator, nothing for a size of 0.
//   - A document is opened for reading and writing (and locked) even to be
//     read, so a file that the process may not write cannot be loaded (56).
#ifndef KVSTORE_FORMATS_KV_DOC_FILE_H_
#define KVSTORE_FORMATS_KV_DOC_FILE_H_

#include <cstddef>
#include <iosfwd>
#include <memory>

#include "formats/kv_file.h"

class KV_Iterator;
class kv_cfb_storage;
class kv_compound_file;

class KV_DOCFile : public KV_File {
 public:
  // The largest value a document carries, in data bytes.
  static constexpr std::size_t kMaxValueBytes = 1024;

  explicit KV_DOCFile(GX_Error_Handler* handler);
  // close().
  ~KV_DOCFile() override;

  // Adds the document's tree below root; type is not consulted. Throws
  // KV_Severe 66 (argument: the file name) for a document without a
  // "Version" stream and for every stream it cannot take; what was stored
  // before stays.
  void load(KV_Object* object, const char16_t* root, KV_Object::FileType type) override;
  // Writes the sub-tree at path; type and options are not consulted. Throws
  // KV_Severe 60 (argument: the file name) when an element cannot be
  // created or written, KV_Warning 58 for a value over 1024 bytes and
  // KV_Memory_Exception 55 ("piter") when no iterator can be made. What was
  // written before a failure stays in the document.
  void save(const KV_Object* object, const char16_t* path, KV_Object::FileType type,
            const char16_t* options) override;
  // Does nothing: a document is always a file of its own.
  void setStream(std::iostream* stream) override;
  // mode 0: opens the document at fileName, which must be a compound file;
  // any other mode: creates it, replacing a file of that name. Nothing
  // happens when a document is open already. Throws KV_Severe 56 (argument:
  // fileName) on every failure, including a file that another document
  // holds.
  void open(const char16_t* fileName, int mode) override;
  // Releases the document; a document opened for writing is written out.
  void close() override;
  // The float of the "Version" stream as text ("1.000000"). Throws KV_Severe
  // 66 when there is no such stream of at least 4 bytes.
  void getVersion(char16_t* buffer, std::size_t size) override;

  // Reads an open document instead of a file (the fuzz targets and tests use
  // it); name stands for the file name in errors.
  void attach(std::unique_ptr<kv_compound_file> document, const char16_t* name);

 private:
  void writeProperties(KV_Iterator& it, kv_cfb_storage& storage);

  std::unique_ptr<kv_compound_file> m_document;
};

#endif  // KVSTORE_FORMATS_KV_DOC_FILE_H_
