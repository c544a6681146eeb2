// Copyright the kvstore authors.
#include "tree/kv_path_strings.h"

#include <sys/random.h>

#include <chrono>
#include <cstring>
#include <new>
#include <utility>

#include "toolkit/u16_text.h"
#include "tree/kv_alloc.h"
#include "tree/kv_table_memory.h"

// Free blocks and the unused rest of a chunk are poisoned under
// AddressSanitizer.
#if defined(__SANITIZE_ADDRESS__)
#define KV_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KV_ASAN 1
#endif
#endif
#ifdef KV_ASAN
#include <sanitizer/asan_interface.h>
#define KV_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define KV_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define KV_POISON(p, n) ((void)(p), (void)(n))
#define KV_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

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
      m_teardown(false),
      m_chunks(nullptr),
      m_unpooled(0),
      m_bump(nullptr),
      m_bumpEnd(nullptr),
      m_free() {}

KV_PathStrings::~KV_PathStrings() {
  if (m_slots != nullptr) {
    for (std::size_t i = 0; m_unpooled != 0 && i <= m_mask; ++i) {
      if (m_slots[i].entry != nullptr && !Pooled(m_slots[i].entry->length)) {
        kv_free(m_slots[i].entry);
        --m_unpooled;
      }
    }
    kv_table_free(m_slots, (m_mask + 1) * sizeof(Slot));
  }
  while (m_chunks != nullptr) {
    Chunk* next = m_chunks->next;
    KV_UNPOISON(m_chunks + 1, m_chunks->bytes - sizeof(Chunk));
    kv_free(m_chunks);
    m_chunks = next;
  }
}

std::size_t KV_PathStrings::Units(std::size_t length) {
  return (sizeof(Entry) + (length + 1) * sizeof(char16_t) + kUnit - 1) / kUnit;
}

bool KV_PathStrings::Pooled(std::size_t length) {
  return Units(length) <= kMaxPooledUnits;
}

KV_PathStrings::Entry* KV_PathStrings::NewEntry(std::size_t length) {
  const std::size_t units = Units(length);
  if (units > kMaxPooledUnits) {
    auto* entry = static_cast<Entry*>(kv_alloc(units * kUnit));
    ++m_unpooled;
    return entry;
  }
  if (FreeBlock* block = m_free[units]) {
    KV_UNPOISON(block, units * kUnit);
    m_free[units] = block->next;
    return reinterpret_cast<Entry*>(block);
  }
  if (m_bump == nullptr || static_cast<std::size_t>(m_bumpEnd - m_bump) < units * kUnit) {
    const std::size_t bytes = m_chunks == nullptr                    ? kFirstChunkBytes
                              : m_chunks->bytes == kFirstChunkBytes  ? kLaterChunkBytes
                              : m_chunks->bytes < kLargestChunkBytes ? 2 * m_chunks->bytes
                                                                     : kLargestChunkBytes;
    auto* chunk = static_cast<Chunk*>(kv_alloc(bytes));
    chunk->next = m_chunks;
    chunk->bytes = bytes;
    m_chunks = chunk;
    m_bump = reinterpret_cast<char*>(chunk + 1);
    m_bumpEnd = reinterpret_cast<char*>(chunk) + bytes;
    KV_POISON(m_bump, static_cast<std::size_t>(m_bumpEnd - m_bump));
  }
  auto* entry = reinterpret_cast<Entry*>(m_bump);
  KV_UNPOISON(entry, units * kUnit);
  m_bump += units * kUnit;
  return entry;
}

void KV_PathStrings::FreeEntry(Entry* entry) {
  const std::size_t units = Units(entry->length);
  if (units > kMaxPooledUnits) {
    kv_free(entry);
    --m_unpooled;
    return;
  }
  auto* block = reinterpret_cast<FreeBlock*>(entry);
  block->next = m_free[units];
  m_free[units] = block;
  KV_POISON(block, units * kUnit);
}

unsigned KV_PathStrings::Bucket(const char16_t* s, std::size_t length) {
  unsigned bucket = 0;
  for (std::size_t i = 0; i < length; ++i) bucket ^= (s[i] & 0xFFu) ^ (s[i] >> 8);
  return bucket & 0xFFu;
}

