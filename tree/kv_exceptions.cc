// Copyright the kvstore authors.
#include "kvstore/kv_exceptions.h"

KV_Warning::KV_Warning(unsigned id, const char16_t* source, const char16_t* argument,
                       const char16_t* file)
    : GX_Warning(GetKVErrResHandle(), id, source, argument, file) {}
int KV_Warning::severity() const {
  return 1;
}

KV_Error::KV_Error(unsigned id, const char16_t* source, const char16_t* argument,
                   const char16_t* file)
    : GX_Error(GetKVErrResHandle(), id, source, argument, file) {}
int KV_Error::severity() const {
  return 2;
}

KV_Severe::KV_Severe(unsigned id, const char16_t* source, const char16_t* argument,
                     const char16_t* file)
    : GX_Severe_Error(GetKVErrResHandle(), id, source, argument, file) {}
int KV_Severe::severity() const {
  return 4;
}

KV_Memory_Exception::KV_Memory_Exception(unsigned id, const char16_t* source,
                                         const char16_t* argument, const char16_t* file)
    : GX_Severe_Error(GetKVErrResHandle(), id, source, argument, file) {}
int KV_Memory_Exception::severity() const {
  return 4;
}
