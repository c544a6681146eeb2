// Copyright the kvstore authors.
//
// Process-wide settings of the library's platform layer.
#ifndef KVSTORE_KV_PLATFORM_H_
#define KVSTORE_KV_PLATFORM_H_

#include "kvstore/export.h"

// Selects the "ANSI" code page in which the library reads and writes narrow
// text (PIA files without the UTF-8 flag, narrow string values): 1252
// (Windows-1252, the default, built in), 65001 (UTF-8), or any other number
// that the C library's iconv knows as "CP<number>". Returns false, and
// changes nothing, for a code page that cannot be served. Not synchronised:
// call it before the library is in use on several threads.
KV_EXPORT bool kv_set_ansi_codepage(unsigned codepage);

#endif  // KVSTORE_KV_PLATFORM_H_
