// Copyright the kvstore authors.
#include "kvstore/gx_object.h"

GX_Object::~GX_Object() = default;
