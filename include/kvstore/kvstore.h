// Copyright the kvstore authors.
//
// The whole exported interface of kvstore. A host includes this header and
// links libkvstore.
#ifndef KVSTORE_KVSTORE_H_
#define KVSTORE_KVSTORE_H_

#include "kvstore/export.h"
#include "kvstore/gx_error_handler.h"
#include "kvstore/gx_exception.h"
#include "kvstore/gx_flags.h"
#include "kvstore/gx_object.h"
#include "kvstore/gx_string.h"
#include "kvstore/kv_codec.h"
#include "kvstore/kv_convert.h"
#include "kvstore/kv_exceptions.h"
#include "kvstore/kv_iterator.h"
#include "kvstore/kv_mem_obj.h"
#include "kvstore/kv_object.h"
#include "kvstore/kv_platform.h"
#include "kvstore/kv_version.h"

#endif  // KVSTORE_KVSTORE_H_
