// Copyright the kvstore authors.
#include "platform/stream_check.h"

#include <cerrno>

#include "kvstore/kv_exceptions.h"
#include "platform/file_stream.h"

namespace {

struct error_id {
  int error;
  unsigned id;
};

constexpr error_id kErrorIds[] = {
    {ENOENT, 63}, {E2BIG, 71},  {ENOEXEC, 79}, {EBADF, 73},        {ECHILD, 74}, {EAGAIN, 72},
    {ENOMEM, 64}, {EACCES, 61}, {EEXIST, 77},  {EXDEV, 81},        {EINVAL, 78}, {EMFILE, 62},
    {ENOSPC, 65}, {EDOM, 76},   {ERANGE, 80},  {ENAMETOOLONG, 75},
};

constexpr unsigned kOtherErrorId = 82;
// Too many open files: the message names no file.
constexpr unsigned kNoArgumentId = 62;

}  // namespace

unsigned kv_stream_error_id(int error) {
  for (const error_id& row : kErrorIds) {
    if (row.error == error) return row.id;
  }
  return kOtherErrorId;
}

int kv_stream_error(const std::ios& stream) {
  if (const auto* file = dynamic_cast<const kv_file_buf*>(stream.rdbuf())) {
    return file->last_error();
  }
  return errno;
}

void kv_stream_check(const char16_t* operation, const char16_t* detail, const std::ios& stream,
                     const char16_t* revision) {
  if (stream.good()) return;
  kv_raise_file_error(operation, detail, kv_stream_error(stream), revision);
}

void kv_raise_file_error(const char16_t* operation, const char16_t* detail, int error,
                         const char16_t* revision) {
  const unsigned id = kv_stream_error_id(error);
  throw KV_Severe(id, operation, id == kNoArgumentId ? nullptr : detail, revision);
}
