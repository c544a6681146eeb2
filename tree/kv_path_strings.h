// Copyright the kvstore authors.
//
// KV_PathStrings: the table of interned names of one tree. Every node,
// property and live KV_Path holds one reference on each name it uses, so the
// table holds exactly the names in use. Two names are equal exactly when
// their interned pointers are equal.
//
// The table is an open-addressing hash table (linear probing in Robin Hood
// order, at most half full) that doubles and rehashes as it fills
// and halves when it is mostly empty, so interning and releasing take
// expected constant time whatever the number and the shape of the names.
// The hash is seeded per table from a per-process random value, and a name
// that ends in a number shares a group of slots with at most seven others
// (see HashOf): names chosen to collide collide no more than names at random.
// Nothing outside the table can tell where a name is kept.
#ifndef KVSTORE_TREE_KV_PATH_STRINGS_H_
#define KVSTORE_TREE_KV_PATH_STRINGS_H_

#include <cstddef>
#include <cstdint>

#include "kvstore/kv_mem_obj.h"

class KV_PathStrings : public KV_Mem_Obj {
 public:
  // One interned name. The entry and its text are one block: the
  // NUL-terminated text follows the header.
  struct Entry {
    int32_t refs;     // holders of the name
    uint32_t length;  // code units before the terminator
    uint32_t hash;    // the table's hash of the text
    const char16_t* string() const { return reinterpret_cast<const char16_t*>(this + 1); }
  };

  KV_PathStrings();
  KV_PathStrings(const KV_PathStrings&) = delete;
  KV_PathStrings& operator=(const KV_PathStrings&) = delete;
  // Destroys every entry, whatever its count.
  ~KV_PathStrings() override;

  // The table's copy of s, with one more reference on it; a new name enters
  // with one reference. Null s is treated as "". Throws std::bad_alloc when
  // a new name cannot be stored (the table is then unchanged).
  const char16_t* Add(const char16_t* s);
  const char16_t* Add(const char16_t* s, std::size_t length);
  // The same; created tells whether the name is new to the table. A new name
  // is held by nothing else yet, so no node or property can carry it.
  const char16_t* Add(const char16_t* s, std::size_t length, bool& created);

  // The table's hash of s[0..length), and a hint that a lookup of that hash
  // follows soon: a caller with other work to do first starts fetching the
  // table's memory now. Add with the hash given saves hashing again.
  // REQUIRES: hash came from Hash of this table.
  uint32_t Hash(const char16_t* s, std::size_t length) const { return HashOf(s, length); }
  void Prefetch(uint32_t hash) const {
    if (m_slots != nullptr) __builtin_prefetch(&m_slots[hash & m_mask]);
  }
  const char16_t* Add(const char16_t* s, std::size_t length, uint32_t hash, bool& created);

  // The table's copy of the name s[0..length) with one more reference on it,
  // or null (and nothing taken) when the table does not hold it.
  const char16_t* Acquire(const char16_t* s, std::size_t length);

  // Finds the entry by content: with fewer than 2 references it is destroyed,
  // otherwise it loses one. A name that is not present is ignored.
  void Remove(const char16_t* s);

  // One more reference on a pointer that this table handed out.
  void Retain(const char16_t* interned);

  // Remove for a pointer that this table handed out, without a search by
  // content. REQUIRES: interned came from Add or Acquire of this table.
  void Release(const char16_t* interned);

  // From now on a name whose last reference goes stays in the table, to be
  // freed with the table: for the destruction of a whole tree, whose names
  // then need no search each. REQUIRES: nothing interns a name afterwards.
  void BeginTeardown() { m_teardown = true; }

  // The bucket that a name takes in a table of 256 fixed chains: the XOR,
  // over its code units, of each unit's low byte and high byte. This table
  // does not use it; tests use it to pick names that such a table could not
  // tell apart.
  static unsigned Bucket(const char16_t* s, std::size_t length);

  // Observers: the references held on s (0 when absent), the number of
  // names in the table and the number of slots it has room for.
  int32_t References(const char16_t* s) const;
  std::size_t Size() const { return m_count; }
  std::size_t Capacity() const { return m_slots == nullptr ? 0 : m_mask + 1; }

  // The smallest table that is allocated (on the first name).
  static constexpr std::size_t kMinCapacity = 64;

 private:
  // A slot keeps the hash beside the entry, so that a probe reads an entry
  // only when the hashes agree.
  struct Slot {
    uint32_t hash;
    Entry* entry;  // null: the slot is free
  };

  uint32_t HashOf(const char16_t* s, std::size_t length) const;
  Entry* Find(const char16_t* s, std::size_t length, uint32_t hash) const;
  // Puts slot into the table slots (mask + 1 slots, at least one free) in
  // Robin Hood order.
  static void Place(Slot* slots, std::size_t mask, Slot slot);
  // Rehashes into capacity slots (a power of two that holds every entry).
  // False, the table unchanged, when memory runs out.
  bool Rehash(std::size_t capacity);
  // Removes the entry from its slot and frees it.
  void Destroy(Entry* entry);

  // Entries live in chunks of the table's own, in blocks of 16-byte units:
  // making and freeing a name costs no call of the general allocator, and
  // the chunks go back with the table at once. A freed block waits on the
  // list of its size for the next name of that size (the memory of a table
  // is that of the most names it held at once); names longer than the
  // largest pooled block are allocated one by one. Under AddressSanitizer a
  // free block is poisoned, so that a name used after its release is still
  // reported.
  static constexpr std::size_t kUnit = 16;
  static constexpr std::size_t kMaxPooledUnits = 64;
  // Chunks grow from a small first one (for the many small trees) to 2 MiB.
  static constexpr std::size_t kFirstChunkBytes = 1024 - 64;
  static constexpr std::size_t kLaterChunkBytes = 64 * 1024;
  static constexpr std::size_t kLargestChunkBytes = 2 * 1024 * 1024;
  struct Chunk {
    Chunk* next;
    std::size_t bytes;  // the whole block, header included
  };
  struct FreeBlock {
    FreeBlock* next;
  };
  static std::size_t Units(std::size_t length);
  static bool Pooled(std::size_t length);
  Entry* NewEntry(std::size_t length);
  void FreeEntry(Entry* entry);

  Slot* m_slots;
  std::size_t m_mask;  // capacity - 1
  std::size_t m_count;
  uint64_t m_seed;
  bool m_teardown;
  Chunk* m_chunks;
  std::size_t m_unpooled;  // entries allocated one by one
  char* m_bump;
  char* m_bumpEnd;
  FreeBlock* m_free[kMaxPooledUnits + 1];
};

#endif  // KVSTORE_TREE_KV_PATH_STRINGS_H_
