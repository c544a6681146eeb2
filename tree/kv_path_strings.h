// Copyright the kvstore authors.
//
// KV_PathStrings: the table of interned names of one tree. Every node,
// property and live KV_Path holds one reference on each name it uses, so the
// table holds exactly the names in use. Two names are equal exactly when
// their interned pointers are equal.
#ifndef KVSTORE_TREE_KV_PATH_STRINGS_H_
#define KVSTORE_TREE_KV_PATH_STRINGS_H_

#include <cstddef>
#include <cstdint>

#include "kvstore/kv_mem_obj.h"

class KV_PathStrings : public KV_Mem_Obj {
 public:
  static constexpr int kBuckets = 256;

  // One interned name. The entry and its text are one allocation: the
  // NUL-terminated text follows the header. The bucket's chains are long for
  // names that differ only in the order of their characters or in digits
  // (the XOR of the bytes cannot tell "12" from "21", and the numbers 0 to 999
  // share 32 buckets), so each entry keeps a full hash of its text as well: a
  // search compares texts only when hash and length agree.
  struct Entry {
    Entry* next;      // next entry of the same bucket
    int32_t refs;     // holders of the name
    uint32_t length;  // code units before the terminator
    uint32_t hash;    // full hash of the text (KeyOf)
    uint32_t bucket;  // Bucket() of the text
    const char16_t* string() const { return reinterpret_cast<const char16_t*>(this + 1); }
  };

  KV_PathStrings();
  KV_PathStrings(const KV_PathStrings&) = delete;
  KV_PathStrings& operator=(const KV_PathStrings&) = delete;
  // Destroys every entry, whatever its count.
  ~KV_PathStrings() override;

  // The table's copy of s, with one more reference on it; a new name enters
  // with one reference at the head of its bucket. Null s is treated as "".
  const char16_t* Add(const char16_t* s);
  const char16_t* Add(const char16_t* s, std::size_t length);

  // The table's copy of the name s[0..length) with one more reference on it,
  // or null (and nothing taken) when the table does not hold it.
  const char16_t* Acquire(const char16_t* s, std::size_t length);

  // Finds the entry by content: with fewer than 2 references it is destroyed,
  // otherwise it loses one. A name that is not present is ignored.
  void Remove(const char16_t* s);

  // One more reference on a pointer that this table handed out.
  void Retain(const char16_t* interned);

  // Remove for a pointer that this table handed out (faster: no search by
  // content). REQUIRES: interned came from Add or Acquire of this table.
  void Release(const char16_t* interned);

  // The bucket of a name: the XOR, over its code units, of each unit's low
  // byte and high byte.
  static unsigned Bucket(const char16_t* s, std::size_t length);

  // Observers: the references held on s (0 when absent) and the number of
  // names in the table.
  int32_t References(const char16_t* s) const;
  std::size_t Size() const;

 private:
  // The bucket and the full hash (FNV-1a over the code units) of a name,
  // computed in one pass.
  struct Key {
    unsigned bucket;
    uint32_t hash;
  };
  static Key KeyOf(const char16_t* s, std::size_t length);

  Entry* Find(const char16_t* s, std::size_t length, Key key) const;
  void Unlink(Entry* entry, unsigned bucket);

  Entry* m_buckets[kBuckets];
};

#endif  // KVSTORE_TREE_KV_PATH_STRINGS_H_
