// Copyright the kvstore authors.
#include "tree/kv_path_strings.h"

#include <cstring>

#include "toolkit/u16_text.h"
#include "tree/kv_alloc.h"

namespace {

KV_PathStrings::Entry* entry_of(const char16_t* interned) {
  return reinterpret_cast<KV_PathStrings::Entry*>(const_cast<char16_t*>(interned)) - 1;
}

}  // namespace

KV_PathStrings::KV_PathStrings() : m_buckets() {}

KV_PathStrings::~KV_PathStrings() {
  for (Entry*& head : m_buckets) {
    while (head != nullptr) {
      Entry* next = head->next;
      kv_free(head);
      head = next;
    }
  }
}

unsigned KV_PathStrings::Bucket(const char16_t* s, std::size_t length) {
  return KeyOf(s, length).bucket;
}

KV_PathStrings::Key KV_PathStrings::KeyOf(const char16_t* s, std::size_t length) {
  unsigned bucket = 0;
  uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < length; ++i) {
    const unsigned unit = s[i];
    bucket ^= (unit & 0xFFu) ^ (unit >> 8);
    hash = (hash ^ unit) * 16777619u;
  }
  return Key{bucket & 0xFFu, hash};
}

KV_PathStrings::Entry* KV_PathStrings::Find(const char16_t* s, std::size_t length, Key key) const {
  for (Entry* e = m_buckets[key.bucket]; e != nullptr; e = e->next) {
    if (e->hash == key.hash && e->length == length &&
        std::memcmp(e->string(), s, length * sizeof(char16_t)) == 0) {
      return e;
    }
  }
  return nullptr;
}

const char16_t* KV_PathStrings::Add(const char16_t* s) {
  if (s == nullptr) s = u"";
  return Add(s, u16_length(s));
}

const char16_t* KV_PathStrings::Add(const char16_t* s, std::size_t length) {
  const Key key = KeyOf(s, length);
  if (Entry* found = Find(s, length, key)) {
    ++found->refs;
    return found->string();
  }
  auto* entry = static_cast<Entry*>(kv_alloc(sizeof(Entry) + (length + 1) * sizeof(char16_t)));
  entry->refs = 1;
  entry->length = static_cast<uint32_t>(length);
  entry->hash = key.hash;
  entry->bucket = key.bucket;
  auto* text = const_cast<char16_t*>(entry->string());
  if (length != 0) std::memcpy(text, s, length * sizeof(char16_t));
  text[length] = 0;
  entry->next = m_buckets[key.bucket];
  m_buckets[key.bucket] = entry;
  return entry->string();
}

const char16_t* KV_PathStrings::Acquire(const char16_t* s, std::size_t length) {
  Entry* found = Find(s, length, KeyOf(s, length));
  if (found == nullptr) return nullptr;
  ++found->refs;
  return found->string();
}

void KV_PathStrings::Unlink(Entry* entry, unsigned bucket) {
  for (Entry** link = &m_buckets[bucket]; *link != nullptr; link = &(*link)->next) {
    if (*link == entry) {
      *link = entry->next;
      kv_free(entry);
      return;
    }
  }
}

void KV_PathStrings::Remove(const char16_t* s) {
  if (s == nullptr) return;
  std::size_t length = u16_length(s);
  Entry* found = Find(s, length, KeyOf(s, length));
  if (found == nullptr) return;
  if (found->refs < 2) {
    Unlink(found, found->bucket);
  } else {
    --found->refs;
  }
}

void KV_PathStrings::Retain(const char16_t* interned) {
  ++entry_of(interned)->refs;
}

void KV_PathStrings::Release(const char16_t* interned) {
  Entry* entry = entry_of(interned);
  if (entry->refs < 2) {
    Unlink(entry, entry->bucket);
  } else {
    --entry->refs;
  }
}

int32_t KV_PathStrings::References(const char16_t* s) const {
  if (s == nullptr) return 0;
  std::size_t length = u16_length(s);
  Entry* found = Find(s, length, KeyOf(s, length));
  return found != nullptr ? found->refs : 0;
}

std::size_t KV_PathStrings::Size() const {
  std::size_t n = 0;
  for (Entry* head : m_buckets) {
    for (Entry* e = head; e != nullptr; e = e->next) ++n;
  }
  return n;
}
