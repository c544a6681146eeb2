// Copyright the kvstore authors.
//
// KV_File: the abstract base of every file format. A format object serves
// exactly one KV_Object operation: it is created, opened on a path (or given
// the caller's stream), used for one load, save or version query, closed and
// destroyed.
#ifndef KVSTORE_FORMATS_KV_FILE_H_
#define KVSTORE_FORMATS_KV_FILE_H_

#include <cstddef>
#include <iosfwd>

#include "kvstore/kv_object.h"

class GX_Error_Handler;
class GX_Exception;

class KV_File {
 public:
  // handler is borrowed and may be null (saves and version queries).
  explicit KV_File(GX_Error_Handler* handler);
  KV_File(const KV_File&) = delete;
  KV_File& operator=(const KV_File&) = delete;
  // Releases the file name.
  virtual ~KV_File();

  // Reads the opened file into object below the path root.
  virtual void load(KV_Object* object, const char16_t* root, KV_Object::FileType type) = 0;
  // Writes the sub-tree at path; options is the caller's text (the header
  // text of the text formats).
  virtual void save(const KV_Object* object, const char16_t* path, KV_Object::FileType type,
                    const char16_t* options) = 0;
  // Reads or writes the caller's stream (which stays the caller's) instead
  // of a file.
  virtual void setStream(std::iostream* stream) = 0;
  // mode 0 opens for reading, any other value for writing.
  virtual void open(const char16_t* fileName, int mode) = 0;
  virtual void close() = 0;
  // Copies the file's version text into buffer, at most size - 1 units and
  // a terminator; the largest size_t means no limit.
  virtual void getVersion(char16_t* buffer, std::size_t size) = 0;

  // The error path of every format. Without a handler, throws a copy of e as
  // a plain GX_Exception (so catching KV_Warning or KV_Error does not catch
  // it). With one, hands e over by its severity and returns when the
  // handler answers non-zero; throws GX_Canceled_Error carrying e's fields
  // when it answers zero.
  virtual void report(const GX_Exception& e);

  // The file name given to open, or null (after setStream, or before open).
  const char16_t* fileName() const { return m_fileName; }

 protected:
  // The formats fill a tree through the object's protected store.
  static void store(KV_Object* object, const char16_t* path, const void* data, std::size_t size,
                    PropType type) {
    object->setData(path, data, size, type, -1, true);
  }
  // The same with an index, composed with path as the setters compose it.
  static void store(KV_Object* object, const char16_t* path, const void* data, std::size_t size,
                    PropType type, int index) {
    object->setData(path, data, size, type, index, true);
  }
  // Replaces the file name with a copy of name (null clears it).
  void setFileName(const char16_t* name);

  GX_Error_Handler* m_errorHandler;
  char16_t* m_fileName;
};

#endif  // KVSTORE_FORMATS_KV_FILE_H_
