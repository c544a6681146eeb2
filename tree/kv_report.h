// Copyright the kvstore authors.
//
// Hands an exception to a host's error handler by its severity.
#ifndef KVSTORE_TREE_KV_REPORT_H_
#define KVSTORE_TREE_KV_REPORT_H_

class GX_Error_Handler;
class GX_Exception;

// Calls handler->set_arguments with the exception's extra arguments, then
// the report operation of its severity, and returns whether to go on
// (non-zero) or stop (0):
//   severity 0 -> report_info, result 2     severity 4 -> report_severe, 2
//   severity 1 -> report_warning, its own   severity 3 -> report_notice, its own
//   severity 5 -> report_fatal, result 2    severity 6 -> nothing called, 0
//   severity 2 and any other -> report_error, its own result
// REQUIRES: handler is not null.
int kv_report_to_handler(GX_Error_Handler* handler, const GX_Exception& e);

#endif  // KVSTORE_TREE_KV_REPORT_H_
