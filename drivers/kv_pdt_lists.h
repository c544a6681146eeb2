// Copyright the kvstore authors.
//
// The record lists of the driver description import, the capability records
// that they hold, the pointer-keyed hash table of the key-text table and the
// pool of interned texts behind it.
//
// Several capability files are read into lists first and written into the
// tree later, where another file names their records: a media destination
// names its finishing options, an I/O method its protocols, a resolution
// combination its resolutions. Those later steps find a record by its exact
// name.
//
// Structures that scale where the classic layout would not:
//   - SimpleListWithSearch::find answers from a hash index of the names
//     (built as records are appended), not from a walk from the head; it
//     still answers the first record of that name in list order;
//   - kv_interned_texts is a hash set; it replaces the fixed-chain name table
//     of a tree, whose reference counts an import has no use for.
// GX_Hash_Table keeps the classic rules (32 chains, growth past 15 entries a
// chain on average, the last insert of a key wins) with two safeguards: a
// growth factor that would not give a larger power of two doubles the table,
// and a growth keeps the order of the entries within a chain (the classic
// move to the head of the new chain would reverse the entries of a key given
// twice, so that the earlier one won after every other growth).
#ifndef KVSTORE_DRIVERS_KV_PDT_LISTS_H_
#define KVSTORE_DRIVERS_KV_PDT_LISTS_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "kvstore/gx_string.h"

// ---- SimpleList

// An owning, singly linked list of records in the order of their appending.
template <typename T>
class SimpleList {
 protected:
  struct Link {
    explicit Link(const T& r) : record(r) {}
    T record;
    Link* next = nullptr;
  };

 public:
  class const_iterator {
   public:
    explicit const_iterator(const Link* link) : m_link(link) {}
    const T& operator*() const { return m_link->record; }
    const T* operator->() const { return &m_link->record; }
    const_iterator& operator++() {
      m_link = m_link->next;
      return *this;
    }
    bool operator!=(const const_iterator& other) const { return m_link != other.m_link; }
    bool operator==(const const_iterator& other) const { return m_link == other.m_link; }

   private:
    const Link* m_link;
  };

  SimpleList() = default;
  SimpleList(const SimpleList& other) { append_all(other); }
  // Destroys this list's records, then appends a copy of each of other's in
  // order.
  SimpleList& operator=(const SimpleList& other) {
    if (this != &other) {
      clear();
      append_all(other);
    }
    return *this;
  }
  virtual ~SimpleList() { clear(); }

  // Appends a copy of record after the tail.
  void append(const T& record) {
    Link* link = new Link(record);
    if (m_tail == nullptr) {
      m_head = link;
    } else {
      m_tail->next = link;
    }
    m_tail = link;
    ++m_count;
  }

  // Destroys every record, head to tail; the list is empty afterwards.
  void clear() {
    while (m_head != nullptr) {
      Link* next = m_head->next;
      delete m_head;
      m_head = next;
    }
    m_tail = nullptr;
    m_count = 0;
    ++m_generation;
  }

  int32_t count() const { return m_count; }
  bool empty() const { return m_count == 0; }
  const_iterator begin() const { return const_iterator(m_head); }
  const_iterator end() const { return const_iterator(nullptr); }

 protected:
  const Link* head_link() const { return m_head; }
  // Changes whenever clear() discards records, so that an index over the
  // list can tell that it is stale.
  uint64_t generation() const { return m_generation; }

 private:
  void append_all(const SimpleList& other) {
    for (const T& record : other) append(record);
  }

  Link* m_head = nullptr;
  Link* m_tail = nullptr;
  int32_t m_count = 0;
  uint64_t m_generation = 0;
};

// A record list whose records are found by name. T has a GX_String member
// named name.
template <typename T>
class SimpleListWithSearch : public SimpleList<T> {
 public:
  SimpleListWithSearch() = default;
  SimpleListWithSearch(const SimpleListWithSearch& other) : SimpleList<T>(other) {}
  SimpleListWithSearch& operator=(const SimpleListWithSearch& other) {
    SimpleList<T>::operator=(other);
    return *this;
  }
  ~SimpleListWithSearch() override = default;

  // The first record, from the head on, whose name has exactly the code
  // units of name (case matters, nothing is trimmed; two empty names are
  // equal), or null.
  const T* find(std::u16string_view name) const {
    refresh_index();
    auto found = m_index.find(name);
    return found != m_index.end() ? found->second : nullptr;
  }
  const T* find(const GX_String& name) const {
    return find(std::u16string_view(name.c_str(), name.length()));
  }

