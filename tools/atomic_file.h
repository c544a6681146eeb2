// Copyright the kvstore authors.
//
// AtomicFile: replaces a file so that it is never seen half written. The new
// content goes to a fresh temporary file in the target's folder (made with
// mkstemp, so a name is never reused); commit() flushes it to the disk and
// renames it over the target. Until then the target is untouched, and a
// temporary that is not committed is removed, whatever went wrong on the way.
//
// The replacement keeps the permission bits of the file it replaces; a new
// file gets 0666 less the process's umask. When the target is a symbolic
// link, the file it points to is replaced and the link stays.
#ifndef KVSTORE_TOOLS_ATOMIC_FILE_H_
#define KVSTORE_TOOLS_ATOMIC_FILE_H_

#include <string>

class AtomicFile {
 public:
  // Creates the temporary file beside target. Throws ToolError when it
  // cannot be made (the folder is missing or not writable, say).
  explicit AtomicFile(const std::string& target);
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  // Removes the temporary file unless commit() succeeded.
  ~AtomicFile();

  // Where to write the new content. The file exists and is empty.
  const std::string& temp_path() const { return m_temp; }

  // Flushes the temporary file to the disk and renames it over the target.
  // Throws ToolError when either step fails; the target is then unchanged.
  void commit();

 private:
  std::string m_target;
  std::string m_temp;
  bool m_committed = false;
};

// Writes bytes to path through an AtomicFile.
void write_file_atomically(const std::string& path, const std::string& bytes);

#endif  // KVSTORE_TOOLS_ATOMIC_FILE_H_
