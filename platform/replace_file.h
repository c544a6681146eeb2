// Copyright the kvstore authors.
//
// kv_replace_file: a file replaced by a new one written beside it, so that
// the old content stays whole until the new one is complete.
//
// Preparing (the constructor) follows symbolic links to the file that they
// name and makes a new, empty file in that file's folder, under a name that
// no other file has (".<name>.<six random characters>", the name cut to
// 200 bytes). The caller writes the whole new content to write_name();
// commit() gives it the permission bits (and the owner) of the file it
// replaces, flushes it to the disk, and renames it over that file in one
// step, so that the path names either the old file or the new one, never a
// part of either, even after a power loss. A link stays a link. A new file
// that is not committed is removed. When there is no old file, nothing can
// be lost: the disk flushes are left out and the save costs what a plain
// write costs.
//
// Where a new file cannot take the old one's place without changing more
// than its content, the content is written in place instead (in_place();
// write_name() is then the target as given), which is what a plain write
// does, with its errors:
//   - the target exists but is not a regular file (a device, a pipe, a
//     folder), or has further hard links, or the process may not write it,
//     or another open file holds an exclusive flock on it (a compound
//     document in use);
//   - the folder cannot take a new file (no permission, a read-only file
//     system, no folder at all, too many open files);
//   - the target's owner or group cannot be given to a new file;
//   - the target's path is not UTF-8 (it could not be named in UTF-16).
// A folder that is full (ENOSPC, EDQUOT) is the exception: writing in place
// would truncate the target and lose it, so error() reports the condition
// and the caller writes nothing.
//
// Every call works on its own names: replacements on several threads at
// once are safe.
#ifndef KVSTORE_PLATFORM_REPLACE_FILE_H_
#define KVSTORE_PLATFORM_REPLACE_FILE_H_

#include <string>

class kv_replace_file {
 public:
  // Prepares the replacement of target (UTF-16; null is written "in place",
  // to fail as a plain write of null does).
  explicit kv_replace_file(const char16_t* target);
  kv_replace_file(const kv_replace_file&) = delete;
  kv_replace_file& operator=(const kv_replace_file&) = delete;
  // Removes the new file unless commit() succeeded.
  ~kv_replace_file();

  // The name to write: the new file beside the target, or the target as
  // given when it is written in place. Null only for a null target.
  const char16_t* write_name() const;
  bool in_place() const { return m_temp.empty(); }

  // The errno that forbids any write (ENOSPC, EDQUOT), or 0.
  int error() const { return m_error; }

  // Flushes the new file, gives it the target's permission bits and owner,
  // and renames it over the target. Returns 0, or the errno of the step
  // that failed; the new file is then removed and the target is as it was.
  // A replacement written in place has nothing to do and returns 0.
  int commit();

  // Removes the new file (done by the destructor as well).
  void abort();

 private:
  // Makes the new file; false (nothing made) to write in place.
  bool make_temp(const std::string& folder, const std::string& name, bool exists);

  const char16_t* m_target;
  std::string m_path;             // the file that is replaced, links followed
  std::string m_temp;             // the new file (native); empty: in place
  std::u16string m_temp_name;     // the same in UTF-16
  bool m_exists = false;          // whether m_path exists
  unsigned m_mode = 0;            // its permission bits
  unsigned m_uid = 0, m_gid = 0;  // its owner and group
  int m_error = 0;
  bool m_committed = false;
};

#endif  // KVSTORE_PLATFORM_REPLACE_FILE_H_
