// Copyright the kvstore authors.
//
// GX_Error_Handler: the interface through which a host receives the errors
// that the library reports while reading a file or running a codec.
#ifndef KVSTORE_GX_ERROR_HANDLER_H_
#define KVSTORE_GX_ERROR_HANDLER_H_

#include <cstdint>

#include "kvstore/export.h"

// A host derives from this class and overrides the operations it cares
// about; every operation has a default that answers 1 ("go on"). The library
// first calls set_arguments, then the one report operation that the error's
// severity selects; a result of 0 asks the library to stop. The library never
// creates or deletes a handler; the host keeps it alive while it is in use.
class KV_EXPORT GX_Error_Handler {
 public:
  virtual ~GX_Error_Handler() = 0;

  // Severity 0.
  virtual int report_info(uint64_t module, unsigned id, const char16_t* source,
                          const char16_t* argument, const char16_t* file);
  // Severity 1.
  virtual int report_warning(uint64_t module, unsigned id, const char16_t* source,
                             const char16_t* argument, const char16_t* file);
  // Severity 4.
  virtual int report_severe(uint64_t module, unsigned id, const char16_t* source,
                            const char16_t* argument, const char16_t* file);
  // Severity 2 and every severity without an operation of its own.
  virtual int report_error(uint64_t module, unsigned id, const char16_t* source,
                           const char16_t* argument, const char16_t* file);
  // Severity 3.
  virtual int report_notice(uint64_t module, unsigned id, const char16_t* source,
                            const char16_t* argument, const char16_t* file);
  // Severity 5.
  virtual int report_fatal(uint64_t module, unsigned id, const char16_t* source,
                           const char16_t* argument, const char16_t* file);
  // The extra 64-bit arguments of the error that is reported next.
  virtual void set_arguments(const uint64_t* args, int count);
};

#endif  // KVSTORE_GX_ERROR_HANDLER_H_
