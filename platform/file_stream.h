// Copyright the kvstore authors.
//
// Binary file streams over POSIX file descriptors, opened by UTF-16 path.
//
// The formats need what the standard file streams do not give: the errno of
// the system call that made a stream fail, taken at the moment it failed, so
// that the stream check can name the cause (a missing file, a full disk).
// kv_file_buf records it; a failure that is only the end of the file records 0.
//
// Reading and writing share one file position, as in a C stdio stream: a
// seek (or a switch between reading and writing) moves the descriptor to the
// logical position first. Files are always binary: the buffer translates no
// line ends and converts no characters.
#ifndef KVSTORE_PLATFORM_FILE_STREAM_H_
#define KVSTORE_PLATFORM_FILE_STREAM_H_

#include <cstddef>
#include <ios>
#include <istream>
#include <streambuf>

// A buffered stream buffer over one file descriptor that it owns.
class kv_file_buf : public std::streambuf {
 public:
  kv_file_buf();
  // Closes the descriptor; errors of the final flush and close are lost.
  ~kv_file_buf() override;

  kv_file_buf(const kv_file_buf&) = delete;
  kv_file_buf& operator=(const kv_file_buf&) = delete;

  // Opens path (native, UTF-8) in a mode of the standard file streams:
  //   in -> read; out, out|trunc -> write, created, truncated;
  //   out|app, app -> append, created; in|out -> read and write, not created;
  //   in|out|trunc -> read and write, created, truncated;
  //   in|app, in|out|app -> read and append, created.
  // ate seeks to the end after opening; binary is implied. A directory cannot
  // be opened (EISDIR). Returns false, recording errno, when the open fails;
  // false without recording anything when a file is already open. An invalid
  // mode records EINVAL.
  bool open(const char* path, std::ios::openmode mode);
  // Takes over fd, an open descriptor; reading and writing succeed as its
  // access mode allows. Returns false when a file is already open or fd is
  // negative (fd is then left alone).
  bool attach(int fd);
  // Writes pending output and closes the descriptor. Returns false, recording
  // errno, when either fails (the descriptor is released all the same) or
  // when nothing was open.
  bool close();
  bool is_open() const { return m_fd >= 0; }

  // errno of the last failing system call (open, read, write, lseek, close),
  // or 0 when none failed or the last failure was the end of the file.
  int last_error() const { return m_error; }

 protected:
  int_type underflow() override;
  int_type overflow(int_type ch) override;
  int sync() override;
  // Both sides move the one file position; which is not consulted.
  pos_type seekoff(off_type off, std::ios::seekdir dir, std::ios::openmode which) override;
  pos_type seekpos(pos_type pos, std::ios::openmode which) override;

 private:
  static constexpr std::size_t kBufferSize = 8192;

  // Writes the put area out; on failure keeps the unwritten bytes.
  bool flush_output();
  // Leaves reading mode: moves the descriptor back over the unread bytes.
  bool leave_input();
  void record(int error) { m_error = error; }

  int m_fd;
  int m_error;
  char m_buffer[kBufferSize];
};

// A binary file iostream over a kv_file_buf, opened by UTF-16 path.
class kv_file_stream : public std::iostream {
 public:
  kv_file_stream();

  // Opens path (converted to UTF-8) in mode; see kv_file_buf::open. Success
  // clears the stream's state; failure sets failbit and records errno (a
  // null path records EINVAL).
  void open(const char16_t* path, std::ios::openmode mode);
  // Takes over an open descriptor (see kv_file_buf::attach). Success clears
  // the stream's state; failure sets failbit.
  void attach(int fd);
  bool is_open() const { return m_buf.is_open(); }
  // A failed close sets failbit.
  void close();
  // See kv_file_buf::last_error.
  int last_error() const { return m_buf.last_error(); }

  kv_file_buf* rdbuf() const { return const_cast<kv_file_buf*>(&m_buf); }

 private:
  kv_file_buf m_buf;
};

// Whether anything exists at path (stat succeeds). A null path gives false.
bool kv_file_exists(const char16_t* path);

#endif  // KVSTORE_PLATFORM_FILE_STREAM_H_
