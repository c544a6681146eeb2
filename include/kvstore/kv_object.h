// Copyright the kvstore authors.
//
// KV_Object: a device configuration kept as a tree of named nodes whose
// leaves are typed values, addressed by backslash-separated paths.
//
// Paths are UTF-16 text. Components are separated by "\" and nothing else;
// empty components are dropped ("\a\\b\", "\a\b" and "a\b" are the same
// path), names are compared exactly (case matters, nothing is trimmed), and a
// path has at most 256 components. Paths are relative to the root node.
//
// Every operation that takes an index composes path and index first:
//   - when the path contains "*", the first "*" is replaced by the index in
//     decimal (\pens\*\color with 3 is \pens\3\color; with -1, \pens\-1\color);
//   - otherwise an index of -1 leaves the path as it is;
//   - otherwise the index is appended as a last component (\pens with 3 is
//     \pens\3, the property named 3 of node pens).
// A composed path of 1023 code units or more does not fit the 1024-unit
// work buffer and is refused like a path without components (KV_Warning 51
// from the setters, false or 0 from the readers).
//
// Values are never converted between types. Each property carries a
// typeChecked flag, taken from its last write: when it is true, later reads
// and writes must name the stored type (KV_Warning 54 otherwise); when it is
// false, a read of another type copies the stored bytes as they are, provided
// they fit the output, and the next write may change the type.
//
// Threads. The library starts no thread and locks no object: a KV_Object,
// with the iterators and the file operations that work on it, is used by one
// thread at a time. Separate objects may be used on separate threads at the
// same time: they share only process-wide state, and all of it is safe for
// that use (the handle of the message library, loaded once whichever thread
// asks first; the ANSI code page of kv_set_ansi_codepage; the seed of the
// name tables). Exceptions own their texts and may be handed to another
// thread. The codecs, KV_Mem_Obj and the free functions hold no state.
#ifndef KVSTORE_KV_OBJECT_H_
#define KVSTORE_KV_OBJECT_H_

#include <cstddef>
#include <cstdint>
#include <iosfwd>

#include "kvstore/export.h"
#include "kvstore/kv_mem_obj.h"

class GX_Error_Handler;
class KV_File;
class KV_Iterator;
class KV_Node;
class KV_PathStrings;

// The type of a stored value. The numbers are stored in files.
enum PropType : int32_t {
  PROP_NONE = 0,    // created but never written
  PROP_INT = 1,     // 4-byte signed integer, little-endian
  PROP_DOUBLE = 2,  // 8-byte IEEE 754 double (floats are widened)
  PROP_STRING = 3,  // text and its terminator, wide (2 bytes a unit) or narrow
  PROP_BOOL = 4,    // 1 byte, 0 or 1
  PROP_VOID = 5     // raw bytes of any length
};

class KV_EXPORT KV_Object : public KV_Mem_Obj {
 public:
  enum FileType : int32_t {
    FT_PIA = 0,
    FT_PCP = 1,
    FT_PC2 = 2,
    FT_DOC = 3,
    FT_PDT = 4,
    FT_DPIA = 5,
    FT_CFG = 6
  };

  // The move that KV_Iterator::nextNode made.
  enum NodeType : int32_t { NODE_NEXT = 0, NODE_CHILD = 2, NODE_UP = 3 };

  KV_Object();
  // handler (borrowed, may be null) receives the errors that loads report.
  explicit KV_Object(GX_Error_Handler* handler);
  KV_Object(const KV_Object&) = delete;
  KV_Object& operator=(const KV_Object&) = delete;
  virtual ~KV_Object();

  // ---- Setters. Each stores the value at path (composed with index),
  // creating missing nodes and the property. Throws KV_Warning 51 for a path
  // without components and KV_Warning 54 when the property's type is bound
  // (typeChecked) and differs; nodes created before the refusal stay.

