// Copyright the kvstore authors.
//
// The temporary body stream of the PIA format: a compressed body is written
// to (or decoded into) a temporary file, so that the text need not stay in
// memory, and read back from there.
//
// The file lies in std::filesystem::temp_directory_path() (TMPDIR honoured)
// under a name that mkstemp makes with an empty prefix (six characters); it
// is opened for reading and writing, empty, binary. When no name can be made
// there (the folder is missing, not a folder, unwritable or full), the stream
// is an in-memory std::stringstream instead. No limit on the length of the
// folder's path is imposed beyond the system's own.
#ifndef KVSTORE_PLATFORM_TEMP_STREAM_H_
#define KVSTORE_PLATFORM_TEMP_STREAM_H_

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "kvstore/gx_string.h"

class kv_file_stream;

// Owns the stream; the destructor closes it and deletes the file.
class kv_temp_stream {
 public:
  // A file in the system's temporary folder, or memory.
  kv_temp_stream();
  // A file in directory, or memory when no file can be made there.
  explicit kv_temp_stream(const std::filesystem::path& directory);
  ~kv_temp_stream();

  kv_temp_stream(const kv_temp_stream&) = delete;
  kv_temp_stream& operator=(const kv_temp_stream&) = delete;

  // The stream, positioned at its start, good when made.
  std::iostream& stream() { return *m_stream; }
  // The file's path in UTF-16, for messages (the stream is already open on
  // the native path); empty for the in-memory stream.
  const GX_String& file_name() const { return m_name; }
  bool in_memory() const { return m_path.empty(); }

 private:
  void make(const std::filesystem::path& directory);

  std::unique_ptr<kv_file_stream> m_file;
  std::unique_ptr<std::iostream> m_memory;
  std::iostream* m_stream;
  std::string m_path;  // native path of the file, empty when in memory
  GX_String m_name;
};

#endif  // KVSTORE_PLATFORM_TEMP_STREAM_H_
