// Copyright the kvstore authors.
#include "platform/file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/codepage.h"

namespace {

using std::ios;

// The open(2) flags of a standard stream mode (binary and ate aside), or -1
// for a combination that the standard streams refuse.
int open_flags(ios::openmode mode) {
  const ios::openmode kind = mode & (ios::in | ios::out | ios::trunc | ios::app);
  if (kind == ios::in) return O_RDONLY;
  if (kind == ios::out || kind == (ios::out | ios::trunc)) return O_WRONLY | O_CREAT | O_TRUNC;
  if (kind == ios::app || kind == (ios::out | ios::app)) return O_WRONLY | O_CREAT | O_APPEND;
  if (kind == (ios::in | ios::out)) return O_RDWR;
  if (kind == (ios::in | ios::out | ios::trunc)) return O_RDWR | O_CREAT | O_TRUNC;
  if (kind == (ios::in | ios::app) || kind == (ios::in | ios::out | ios::app)) {
    return O_RDWR | O_CREAT | O_APPEND;
  }
  return -1;
}

}  // namespace

kv_file_buf::kv_file_buf() : m_fd(-1), m_error(0) {}

kv_file_buf::~kv_file_buf() {
  if (is_open()) close();
}

bool kv_file_buf::open(const char* path, ios::openmode mode) {
  if (is_open()) return false;
  const int flags = open_flags(mode);
  if (path == nullptr || flags < 0) {
    record(EINVAL);
    return false;
  }
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    record(errno);
    return false;
  }
  // A directory opens for reading on Linux; refuse it here rather than on the
  // first read.
  struct stat info;
  if (fstat(fd, &info) != 0) {
    record(errno);
    ::close(fd);
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    record(EISDIR);
    ::close(fd);
    return false;
  }
  if ((mode & ios::ate) && lseek(fd, 0, SEEK_END) < 0) {
    record(errno);
    ::close(fd);
    return false;
  }
  return attach(fd);
}

bool kv_file_buf::attach(int fd) {
  if (is_open() || fd < 0) return false;
  m_fd = fd;
  setg(nullptr, nullptr, nullptr);
  setp(nullptr, nullptr);
  return true;
}

bool kv_file_buf::close() {
  if (!is_open()) return false;
  bool ok = flush_output();
  setg(nullptr, nullptr, nullptr);
  setp(nullptr, nullptr);
  // The descriptor is released even when close reports an error (EINTR
  // included): retrying could close a descriptor that another thread opened.
  if (::close(m_fd) != 0) {
    record(errno);
    ok = false;
  }
  m_fd = -1;
  return ok;
}

bool kv_file_buf::flush_output() {
  char* next = pbase();
  char* const end = pptr();
  while (next < end) {
    const ssize_t written = ::write(m_fd, next, static_cast<std::size_t>(end - next));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      record(written < 0 ? errno : EIO);
      // Keep what was not written at the front of the buffer, so that a
      // later flush (or close) tries it again and fails alike.
      const std::ptrdiff_t left = end - next;
      std::memmove(m_buffer, next, static_cast<std::size_t>(left));
      setp(m_buffer, m_buffer + kBufferSize);
      pbump(static_cast<int>(left));
      return false;
    }
    next += written;
  }
  if (pbase() != nullptr) setp(m_buffer, m_buffer + kBufferSize);
  return true;
}

bool kv_file_buf::leave_input() {
  if (eback() == nullptr) return true;
  const off_t unread = egptr() - gptr();
  if (unread > 0 && lseek(m_fd, -unread, SEEK_CUR) < 0) {
    record(errno);
    return false;
  }
  setg(nullptr, nullptr, nullptr);
  return true;
}

kv_file_buf::int_type kv_file_buf::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  if (!is_open()) return traits_type::eof();
  if (pbase() != nullptr) {
    if (!flush_output()) return traits_type::eof();
    setp(nullptr, nullptr);
  }
  ssize_t count;
  do {
    count = ::read(m_fd, m_buffer, kBufferSize);
  } while (count < 0 && errno == EINTR);
  if (count <= 0) {
    record(count < 0 ? errno : 0);
    setg(m_buffer, m_buffer, m_buffer);
    return traits_type::eof();
  }
  setg(m_buffer, m_buffer, m_buffer + count);
  return traits_type::to_int_type(*gptr());
}

kv_file_buf::int_type kv_file_buf::overflow(int_type ch) {
  if (!is_open()) return traits_type::eof();
  if (!leave_input()) return traits_type::eof();
  if (pbase() == nullptr) {
    setp(m_buffer, m_buffer + kBufferSize);
  } else if (pptr() == epptr() && !flush_output()) {
    return traits_type::eof();
  }
  if (!traits_type::eq_int_type(ch, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(ch);
    pbump(1);
  }
  return traits_type::not_eof(ch);
}

int kv_file_buf::sync() {
  if (!is_open()) return 0;
  return flush_output() ? 0 : -1;
}

kv_file_buf::pos_type kv_file_buf::seekoff(off_type off, ios::seekdir dir,
                                           ios::openmode /*which*/) {
  const pos_type invalid(off_type(-1));
  if (!is_open()) return invalid;
  int whence;
  switch (dir) {
    case ios::beg:
      whence = SEEK_SET;
      break;
    case ios::cur:
      whence = SEEK_CUR;
      break;
    case ios::end:
      whence = SEEK_END;
      break;
    default:
      record(EINVAL);
      return invalid;
  }
  if (!flush_output()) return invalid;
  setp(nullptr, nullptr);
  // The descriptor stands after the bytes read ahead; the logical position
  // is before them.
  const off_type unread = eback() != nullptr ? egptr() - gptr() : 0;
  if (dir == ios::cur && off == 0) {
    const off_t here = lseek(m_fd, 0, SEEK_CUR);
    if (here < 0) {
      record(errno);
      return invalid;
    }
    return pos_type(here - unread);
  }
  if (dir == ios::cur) off -= unread;
  const off_t place = lseek(m_fd, off, whence);
  if (place < 0) {
    // The descriptor did not move, so the read-ahead bytes stay valid.
    record(errno);
    return invalid;
  }
  setg(nullptr, nullptr, nullptr);
  return pos_type(place);
}

kv_file_buf::pos_type kv_file_buf::seekpos(pos_type pos, ios::openmode which) {
  return seekoff(off_type(pos), ios::beg, which);
}

kv_file_stream::kv_file_stream() : std::iostream(nullptr) {
  init(&m_buf);
}

void kv_file_stream::open(const char16_t* path, ios::openmode mode) {
  const bool opened =
      path != nullptr ? m_buf.open(kv_u16_to_utf8(path).c_str(), mode) : m_buf.open(nullptr, mode);
  if (opened) {
    clear();
  } else {
    setstate(ios::failbit);
  }
}

void kv_file_stream::attach(int fd) {
  if (m_buf.attach(fd)) {
    clear();
  } else {
    setstate(ios::failbit);
  }
}

void kv_file_stream::close() {
  if (!m_buf.close()) setstate(ios::failbit);
}

bool kv_file_exists(const char16_t* path) {
  if (path == nullptr) return false;
  struct stat info;
  return stat(kv_u16_to_utf8(path).c_str(), &info) == 0;
}
