// Copyright the kvstore authors.
//
// The library's exceptions and the loader of its message library.
//
// Every failure leaves the library as one of the classes below. The class
// tells the severity: KV_Warning for a request that cannot be met (a missing
// path, a type that differs, an unsupported file type), KV_Error for bad input
// data, KV_Severe for broken state and failing files or streams, and
// KV_Memory_Exception (id 55) for exhausted memory. Their module() is the
// handle of the message library at the time of the throw (0 when it could not
// be loaded); kv_message_text() turns module and id into a text.
#ifndef KVSTORE_KV_EXCEPTIONS_H_
#define KVSTORE_KV_EXCEPTIONS_H_

#include <cstdint>

#include "kvstore/export.h"
#include "kvstore/gx_exception.h"

// Each constructor takes the id, the failing operation's name (a static
// text), the argument (copied; null for none) and the revision tag of the
// raising unit (a static text), and fills in the module handle itself.
class KV_EXPORT KV_Warning : public GX_Warning {
 public:
  KV_Warning(unsigned id, const char16_t* source, const char16_t* argument, const char16_t* file);
  int severity() const override;
};

class KV_EXPORT KV_Error : public GX_Error {
 public:
  KV_Error(unsigned id, const char16_t* source, const char16_t* argument, const char16_t* file);
  int severity() const override;
};

class KV_EXPORT KV_Severe : public GX_Severe_Error {
 public:
  KV_Severe(unsigned id, const char16_t* source, const char16_t* argument, const char16_t* file);
  int severity() const override;
};

class KV_EXPORT KV_Memory_Exception : public GX_Severe_Error {
 public:
  KV_Memory_Exception(unsigned id, const char16_t* source, const char16_t* argument,
                      const char16_t* file);
  int severity() const override;
};

// The handle of the message library libkvres14.so, loaded on first use:
// through the normal library search, else from the folder named after the
// host's user-interface language (reported by the host's libuserdata.so
// beside the executable, "en-US" by default) relative to the working
// directory. Returns 0 when neither loads; the next call then tries again.
// The handle is cached for the life of the process and released when
// libkvstore is unloaded. Safe on any number of threads: the first calls
// from several threads load the library once; the others wait for it.
KV_EXPORT uint64_t GetKVErrResHandle();

// The message text of id in the message library module, or null when module
// is 0 or the library has no text for id. The text belongs to the library.
KV_EXPORT const char16_t* kv_message_text(uint64_t module, unsigned id);

#endif  // KVSTORE_KV_EXCEPTIONS_H_
