// Copyright the kvstore authors.
//
// GX_Object: the root class of the toolkit's object hierarchy.
#ifndef KVSTORE_GX_OBJECT_H_
#define KVSTORE_GX_OBJECT_H_

#include "kvstore/export.h"

class KV_EXPORT GX_Object {
 public:
  GX_Object() = default;
  GX_Object(const GX_Object&) = default;
  GX_Object& operator=(const GX_Object&) = default;
  virtual ~GX_Object();
};

#endif  // KVSTORE_GX_OBJECT_H_
