// Copyright the kvstore authors.
//
// KV_EXPORT marks the interface that libkvstore.so exports. Everything else in
// the library is compiled with hidden visibility.
#ifndef KVSTORE_EXPORT_H_
#define KVSTORE_EXPORT_H_

#if defined(__GNUC__) || defined(__clang__)
#define KV_EXPORT __attribute__((visibility("default")))
#else
#define KV_EXPORT
#endif

#endif  // KVSTORE_EXPORT_H_