 private:
  using Link = typename SimpleList<T>::Link;

  // Indexes the records appended since the last search. The views point
  // into the records' names, which do not move while the record lives.
  void refresh_index() const {
    if (m_indexedGeneration != this->generation()) {
      m_index.clear();
      m_lastIndexed = nullptr;
      m_indexedGeneration = this->generation();
    }
    const Link* link = m_lastIndexed != nullptr ? m_lastIndexed->next : this->head_link();
    for (; link != nullptr; link = link->next) {
      const T& record = link->record;
      // The first record of a name keeps its place in the index.
      m_index.emplace(std::u16string_view(record.name.c_str(), record.name.length()), &record);
      m_lastIndexed = link;
    }
  }

  mutable std::unordered_map<std::u16string_view, const T*> m_index;
  mutable const Link* m_lastIndexed = nullptr;
  mutable uint64_t m_indexedGeneration = 0;
};

// ---- Capability records. Names are stored cleaned; localized_name is the
// text that the key lookup gave for the record's row. Numbers hold
// vocabulary values or counts as each converter describes.

struct UC_Protocol {
  GX_String name;
  GX_String localized_name;
  int32_t data_bits = 0;
  int32_t stop_bits = 0;
  int32_t parity = 0;
};

struct UC_Media_Collating {
  GX_String name;
  GX_String localized_name;
  int32_t collating_type = 0;
};

struct UC_Media_Cutting {
  GX_String name;
  GX_String localized_name;
  int32_t when = 0;
};

struct UC_Media_Folding {
  GX_String name;
  GX_String localized_name;
  int32_t folding_type = 0;
  int32_t when = 0;
};

struct UC_Media_Stapling {
  GX_String name;
  GX_String localized_name;
  int32_t location = 0;
  int32_t when = 0;
  int32_t orientation = 0;
};

struct UC_Memory_Area {
  GX_String name;
  GX_String localized_name;
  int32_t device_memory = 0;
  int32_t printable_area = 0;
};

struct UC_Media_Destination {
  GX_String name;
  GX_String localized_name;
  GX_String default_collating;
  GX_String default_stapling;
  GX_String default_cutting;
  GX_String default_folding;
  SimpleList<GX_String> collating;  // option names, in file order
  SimpleList<GX_String> stapling;
  SimpleList<GX_String> cutting;
  SimpleList<GX_String> folding;
};

struct UC_Media_Source_Entry {
  GX_String name;
  GX_String localized_name;
  GX_String default_size;
  float width = 0;
  float frame_height = 0;
  SimpleList<GX_String> size_names;
};

struct UC_Resolution {
  GX_String name;
  GX_String localized_name;
  float physical_x = 0;
  float physical_y = 0;
  float addressable_x = 0;
  float addressable_y = 0;
  float effective_x = 0;
  float effective_y = 0;
  GX_String default_mem_area;
  GX_String dithering;
  SimpleList<GX_String> mem_areas;
};

struct UC_Resolution_Color_Memory {
  GX_String name;
  GX_String localized_name;
  int32_t number_of_colors = 0;
  int32_t color_depth = 0;
  int32_t undithered_colors = 0;
  int32_t color_system = 0;
  GX_String default_resolution;
  SimpleList<GX_String> resolutions;
};

// ---- GX_Hash_Table

// A chained hash table keyed by pointer identity. Keys and values are
// borrowed (interned texts whose pool outlives the table); the table owns its
// entries and chain array. Several entries may share a key: lookup finds the
// one inserted last.
template <typename K, typename V>
class GX_Hash_Table {
  static_assert(std::is_pointer<K>::value, "keys are compared by identity");

 public:
  static constexpr int32_t kInitialBuckets = 32;
  static constexpr int32_t kChainFactor = 20;

  explicit GX_Hash_Table(float growth) : m_growth(growth) {
    m_buckets = kInitialBuckets;
    m_threshold = threshold_for(m_buckets);
    m_table = new Entry*[static_cast<std::size_t>(m_buckets)]();
  }
  GX_Hash_Table(const GX_Hash_Table&) = delete;
  GX_Hash_Table& operator=(const GX_Hash_Table&) = delete;
  virtual ~GX_Hash_Table() {
    for (int32_t i = 0; i < m_buckets; ++i) {
      for (Entry* e = m_table[i]; e != nullptr;) {
        Entry* next = e->next;
        delete e;
        e = next;
      }
    }
    delete[] m_table;
  }