// FNV-1a over the code units from a seeded start, then a final mix so that
// every bit of the result depends on every unit.
//
// A name that ends in a number (1 to 9 digits without a leading zero, as
// index composition writes them: pens\12, name_4711) is hashed as its stem
// and its number: the stem and the number divided by 8 choose a group of 8
// slots at random, the number's last 3 bits the slot in the group. The names
// of a wide node or a long list, which mostly come in the order of their
// numbers, then share the two cache lines of their group instead of each
// taking a line at random; and no more than 8 names share a group, so names
// chosen to collide collide no more than at random. (Such groups make longer
// runs of taken slots than single names do, which is why the table is kept
// at most half full.)
uint32_t KV_PathStrings::HashOf(const char16_t* s, std::size_t length) const {
  // The number at the end, read from its last digit on.
  std::size_t digits = 0;
  uint32_t number = 0;
  uint32_t scale = 1;
  while (digits < length && digits < 10) {
    const char16_t c = s[length - 1 - digits];
    if (c < u'0' || c > u'9') break;
    number += static_cast<uint32_t>(c - u'0') * scale;
    scale *= 10;  // 10^10 wraps, but a tenth digit makes the name unnumbered
    ++digits;
  }
  const bool numbered = digits >= 1 && digits <= 9 && (digits == 1 || s[length - digits] != u'0');
  const std::size_t stem = numbered ? length - digits : length;
  uint64_t h = m_seed;
  for (std::size_t i = 0; i < stem; ++i) h = (h ^ s[i]) * 0x100000001B3ull;
  if (!numbered) {
    h ^= h >> 32;
    h *= 0xD6E8FEB86659FD93ull;
    h ^= h >> 32;
    return static_cast<uint32_t>(h);
  }
  const uint64_t group = mix64(h + (number >> 3));
  return (static_cast<uint32_t>(group) & ~7u) | (number & 7u);
}

// The table is kept in Robin Hood order: along a run of slots, entries
// stand in the order of their home slots, so that a search for a name that
// is absent stops as soon as it meets an entry that lies nearer its own home
// than the name would, rather than at the end of the run.
KV_PathStrings::Entry* KV_PathStrings::Find(const char16_t* s, std::size_t length,
                                            uint32_t hash) const {
  if (m_slots == nullptr) return nullptr;
  std::size_t distance = 0;
  for (std::size_t i = hash & m_mask;; i = (i + 1) & m_mask, ++distance) {
    const Slot& slot = m_slots[i];
    if (slot.entry == nullptr || ((i - slot.hash) & m_mask) < distance) return nullptr;
    if (slot.hash == hash && slot.entry->length == length &&
        std::memcmp(slot.entry->string(), s, length * sizeof(char16_t)) == 0) {
      return slot.entry;
    }
  }
}

void KV_PathStrings::Place(Slot* slots, std::size_t mask, Slot slot) {
  std::size_t distance = 0;
  for (std::size_t i = slot.hash & mask;; i = (i + 1) & mask, ++distance) {
    Slot& here = slots[i];
    if (here.entry == nullptr) {
      here = slot;
      return;
    }
    const std::size_t theirs = (i - here.hash) & mask;
    if (theirs < distance) {
      std::swap(slot, here);
      distance = theirs;
    }
  }
}

bool KV_PathStrings::Rehash(std::size_t capacity) {
  auto* slots = static_cast<Slot*>(kv_table_alloc(capacity * sizeof(Slot)));
  if (slots == nullptr) return false;
  if (m_slots != nullptr) {
    for (std::size_t i = 0; i <= m_mask; ++i) {
      if (m_slots[i].entry != nullptr) Place(slots, capacity - 1, m_slots[i]);
    }
    kv_table_free(m_slots, (m_mask + 1) * sizeof(Slot));
  }
  m_slots = slots;
  m_mask = capacity - 1;
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
  if (m_slots == nullptr || 2 * (m_count + 1) > m_mask + 1) {
    const std::size_t capacity = m_slots == nullptr ? kMinCapacity : 2 * (m_mask + 1);
    if (!Rehash(capacity) && (m_slots == nullptr || m_count + 1 > m_mask)) throw std::bad_alloc();
  }
  Entry* entry = NewEntry(length);
  entry->refs = 1;
  entry->length = static_cast<uint32_t>(length);
  entry->hash = hash;
  auto* text = const_cast<char16_t*>(entry->string());
  if (length != 0) std::memcpy(text, s, length * sizeof(char16_t));
  text[length] = 0;
  Place(m_slots, m_mask, Slot{hash, entry});
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
  // Backward-shift deletion: the entries after the hole that are away from
  // their home move one slot back, which keeps the Robin Hood order.
  for (std::size_t j = (i + 1) & m_mask;
       m_slots[j].entry != nullptr && ((j - m_slots[j].hash) & m_mask) != 0;
       i = j, j = (j + 1) & m_mask) {
    m_slots[i] = m_slots[j];
  }
  m_slots[i] = Slot{0, nullptr};
  --m_count;
  FreeEntry(entry);
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
