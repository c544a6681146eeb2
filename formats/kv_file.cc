// Copyright the kvstore authors.
#include "formats/kv_file.h"

#include <cstring>

#include "kvstore/gx_exception.h"
#include "toolkit/u16_text.h"
#include "tree/kv_alloc.h"
#include "tree/kv_report.h"

KV_File::KV_File(GX_Error_Handler* handler) : m_errorHandler(handler), m_fileName(nullptr) {}

KV_File::~KV_File() {
  setFileName(nullptr);
}

void KV_File::setFileName(const char16_t* name) {
  char16_t* copy = nullptr;
  if (name != nullptr) {
    std::size_t n = u16_length(name);
    copy = static_cast<char16_t*>(kv_alloc((n + 1) * sizeof(char16_t)));
    std::memcpy(copy, name, (n + 1) * sizeof(char16_t));
  }
  kv_free(m_fileName);
  m_fileName = copy;
}

void KV_File::report(const GX_Exception& e) {
  if (m_errorHandler == nullptr) throw GX_Exception(e);
  if (kv_report_to_handler(m_errorHandler, e) != 0) return;
  GX_Canceled_Error canceled(e.module(), e.id(), e.source(), e.argument(), e.file(), e.arg_count(),
                             e.args());
  canceled.own_source();  // e's source may be a text that dies with e
  throw canceled;
}
