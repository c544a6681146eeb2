// Copyright the kvstore authors.
#include "tree/kv_report.h"

#include "kvstore/gx_error_handler.h"
#include "kvstore/gx_exception.h"

int kv_report_to_handler(GX_Error_Handler* handler, const GX_Exception& e) {
  const int severity = e.severity();
  if (severity == 6) return 0;
  handler->set_arguments(e.args(), e.arg_count());
  const uint64_t module = e.module();
  const unsigned id = e.id();
  switch (severity) {
    case 0:
      handler->report_info(module, id, e.source(), e.argument(), e.file());
      return 2;
    case 1:
      return handler->report_warning(module, id, e.source(), e.argument(), e.file());
    case 4:
      handler->report_severe(module, id, e.source(), e.argument(), e.file());
      return 2;
    case 3:
      return handler->report_notice(module, id, e.source(), e.argument(), e.file());
    case 5:
      handler->report_fatal(module, id, e.source(), e.argument(), e.file());
      return 2;
    default:
      return handler->report_error(module, id, e.source(), e.argument(), e.file());
  }
}
