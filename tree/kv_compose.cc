// Copyright the kvstore authors.
#include "tree/kv_compose.h"

#include <cstring>

#include "toolkit/u16_text.h"

namespace {
// The longest composed text accepted, in code units.
constexpr std::size_t kMaxComposed = kComposedPathUnits - 2;
}  // namespace

const char16_t* kv_compose_path(const char16_t* path, int index,
                                char16_t (&out)[kComposedPathUnits]) {
  if (path == nullptr) path = u"";
  std::size_t length = 0;
  const char16_t* star = nullptr;
  for (; path[length] != 0; ++length) {
    if (star == nullptr && path[length] == u'*') star = path + length;
    if (length > kMaxComposed) return nullptr;
  }
  if (length > kMaxComposed) return nullptr;
  if (star == nullptr && index == -1) return path;

  char16_t number[24];
  std::size_t digits = u16_from_int(index, number);
  std::size_t total = length + digits + (star != nullptr ? 0 : 1) - (star != nullptr ? 1 : 0);
  if (total > kMaxComposed) return nullptr;

  if (star != nullptr) {
    std::size_t before = static_cast<std::size_t>(star - path);
    std::memcpy(out, path, before * sizeof(char16_t));
    std::memcpy(out + before, number, digits * sizeof(char16_t));
    std::memcpy(out + before + digits, star + 1, (length - before - 1) * sizeof(char16_t));
  } else {
    std::memcpy(out, path, length * sizeof(char16_t));
    out[length] = u'\\';
    std::memcpy(out + length + 1, number, digits * sizeof(char16_t));
  }
  out[total] = 0;
  return out;
}