  // PROP_INT, 4 bytes.
  void SetProperty(const char16_t* path, int value, int index = -1, bool typeChecked = true);
  // PROP_INT, 4 bytes: the value is truncated to 32 bits.
  void SetProperty(const char16_t* path, long value, int index = -1, bool typeChecked = true);
  // PROP_BOOL, 1 byte holding 0 or 1.
  void SetProperty(const char16_t* path, bool value, int index = -1, bool typeChecked = true);
  // PROP_DOUBLE, 8 bytes.
  void SetProperty(const char16_t* path, const double& value, int index = -1,
                   bool typeChecked = true);
  // PROP_DOUBLE: the float widened to double.
  void SetProperty(const char16_t* path, const float& value, int index = -1,
                   bool typeChecked = true);
  // PROP_STRING: the wide text and its terminator. Text of more than 4096
  // code units is cut to 4096 units (the terminator is always stored); null
  // stores the empty text.
  void SetProperty(const char16_t* path, const char16_t* const& value, int index = -1,
                   bool typeChecked = true);
  // PROP_STRING: the narrow text (in the ANSI code page) and its
  // terminator. Text of more than 4096 characters is cut to 4096 characters
  // (the terminator is always stored); null stores the empty text.
  void SetProperty(const char16_t* path, const unsigned char* const& value, int index = -1,
                   bool typeChecked = true);
  // A plain char* would otherwise silently become a bool.
  void SetProperty(const char16_t* path, const char* const& value, int index = -1,
                   bool typeChecked = true) = delete;

  // PROP_VOID: size raw bytes.
  void setVoidProperty(const char16_t* path, const void* data, unsigned int size, int index = -1,
                       bool typeChecked = true);

  // ---- Getters. Each returns true when the value was found and copied, and
  // false when the path, a node on it or the property is missing, when the
  // property's bound type differs, when the value does not fit the output or
  // when the property holds no value; the output is then left unchanged
  // (except as noted). KV_Severe and memory exceptions reach the caller.

  bool GetProperty(const char16_t* path, double& value, int index = -1) const;
  // Reads a PROP_DOUBLE and narrows it. Sets value to 0 when the path, a node
  // on it or the property is missing.
  bool GetProperty(const char16_t* path, float& value, int index = -1) const;
  // Reads a 4-byte PROP_INT and sign-extends it.
  bool GetProperty(const char16_t* path, long& value, int index = -1) const;
  bool GetProperty(const char16_t* path, int& value, int index = -1) const;
  bool GetProperty(const char16_t* path, bool& value, int index = -1) const;
  // Reads a PROP_STRING into buffer; size is the buffer's size in bytes for
  // both forms. Copies exactly the stored bytes (terminator included).
  bool GetProperty(const char16_t* path, unsigned char* buffer, std::size_t size,
                   int index = -1) const;
  bool GetProperty(const char16_t* path, char16_t* buffer, std::size_t size, int index = -1) const;
  // Reads a PROP_VOID into buffer of size bytes.
  bool getVoidProperty(const char16_t* path, void* buffer, unsigned int size, int index = -1) const;

  // The stored byte count of the property, or 0 when it is missing.
  std::size_t getPropertySize(const char16_t* path, int index = -1) const;

  // True when every component but the last names a node on the way down
  // from the root and the last component is a name that the tree holds
  // somewhere (as a node or property name). The last component is not looked
  // up below its parent.
  bool pathExists(const char16_t* path) const;

  // Removes the property that path names or, when there is none, the node
  // with its whole sub-tree. A property wins over a node of the same name.
  // Throws KV_Warning 51 (no components) or 52 (nothing there).
  void deletePath(const char16_t* path);

  // A new iterator over the sub-tree at path ("\" alone names the root),
  // walking at most depth levels (0: no limit). Returns null when path has
  // no components or names a name that the tree does not hold; an iterator
  // that yields nothing when the names exist but the node does not. The
  // caller deletes the iterator.
  KV_Iterator* newIterator(const char16_t* path, int depth = 0) const;

  // Copies the properties and the whole sub-tree of the node source into the
  // node destination, creating the destination chain first. Properties that
  // the destination already has are kept as they are. Throws KV_Severe 70
  // when the last name of source occurs anywhere in destination (which
  // refuses a copy into its own sub-tree), and KV_Memory_Exception 55
  // ("piter") when source names no node that can be walked (no components).
  // A copy whose destination lies inside the source anyway (source "\", the
  // whole tree) copies the tree as it stood when the call began, so it ends.
  // A copy that would put a node more than 256 levels below the root throws
  // KV_Warning 51 from "KV_Object::duplicate()". Rendering errors of the
  // source values (KV_Warning 59, KV_Error 53) end the copy; what was copied
  // before stays.
  void duplicate(const char16_t* source, const char16_t* destination);

