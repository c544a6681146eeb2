// Copyright the kvstore authors.
#include "tree/kv_path_strings.h"

#include <sys/random.h>

#include <chrono>
#include <cstring>
#include <new>

#include "toolkit/u16_text.h"
#include "tree/kv_alloc.h"
#include "tree/kv_table_memory.h"

namespace {

KV_PathStrings::Entry* entry_of(const char16_t* interned) {
  return reinterpret_cast<KV_PathStrings::Entry*>(const_cast<char16_t*>(interned)) - 1;
}

uint64_t mix64(uint64_t x) {
  x ^= x >> 33;
  x *= 0xFF51AFD7ED558CCDull;
  x ^= x >> 33;
  x *= 0xC4CEB9FE1A85EC53ull;
  x ^= x >> 33;
  return x;
}

// A random value drawn once per process (initialised once, whichever thread
// asks first); the clock stands in when the system has no randomness to give.
uint64_t process_seed() {
  static const uint64_t seed = [] {
    uint64_t value = 0;
    if (getrandom(&value, sizeof(value), GRND_NONBLOCK) != static_cast<ssize_t>(sizeof(value))) {
      value = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    }
    return mix64(value);
  }();
  return seed;
}

}  // namespace

KV_PathStrings::KV_PathStrings()
    : m_slots(nullptr),
      m_mask(0),
      m_count(0),
      m_seed(mix64(process_seed() ^ reinterpret_cast<uintptr_t>(this))),
      m_teardown(false) {}

KV_PathStrings::~KV_PathStrings() {
  if (m_slots != nullptr) {
    for (std::size_t i = 0; i <= m_mask; ++i) kv_free(m_slots[i].entry);
    kv_table_free(m_slots);
  }
}

unsigned KV_PathStrings::Bucket(const char16_t* s, std::size_t length) {
  unsigned bucket = 0;
  for (std::size_t i = 0; i < length; ++i) bucket ^= (s[i] & 0xFFu) ^ (s[i] >> 8);
  return bucket & 0xFFu;
}

// FNV-1a over the code units from a seeded start, then a final mix so that
// every bit of the result depends on every unit.
uint32_t KV_PathStrings::HashOf(const char16_t* s, std::size_t length) const {
  uint64_t h = m_seed;
  for (std::size_t i = 0; i < length; ++i) h = (h ^ s[i]) * 0x100000001B3ull;
  h ^= h >> 32;
  h *= 0xD6E8FEB86659FD93ull;
  h ^= h >> 32;
  return static_cast<uint32_t>(h);
}

KV_PathStrings::Entry* KV_PathStrings::Find(const char16_t* s, std::size_t length,
                                            uint32_t hash) const {
  if (m_slots == nullptr) return nullptr;
  for (std::size_t i = hash & m_mask;; i = (i + 1) & m_mask) {
    const Slot& slot = m_slots[i];
    if (slot.entry == nullptr) return nullptr;
    if (slot.hash == hash && slot.entry->length == length &&
        std::memcmp(slot.entry->string(), s, length * sizeof(char16_t)) == 0) {
      return slot.entry;
    }
  }
}

bool KV_PathStrings::Rehash(std::size_t capacity) {
  auto* slots = static_cast<Slot*>(kv_table_alloc(capacity * sizeof(Slot)));
  if (slots == nullptr) return false;
  const std::size_t mask = capacity - 1;
  if (m_slots != nullptr) {
    for (std::size_t i = 0; i <= m_mask; ++i) {
      if (m_slots[i].entry == nullptr) continue;
      std::size_t j = m_slots[i].hash & mask;
      while (slots[j].entry != nullptr) j = (j + 1) & mask;
      slots[j] = m_slots[i];
    }
    kv_table_free(m_slots);
  }
  m_slots = slots;
  m_mask = mask;
  return true;
}

const char16_t* KV_PathStrings::Add(const char16_t* s) {
  if (s == nullptr) s = u"";
  return Add(s, u16_length(s));
}

const char16_t* KV_PathStrings::Add(const char16_t* s, std::size_t length) {
  bool created;
  return Add(s, length, created);
}

const char16_t* KV_PathStrings::Add(const char16_t* s, std::size_t length, bool& created) {
  return Add(s, length, HashOf(s, length), created);
}

const char16_t* KV_PathStrings::Add(const char16_t* s, std::size_t length, uint32_t hash,
                                    bool& created) {
  if (Entry* found = Find(s, length, hash)) {
    ++found->refs;
    created = false;
    return found->string();
  }
  // Room first, so that a failure leaves the table as it was. A table that
  // cannot grow goes on fuller while it has a free slot.
  if (m_slots == nullptr || 4 * (m_count + 1) > 3 * (m_mask + 1)) {
    const std::size_t capacity = m_slots == nullptr ? kMinCapacity : 2 * (m_mask + 1);
    if (!Rehash(capacity) && (m_slots == nullptr || m_count + 1 > m_mask)) throw std::bad_alloc();
  }
  auto* entry = static_cast<Entry*>(kv_alloc(sizeof(Entry) + (length + 1) * sizeof(char16_t)));
  entry->refs = 1;
  entry->length = static_cast<uint32_t>(length);
  entry->hash = hash;
  auto* text = const_cast<char16_t*>(entry->string());
  if (length != 0) std::memcpy(text, s, length * sizeof(char16_t));
  text[length] = 0;
  std::size_t i = hash & m_mask;
  while (m_slots[i].entry != nullptr) i = (i + 1) & m_mask;
  m_slots[i] = Slot{hash, entry};
  ++m_count;
  created = true;
  return entry->string();
}

const char16_t* KV_PathStrings::Acquire(const char16_t* s, std::size_t length) {
  Entry* found = Find(s, length, HashOf(s, length));
  if (found == nullptr) return nullptr;
  ++found->refs;
  return found->string();
}

void KV_PathStrings::Destroy(Entry* entry) {
  if (m_teardown) {
    entry->refs = 0;
    return;
  }
  std::size_t i = entry->hash & m_mask;
  while (m_slots[i].entry != entry) i = (i + 1) & m_mask;
  // Backward-shift deletion: pull up every later slot of the cluster whose
  // home is not between the hole and itself.
  for (std::size_t j = (i + 1) & m_mask; m_slots[j].entry != nullptr; j = (j + 1) & m_mask) {
    const std::size_t home = m_slots[j].hash & m_mask;
    const bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
    if (!stays) {
      m_slots[i] = m_slots[j];
      i = j;
    }
  }
  m_slots[i] = Slot{0, nullptr};
  --m_count;
  kv_free(entry);
  // A table left mostly empty by a large delete gives its memory back.
  if (m_mask + 1 > kMinCapacity && 8 * m_count < m_mask + 1) Rehash((m_mask + 1) / 2);
}

void KV_PathStrings::Remove(const char16_t* s) {
  if (s == nullptr) return;
  const std::size_t length = u16_length(s);
  Entry* found = Find(s, length, HashOf(s, length));
  if (found == nullptr) return;
  if (found->refs < 2) {
    Destroy(found);
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
    Destroy(entry);
  } else {
    --entry->refs;
  }
}

int32_t KV_PathStrings::References(const char16_t* s) const {
  if (s == nullptr) return 0;
  const std::size_t length = u16_length(s);
  Entry* found = Find(s, length, HashOf(s, length));
  return found != nullptr ? found->refs : 0;
}
