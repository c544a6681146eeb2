// Copyright the kvstore authors.
#include "tree/kv_path.h"

#include <cstddef>

#include "kvstore/kv_exceptions.h"
#include "tree/kv_path_strings.h"
#include "tree/kv_revision.h"

KV_Path::KV_Path(KV_PathStrings* strings, const char16_t* path, bool create)
    : m_strings(strings), m_count(0) {
  if (path == nullptr) return;
  const char16_t* p = path;
  while (*p != 0) {
    while (*p == u'\\') ++p;
    if (*p == 0) break;
    const char16_t* start = p;
    while (*p != 0 && *p != u'\\') ++p;
    std::size_t length = static_cast<std::size_t>(p - start);
    const char16_t* interned =
        create ? m_strings->Add(start, length) : m_strings->Acquire(start, length);
    if (interned == nullptr) {
      ReleaseAll();
      return;
    }
    if (m_count == kMaxComponents) {
      m_strings->Release(interned);
      ReleaseAll();
      throw KV_Warning(51, u"KV_Path::KV_Path()", path, kRevKvtree);
    }
    m_components[m_count++] = interned;
  }
}

KV_Path::~KV_Path() {
  ReleaseAll();
}

void KV_Path::ReleaseAll() {
  while (m_count > 0) m_strings->Release(m_components[--m_count]);
}
