// Copyright the kvstore authors.
//
// kv_srcstreambuf: reads a caller's memory block as a stream.
#ifndef KVSTORE_FORMATS_KV_SRCSTREAMBUF_H_
#define KVSTORE_FORMATS_KV_SRCSTREAMBUF_H_

#include <cstddef>
#include <streambuf>

// A read-only stream buffer whose get area is the whole block. It has no put
// area, never writes to the block (a putback of a byte other than the one
// before the position fails) and does not own it.
// REQUIRES: the block outlives the buffer; data is not null when size > 0.
class kv_srcstreambuf : public std::basic_streambuf<char> {
 public:
  kv_srcstreambuf(const char* data, std::size_t size);

 protected:
  // Moves the read position to off from the start, the current position or
  // the end of the block and returns it counted from the start. A seek of the
  // output side, or one to before the start or after the end, fails with
  // pos_type(-1) and leaves the position where it was.
  pos_type seekoff(off_type off, std::ios_base::seekdir dir,
                   std::ios_base::openmode which) override;
  // seekoff(pos, beg, which).
  pos_type seekpos(pos_type pos, std::ios_base::openmode which) override;
};

#endif  // KVSTORE_FORMATS_KV_SRCSTREAMBUF_H_