  // Adds an entry at the head of the key's chain (an existing entry of the
  // same key stays, behind it); grows the table when the count passes the
  // threshold.
  void insert(K key, V value) {
    Entry*& head = m_table[chain_of(key, m_buckets)];
    head = new Entry{key, value, head};
    if (++m_count > m_threshold) grow();
  }

  // The value of the entry of key inserted last, or null when there is none.
  const V* lookup(K key) const {
    for (const Entry* e = m_table[chain_of(key, m_buckets)]; e != nullptr; e = e->next) {
      if (e->key == key) return &e->value;
    }
    return nullptr;
  }

  int32_t count() const { return m_count; }
  int32_t buckets() const { return m_buckets; }
  int32_t threshold() const { return m_threshold; }

  // The chain of a key among buckets chains (a power of two): the address
  // folded to 32 bits and mixed, so that aligned heap addresses spread.
  static uint32_t chain_of(K key, int32_t buckets) {
    const auto p = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(key));
    const uint32_t h = static_cast<uint32_t>(p) ^ static_cast<uint32_t>(p >> 32);
    const uint32_t a = (h >> 10) ^ h;
    const uint32_t b = (a >> 8) ^ h;
    return (b >> 2) & static_cast<uint32_t>(buckets - 1);
  }

 private:
  struct Entry {
    K key;
    V value;
    Entry* next;
  };

  static int32_t threshold_for(int32_t buckets) {
    return static_cast<int32_t>(static_cast<double>(kChainFactor) * buckets * 0.75);
  }

  // Moves every entry, chain by chain from chain 0 and each chain from its
  // head, to the tail of its chain in an array of the next size. Entries
  // keep their order within a chain, so that of a key given twice the later
  // entry still comes first (moving each to the head of its new chain would
  // reverse them, and the earlier entry would win after every other growth).
  void grow() {
    static constexpr int32_t kMaxBuckets = int32_t{1} << 28;
    if (m_buckets >= kMaxBuckets) return;
    double wanted = static_cast<double>(m_buckets) * static_cast<double>(m_growth);
    int32_t next = wanted > kMaxBuckets ? kMaxBuckets : static_cast<int32_t>(wanted);
    if (next <= m_buckets || (next & (next - 1)) != 0) next = m_buckets * 2;
    std::vector<Entry*> tails(static_cast<std::size_t>(next), nullptr);
    Entry** table = new Entry*[static_cast<std::size_t>(next)]();
    for (int32_t i = 0; i < m_buckets; ++i) {
      for (Entry* e = m_table[i]; e != nullptr;) {
        Entry* following = e->next;
        const uint32_t chain = chain_of(e->key, next);
        e->next = nullptr;
        if (tails[chain] == nullptr) {
          table[chain] = e;
        } else {
          tails[chain]->next = e;
        }
        tails[chain] = e;
        e = following;
      }
    }
    delete[] m_table;
    m_table = table;
    m_buckets = next;
    m_threshold = threshold_for(next);
  }

  int32_t m_count = 0;
  int32_t m_buckets = 0;
  int32_t m_threshold = 0;
  int32_t m_chainFactor = kChainFactor;
  float m_growth;
  Entry** m_table = nullptr;
};

// ---- Interned texts

// A pool of texts in which equal texts have one copy: two interned texts are
// equal exactly when their pointers are. Pointers stay valid for the life of
// the pool. Interning and finding take expected constant time.
class kv_interned_texts {
 public:
  kv_interned_texts() = default;
  kv_interned_texts(const kv_interned_texts&) = delete;
  kv_interned_texts& operator=(const kv_interned_texts&) = delete;

  // The pool's NUL-terminated copy of text, added when it is new.
  const char16_t* intern(std::u16string_view text);
  // The pool's copy of text, or null when the pool does not hold it; never
  // adds anything.
  const char16_t* find(std::u16string_view text) const;
  std::size_t size() const { return m_index.size(); }

 private:
  std::deque<std::u16string> m_texts;  // a deque never moves its elements
  std::unordered_set<std::u16string_view> m_index;
};

#endif  // KVSTORE_DRIVERS_KV_PDT_LISTS_H_
