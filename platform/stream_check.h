// Copyright the kvstore authors.
//
// The stream check of the text formats: turns a stream that is no longer
// good into KV_Severe, with a message id chosen from the errno of the
// system call that failed.
#ifndef KVSTORE_PLATFORM_STREAM_CHECK_H_
#define KVSTORE_PLATFORM_STREAM_CHECK_H_

#include <ios>

// The message id for an errno value:
//   ENOENT 63, E2BIG 71, ENOEXEC 79, EBADF 73, ECHILD 74, EAGAIN 72,
//   ENOMEM 64, EACCES 61, EEXIST 77, EXDEV 81, EINVAL 78, EMFILE 62,
//   ENOSPC 65, EDOM 76, ERANGE 80, ENAMETOOLONG 75; any other value, 0 (a
//   failure that is only the end of a stream) included, 82.
unsigned kv_stream_error_id(int error);

// The errno that explains the stream's failure: the one its kv_file_buf
// recorded when the stream reads a file through one, else the thread's
// errno as it stands.
int kv_stream_error(const std::ios& stream);

// Returns when the stream is good. Otherwise (end of stream, failure or
// loss) throws KV_Severe with the id of kv_stream_error(stream), source
// operation, argument detail (none when detail is null, and never with id
// 62) and file revision (the raising unit's revision tag).
// REQUIRES: operation and revision are static texts.
void kv_stream_check(const char16_t* operation, const char16_t* detail, const std::ios& stream,
                     const char16_t* revision);

// Throws the KV_Severe that kv_stream_check throws for a stream that failed
// with error. REQUIRES: operation and revision are static texts.
[[noreturn]] void kv_raise_file_error(const char16_t* operation, const char16_t* detail, int error,
                                      const char16_t* revision);

#endif  // KVSTORE_PLATFORM_STREAM_CHECK_H_
