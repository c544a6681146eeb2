// Copyright the kvstore authors.
#include "formats/kv_srcstreambuf.h"

kv_srcstreambuf::kv_srcstreambuf(const char* data, std::size_t size) {
  // The get area needs char*; nothing ever writes through it.
  char* begin = const_cast<char*>(data);
  setg(begin, begin, begin + size);
}

kv_srcstreambuf::pos_type kv_srcstreambuf::seekoff(off_type off, std::ios_base::seekdir dir,
                                                   std::ios_base::openmode which) {
  const pos_type invalid(off_type(-1));
  if (which & std::ios_base::out) return invalid;
  const off_type size = egptr() - eback();
  off_type base;
  switch (dir) {
    case std::ios_base::beg:
      base = 0;
      break;
    case std::ios_base::cur:
      base = gptr() - eback();
      break;
    case std::ios_base::end:
      base = size;
      break;
    default:
      return invalid;
  }
  // Compared before adding, so that no offset can overflow.
  if (off < -base || off > size - base) return invalid;
  const off_type place = base + off;
  setg(eback(), eback() + place, egptr());
  return pos_type(place);
}

kv_srcstreambuf::pos_type kv_srcstreambuf::seekpos(pos_type pos, std::ios_base::openmode which) {
  return seekoff(off_type(pos), std::ios_base::beg, which);
}
