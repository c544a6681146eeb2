// Copyright the kvstore authors.
//
// The run-time version query: the numbers of the headers the library itself
// was built with.
#include "kvstore/kv_version.h"

unsigned kv_version() {
  return KVSTORE_VERSION;
}

const char* kv_version_string() {
  return KVSTORE_VERSION_STRING;
}
