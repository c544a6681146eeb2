// Copyright the kvstore authors.
#include "kvstore/gx_error_handler.h"

GX_Error_Handler::~GX_Error_Handler() = default;

int GX_Error_Handler::report_info(uint64_t, unsigned, const char16_t*, const char16_t*,
                                  const char16_t*) {
  return 1;
}

int GX_Error_Handler::report_warning(uint64_t, unsigned, const char16_t*, const char16_t*,
                                     const char16_t*) {
  return 1;
}

int GX_Error_Handler::report_severe(uint64_t, unsigned, const char16_t*, const char16_t*,
                                    const char16_t*) {
  return 1;
}

int GX_Error_Handler::report_error(uint64_t, unsigned, const char16_t*, const char16_t*,
                                   const char16_t*) {
  return 1;
}

int GX_Error_Handler::report_notice(uint64_t, unsigned, const char16_t*, const char16_t*,
                                    const char16_t*) {
  return 1;
}

int GX_Error_Handler::report_fatal(uint64_t, unsigned, const char16_t*, const char16_t*,
                                   const char16_t*) {
  return 1;
}

void GX_Error_Handler::set_arguments(const uint64_t*, int) {}