  // ---- Files. Each operation makes a format object for the type, runs it
  // (open or attach, one load or save, close) and destroys it, whatever it
  // raises. Types that an operation does not accept throw KV_Warning 67
  // before any file is touched. Data errors of a load go to the object's
  // error handler, which lets the load go on (non-zero) or stops it
  // (GX_Canceled_Error); without a handler they are thrown as GX_Exception.
  // Saves and version queries have no handler: their errors are thrown.
  // What a failed load stored before the failure stays in the tree.
  //
  // Types served by this build:
  //   load (file)       FT_PIA, FT_PCP, FT_PC2, FT_DOC, FT_DPIA (its directory)
  //                     FT_PDT (fileName names the key-text file of a driver
  //                     description set; the capability files are read from
  //                     its folder, and root must not be empty)
  //   load (stream)     FT_PIA, FT_PCP, FT_PC2, FT_DPIA (its directory),
  //                     FT_PDT (the stream is the key-text file; the
  //                     capability files are read from the working folder)
  //   load_section      FT_DPIA
  //   load_cfg_section  FT_CFG
  //   save              FT_PIA, FT_DOC, FT_DPIA
  //   getFileVersion    FT_PCP (through the PIA reader, which accepts only a
  //                     PIA header line: anything else raises error 89),
  //                     FT_DOC ("1.000000")
  // Every other type throws KV_Warning 67.

  // Reads the file into the tree below the path root.
  void load(const char16_t* fileName, FileType type, const char16_t* root);
  // Reads the caller's stream (which stays the caller's) the same way. The
  // library reads its state flags; a stream whose exceptions() mask is set
  // throws its own std::ios_base::failure from inside the operation instead.
  void load(std::iostream* stream, FileType type, const char16_t* root);
  // Reads one section, named by descriptor, of a sectioned file into path.
  // For FT_DPIA the directory and that one section are read; a descriptor
  // that no entry has (exactly, case included) throws KV_Severe 83.
  void load_section(const char16_t* fileName, FileType type, const char16_t* path,
                    const char16_t* descriptor);
  // Reads one instance of a multi-instance configuration file into root.
  void load_cfg_section(const char16_t* fileName, FileType type, const char16_t* root, int section);
  // Writes the sub-tree at path. options is the format's header text (for
  // FT_PIA, "compress" anywhere in it compresses the body); utf8 writes the
  // text in UTF-8 instead of the ANSI code page.
  //
  // A save to a file name never loses the previous file: the content goes
  // to a new file beside the target (the file that a symbolic link names),
  // which is renamed over the target once it is complete, with the target's
  // permission bits and owner; when it replaces a file, it reaches the disk
  // before the rename, so not even a power loss loses both. A save that fails
  // leaves the previous file byte for byte and no other file; its errors are
  // those of a plain write and name fileName. A target that is no regular
  // file, has further hard links, or lies in a folder that cannot take a new
  // file is written in place as a plain write would; a full folder (no room
  // for the new file) throws KV_Severe 65 ("KV_Object::save()", fileName)
  // and writes nothing. Flushing or renaming the new file can fail as well:
  // KV_Severe with the id of the system's error, "KV_Object::save()".
  void save(const char16_t* fileName, FileType type, const char16_t* options, const char16_t* path,
            bool utf8) const;
  void save(const char16_t* fileName, FileType type, const char16_t* options,
            const char16_t* path) const;
  void save(std::iostream* stream, FileType type, const char16_t* options, const char16_t* path,
            bool utf8) const;
  void save(std::iostream* stream, FileType type, const char16_t* options,
            const char16_t* path) const;
  // Copies the file's version text (its header line) into buffer, at most
  // size - 1 units and a terminator. The form without size has no limit: the
  // buffer must then hold 1024 units.
  void getFileVersion(const char16_t* fileName, char16_t* buffer, std::size_t size,
                      FileType type) const;
  void getFileVersion(const char16_t* fileName, char16_t* buffer, FileType type) const;

 protected:
  // Stores size bytes from data with the given type at path and index,
  // creating every missing node and the property. The formats fill a tree
  // through this operation.
  void setData(const char16_t* path, const void* data, std::size_t size, PropType type, int index,
               bool typeChecked);

 private:
  friend class KV_Iterator;
  friend class KV_File;

  // The read behind every getter: false when something on the path is
  // missing; throws KV_Warning 54, 58 or 59.
  bool getData(const char16_t* path, void* buffer, std::size_t bufferSize, PropType type,
               int index) const;
  // getData with every KV_Warning absorbed as false: the getters' read.
  bool readValue(const char16_t* path, void* buffer, std::size_t bufferSize, PropType type,
                 int index) const;
  std::size_t propertySize(const char16_t* path, int index) const;

  KV_PathStrings* m_strings;
  KV_Node* m_root;
  GX_Error_Handler* m_errorHandler;
};

#endif  // KVSTORE_KV_OBJECT_H_
