// Copyright the kvstore authors.
#include "platform/compound_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "platform/codepage.h"
#include "toolkit/byte_order.h"

namespace {

constexpr uint32_t kNone = 0xFFFFFFFF;  // no element
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFreeSect = 0xFFFFFFFF;
constexpr uint32_t kFatSect = 0xFFFFFFFD;
constexpr uint32_t kDifSect = 0xFFFFFFFC;
constexpr uint32_t kNoStream = 0xFFFFFFFF;

constexpr uint64_t kSector = 512;
constexpr uint64_t kMiniSector = 64;
constexpr uint32_t kCutoff = 4096;
constexpr uint32_t kHeaderDifatSlots = 109;
constexpr uint32_t kDifatSlotsPerSector = 127;
constexpr uint32_t kEntriesPerSector = 128;  // FAT and mini FAT entries
constexpr uint32_t kDirEntry = 128;
constexpr uint64_t kMaxReadSize = uint64_t{1} << 31;

constexpr uint8_t kTypeStorage = 1;
constexpr uint8_t kTypeStream = 2;
constexpr uint8_t kTypeRoot = 5;
constexpr uint8_t kRed = 0;
constexpr uint8_t kBlack = 1;

constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// A storage with more children than this gets a hash index for lookups by
// name; smaller ones are scanned.
constexpr std::size_t kScanLimit = 16;
// The most elements a document holds over its life: a directory of more
// entries would not fit the largest file.
constexpr std::size_t kMaxElements = kCfbMaxFileSize / kDirEntry;

uint64_t ceil_div(uint64_t a, uint64_t b) {
  return (a + b - 1) / b;
}

// DIFAT sectors that a FAT of f sectors needs.
uint64_t difat_sectors(uint64_t f) {
  return f <= kHeaderDifatSlots ? 0 : ceil_div(f - kHeaderDifatSlots, kDifatSlotsPerSector);
}

// The key under which a storage's name index keeps a name: its units upper-cased.
std::u16string name_key(std::u16string_view name) {
  std::u16string key(name);
  for (char16_t& unit : key) unit = kv_cfb_upper(unit);
  return key;
}

std::string native_path(const char16_t* path) {
  return kv_u16_to_utf8(path);
}

}  // namespace

const char* kv_cfb_error_name(kv_cfb_error error) {
  switch (error) {
    case kv_cfb_error::none:
      return "none";
    case kv_cfb_error::io:
      return "io";
    case kv_cfb_error::locked:
      return "locked";
    case kv_cfb_error::not_compound:
      return "not_compound";
    case kv_cfb_error::unsupported:
      return "unsupported";
    case kv_cfb_error::too_large:
      return "too_large";
    case kv_cfb_error::truncated:
      return "truncated";
    case kv_cfb_error::bad_header:
      return "bad_header";
    case kv_cfb_error::bad_chain:
      return "bad_chain";
    case kv_cfb_error::bad_directory:
      return "bad_directory";
    case kv_cfb_error::bad_name:
      return "bad_name";
    case kv_cfb_error::duplicate_name:
      return "duplicate_name";
    case kv_cfb_error::bad_stream:
      return "bad_stream";
    case kv_cfb_error::not_found:
      return "not_found";
  }
  return "unknown";
}

// ---- The in-memory model.

struct kv_compound_file::Element {
  std::u16string name;
  kv_cfb_kind kind = kv_cfb_kind::storage;
  bool sorted = true;     // a storage's children are in name order
  bool in_arena = false;  // a stream's bytes are m_arena[offset, offset + size)
  uint32_t slot = 0;      // the position in the parent's children
  // A storage's children (element ids), and, for a wide storage, the index
  // from name key to child.
  std::vector<uint32_t> children;
  std::unique_ptr<std::unordered_map<std::u16string, uint32_t>> index;
  // A stream's bytes: in the arena of an opened document, or its own.
  uint32_t offset = 0;
  uint32_t size = 0;
  std::string bytes;

  uint64_t stream_size() const { return in_arena ? size : bytes.size(); }
};

kv_compound_file::kv_compound_file() {
  element(new_element()).name = u"Root Entry";
}

kv_compound_file::~kv_compound_file() {
  try {
    close();
  } catch (...) {
    // Out of memory while laying out the file: the file keeps what the last
    // commit wrote.
  }
  if (m_fd >= 0) ::close(m_fd);
}

kv_compound_file::Element& kv_compound_file::element(uint32_t id) {
  return m_chunks[id >> kChunkShift][id & ((1u << kChunkShift) - 1)];
}

const kv_compound_file::Element& kv_compound_file::element(uint32_t id) const {
  return m_chunks[id >> kChunkShift][id & ((1u << kChunkShift) - 1)];
}

uint32_t kv_compound_file::new_element() {
  if (m_count == m_chunks.size() << kChunkShift) {
    m_chunks.push_back(std::make_unique<Element[]>(std::size_t{1} << kChunkShift));
  }
  return static_cast<uint32_t>(m_count++);
}

bool kv_compound_file::fail(kv_cfb_error error, const char* detail, int os_error) {
  m_status.error = error;
  m_status.detail = detail;
  m_status.os_error = os_error;
  return false;
}

uint32_t kv_compound_file::find_child(uint32_t storage, std::u16string_view name) {
  Element& s = element(storage);
  if (s.index == nullptr && s.children.size() <= kScanLimit) {
    for (uint32_t id : s.children) {
      if (kv_cfb_compare_names(element(id).name, name) == 0) return id;
    }
    return kNone;
  }
  if (s.index == nullptr) {
    auto index = std::make_unique<std::unordered_map<std::u16string, uint32_t>>();
    index->reserve(s.children.size() * 2);
    for (uint32_t id : s.children) index->emplace(name_key(element(id).name), id);
    s.index = std::move(index);
  }
  auto found = s.index->find(name_key(name));
  return found == s.index->end() ? kNone : found->second;
}

uint32_t kv_compound_file::add_child(uint32_t storage, std::u16string_view name, kv_cfb_kind kind) {
  if (m_count >= kMaxElements) {
    fail(kv_cfb_error::too_large, "more elements than a file can hold");
    return kNone;
  }
  const uint32_t existing = find_child(storage, name);
  const uint32_t id = new_element();
  Element& e = element(id);
  e.name.assign(name);
  e.kind = kind;
  Element& s = element(storage);
  if (existing != kNone) {
    // The new element takes the old one's place; the old one, detached,
    // lets go of what it held.
    Element& old = element(existing);
    e.slot = old.slot;
    s.children[old.slot] = id;
    if (s.index != nullptr) (*s.index)[name_key(name)] = id;
    old.children = {};
    old.index.reset();
    old.bytes = {};
    old.in_arena = false;
  } else {
    e.slot = static_cast<uint32_t>(s.children.size());
    if (s.sorted && !s.children.empty()) {
      s.sorted = kv_cfb_compare_names(element(s.children.back()).name, name) < 0;
    }
    s.children.push_back(id);
    if (s.index != nullptr) s.index->emplace(name_key(name), id);
  }
  m_dirty = true;
  return id;
}

void kv_compound_file::sort_children(uint32_t storage) {
  Element& s = element(storage);
  if (s.sorted) return;
  std::sort(s.children.begin(), s.children.end(), [this](uint32_t a, uint32_t b) {
    return kv_cfb_compare_names(element(a).name, element(b).name) < 0;
  });
  for (std::size_t i = 0; i < s.children.size(); ++i) {
    element(s.children[i]).slot = static_cast<uint32_t>(i);
  }
  s.sorted = true;
}

// ---- Handles.

uint64_t kv_cfb_stream::size() const {
  return m_doc == nullptr ? 0 : m_doc->element(m_id).stream_size();
}

std::size_t kv_cfb_stream::read(void* out, std::size_t n) {
  if (m_doc == nullptr) return 0;
  const kv_compound_file::Element& e = m_doc->element(m_id);
  const uint64_t size = e.stream_size();
  if (m_pos >= size) return 0;
  const std::size_t count = static_cast<std::size_t>(std::min<uint64_t>(n, size - m_pos));
  const char* from = e.in_arena ? m_doc->m_arena.data() + e.offset + m_pos : e.bytes.data() + m_pos;
  std::memcpy(out, from, count);
  m_pos += count;
  return count;
}

bool kv_cfb_stream::write(const void* data, std::size_t n) {
  if (m_doc == nullptr) return false;
  kv_compound_file::Element& e = m_doc->element(m_id);
  if (m_pos > kCfbMaxFileSize || n > kCfbMaxFileSize - m_pos) {
    return m_doc->fail(kv_cfb_error::too_large, "a stream beyond the largest file");
  }
  if (e.in_arena) {
    e.bytes.assign(m_doc->m_arena.data() + e.offset, e.size);
    e.in_arena = false;
  }
  const uint64_t end = m_pos + n;
  if (end > e.bytes.size()) e.bytes.resize(static_cast<std::size_t>(end));
  if (n != 0) std::memcpy(&e.bytes[static_cast<std::size_t>(m_pos)], data, n);
  m_pos = end;
  m_doc->m_dirty = true;
  return true;
}

kv_cfb_stream kv_cfb_storage::create_stream(std::u16string_view name) {
  if (m_doc == nullptr) return {};
  if (!kv_cfb_valid_name(name)) {
    m_doc->fail(kv_cfb_error::bad_name, "not a valid element name");
    return {};
  }
  const uint32_t id = m_doc->add_child(m_id, name, kv_cfb_kind::stream);
  return id == kNone ? kv_cfb_stream() : kv_cfb_stream(m_doc, id);
}

kv_cfb_storage kv_cfb_storage::create_storage(std::u16string_view name) {
  if (m_doc == nullptr) return {};
  if (!kv_cfb_valid_name(name)) {
    m_doc->fail(kv_cfb_error::bad_name, "not a valid element name");
    return {};
  }
  const uint32_t id = m_doc->add_child(m_id, name, kv_cfb_kind::storage);
  return id == kNone ? kv_cfb_storage() : kv_cfb_storage(m_doc, id);
}

kv_cfb_stream kv_cfb_storage::open_stream(std::u16string_view name) const {
  if (m_doc == nullptr) return {};
  const uint32_t id = m_doc->find_child(m_id, name);
  if (id == kNone || m_doc->element(id).kind != kv_cfb_kind::stream) {
    m_doc->fail(kv_cfb_error::not_found, "no stream of that name");
    return {};
  }
  return kv_cfb_stream(m_doc, id);
}

kv_cfb_storage kv_cfb_storage::open_storage(std::u16string_view name) const {
  if (m_doc == nullptr) return {};
  const uint32_t id = m_doc->find_child(m_id, name);
  if (id == kNone || m_doc->element(id).kind != kv_cfb_kind::storage) {
    m_doc->fail(kv_cfb_error::not_found, "no storage of that name");
    return {};
  }
  return kv_cfb_storage(m_doc, id);
}

std::size_t kv_cfb_storage::child_count() const {
  return m_doc == nullptr ? 0 : m_doc->element(m_id).children.size();
}

kv_cfb_storage kv_cfb_entry::storage() const {
  if (m_doc == nullptr || kind != kv_cfb_kind::storage) return {};
  return kv_cfb_storage(m_doc, m_id);
}

kv_cfb_stream kv_cfb_entry::stream() const {
  if (m_doc == nullptr || kind != kv_cfb_kind::stream) return {};
  return kv_cfb_stream(m_doc, m_id);
}

kv_cfb_enumerator::kv_cfb_enumerator(const kv_cfb_storage& storage)
    : m_doc(storage.m_doc), m_id(storage.m_id) {
  if (m_doc != nullptr) m_doc->sort_children(m_id);
}

bool kv_cfb_enumerator::next(kv_cfb_entry& entry) {
  if (m_doc == nullptr) return false;
  const kv_compound_file::Element& s = m_doc->element(m_id);
  if (m_pos >= s.children.size()) return false;
  const uint32_t id = s.children[m_pos++];
  const kv_compound_file::Element& e = m_doc->element(id);
  entry.name = e.name;
  entry.kind = e.kind;
  entry.size = e.kind == kv_cfb_kind::stream ? e.stream_size() : 0;
  entry.m_doc = m_doc;
  entry.m_id = id;
  return true;
}

// ---- Reading: every check before a byte is trusted.

class kv_compound_file::Parser {
 public:
  Parser(kv_compound_file& doc, const uint8_t* data, uint64_t size)
      : m_doc(doc), m_data(data), m_len(size) {}

  bool run();

 private:
  bool fail(kv_cfb_error error, const char* detail) { return m_doc.fail(error, detail); }
  uint64_t offset(uint32_t sector) const { return (uint64_t{sector} + 1) * kSector; }
  // Whether the whole of sector lies within the file.
  bool whole(uint32_t sector) const { return offset(sector) + kSector <= m_len; }
  uint32_t at32(uint64_t off) const { return get_le32(m_data + off); }
  // Follows a chain through table[0, limit), marking each sector in used;
  // a sector out of range (markers included) or reached before is an error.
  // Appends the sectors to out. Ends within limit steps. A sector that the
  // table would describe (below described) but that lies past the end of
  // the file counts as truncation.
  bool walk(const std::vector<uint32_t>& table, std::size_t limit, uint64_t described,
            uint32_t start, std::vector<uint8_t>& used, std::vector<uint32_t>& out,
            const char* what);
  // A chain of regular sectors.
  bool walk_fat(uint32_t start, std::vector<uint32_t>& out, const char* what) {
    return walk(m_fat, m_fat.size(), uint64_t{m_fatCount} * kEntriesPerSector, start, m_used, out,
                what);
  }
  bool read_header();
  bool read_fat();
  bool read_directory();
  bool read_mini_fat();
  bool read_tree();
  bool read_streams();

  kv_compound_file& m_doc;
  const uint8_t* m_data;
  uint64_t m_len;
  uint32_t m_sectors = 0;  // sectors in the file; a partial last one counts
  uint32_t m_fatCount = 0;
  std::vector<uint8_t> m_used;      // regular sectors reached
  std::vector<uint8_t> m_miniUsed;  // mini sectors reached
  std::vector<uint32_t> m_fat;
  std::vector<uint32_t> m_miniFat;
  std::size_t m_miniLimit = 0;          // mini FAT entries that the mini stream covers
  std::vector<uint32_t> m_dirSectors;   // the directory chain
  std::vector<uint32_t> m_miniSectors;  // the mini stream's chain
  uint32_t m_miniSize = 0;              // the root's size: the mini stream's length
  std::size_t m_entries = 0;
  struct PendingStream {
    uint32_t element;
    uint32_t start;
    uint32_t size;
  };
  std::vector<PendingStream> m_streams;
  std::vector<uint32_t> m_chain;  // scratch

  void append(uint64_t from, uint32_t n) {
    std::vector<char>& arena = m_doc.m_arena;
    const std::size_t at = arena.size();
    arena.resize(at + n);
    std::memcpy(arena.data() + at, m_data + from, n);
  }
};

bool kv_compound_file::Parser::walk(const std::vector<uint32_t>& table, std::size_t limit,
                                    uint64_t described, uint32_t start, std::vector<uint8_t>& used,
                                    std::vector<uint32_t>& out, const char* what) {
  uint32_t s = start;
  while (s != kEndOfChain) {
    if (s >= limit) {
      return fail(s < described ? kv_cfb_error::truncated : kv_cfb_error::bad_chain, what);
    }
    if (used[s] != 0) return fail(kv_cfb_error::bad_chain, what);
    used[s] = 1;
    out.push_back(s);
    s = table[s];
  }
  return true;
}

bool kv_compound_file::Parser::read_header() {
  if (m_len < kSector || std::memcmp(m_data, kSignature, sizeof(kSignature)) != 0) {
    return fail(kv_cfb_error::not_compound, "no compound-file header");
  }
  if (get_le16(m_data + 0x1A) != 3) return fail(kv_cfb_error::unsupported, "major version");
  if (get_le16(m_data + 0x1C) != 0xFFFE) return fail(kv_cfb_error::unsupported, "byte order");
  if (get_le16(m_data + 0x1E) != 9) return fail(kv_cfb_error::unsupported, "sector size");
  if (get_le16(m_data + 0x20) != 6) return fail(kv_cfb_error::unsupported, "mini sector size");
  if (at32(0x38) != kCutoff) return fail(kv_cfb_error::unsupported, "mini stream cutoff");
  if (m_len > kMaxReadSize) return fail(kv_cfb_error::too_large, "a file beyond 2 GiB");
  m_sectors = static_cast<uint32_t>(ceil_div(m_len - kSector, kSector));
  return true;
}

bool kv_compound_file::Parser::read_fat() {
  m_fatCount = at32(0x2C);
  if (m_fatCount == 0 || m_fatCount > m_sectors) {
    return fail(kv_cfb_error::bad_header, "FAT sector count");
  }
  if (at32(0x48) != difat_sectors(m_fatCount)) {
    return fail(kv_cfb_error::bad_header, "DIFAT sector count");
  }
  m_used.assign(m_sectors, 0);
  std::vector<uint32_t> fatSectors;
  fatSectors.reserve(m_fatCount);
  for (uint32_t i = 0; i < m_fatCount && i < kHeaderDifatSlots; ++i) {
    fatSectors.push_back(at32(0x4C + 4 * uint64_t{i}));
  }
  uint32_t s = at32(0x44);
  const uint64_t difat = difat_sectors(m_fatCount);
  for (uint64_t k = 0; k < difat; ++k) {
    if (s >= m_sectors || m_used[s] != 0) return fail(kv_cfb_error::bad_header, "DIFAT sector");
    if (!whole(s)) return fail(kv_cfb_error::truncated, "DIFAT sector incomplete");
    m_used[s] = 1;
    const uint64_t base = offset(s);
    for (uint32_t j = 0; j < kDifatSlotsPerSector && fatSectors.size() < m_fatCount; ++j) {
      fatSectors.push_back(at32(base + 4 * uint64_t{j}));
    }
    s = at32(base + 4 * kDifatSlotsPerSector);
  }
  for (uint32_t f : fatSectors) {
    if (f >= m_sectors || m_used[f] != 0) return fail(kv_cfb_error::bad_header, "FAT sector");
    if (!whole(f)) return fail(kv_cfb_error::truncated, "FAT sector incomplete");
    m_used[f] = 1;
  }
  // Entries for sectors past the end of the file are ignored.
  const std::size_t entries =
      std::min<uint64_t>(uint64_t{m_fatCount} * kEntriesPerSector, m_sectors);
  m_fat.resize(entries);
  for (std::size_t i = 0; i < entries; ++i) {
    m_fat[i] = at32(offset(fatSectors[i / kEntriesPerSector]) + 4 * (i % kEntriesPerSector));
  }
  return true;
}

bool kv_compound_file::Parser::read_directory() {
  if (!walk_fat(at32(0x30), m_dirSectors, "directory chain")) {
    return false;
  }
  if (m_dirSectors.empty()) return fail(kv_cfb_error::bad_directory, "no directory");
  for (uint32_t s : m_dirSectors) {
    if (!whole(s)) return fail(kv_cfb_error::truncated, "directory sector incomplete");
  }
  m_entries = m_dirSectors.size() * (kSector / kDirEntry);
  if (m_data[offset(m_dirSectors[0]) + 0x42] != kTypeRoot) {
    return fail(kv_cfb_error::bad_directory, "no root entry");
  }
  return true;
}

bool kv_compound_file::Parser::read_mini_fat() {
  const uint32_t start = at32(0x3C);
  if (start != kEndOfChain && start != kFreeSect) {
    std::vector<uint32_t> sectors;
    if (!walk_fat(start, sectors, "mini FAT chain")) return false;
    m_miniFat.reserve(sectors.size() * kEntriesPerSector);
    for (uint32_t s : sectors) {
      if (!whole(s)) return fail(kv_cfb_error::truncated, "mini FAT sector incomplete");
      for (uint32_t i = 0; i < kEntriesPerSector; ++i) m_miniFat.push_back(at32(offset(s) + 4 * i));
    }
  }
  const uint64_t root = offset(m_dirSectors[0]);
  m_miniSize = at32(root + 0x78);
  if (m_miniSize > 0) {
    if (!walk_fat(at32(root + 0x74), m_miniSectors, "mini stream chain")) {
      return false;
    }
    if (m_miniSectors.size() * kSector < m_miniSize) {
      return fail(kv_cfb_error::bad_stream, "mini stream shorter than the root's size");
    }
  }
  m_miniLimit = std::min<uint64_t>(m_miniFat.size(), ceil_div(m_miniSize, kMiniSector));
  m_miniUsed.assign(m_miniLimit, 0);
  return true;
}

bool kv_compound_file::Parser::read_tree() {
  auto entry_at = [this](std::size_t k) {
    return m_data + offset(m_dirSectors[k / 4]) + (k % 4) * kDirEntry;
  };
  std::vector<uint8_t> visited(m_entries, 0);
  visited[0] = 1;
  struct Pending {
    uint32_t entry;
    uint32_t parent;
  };
  std::vector<Pending> stack;
  stack.push_back({get_le32(entry_at(0) + 0x4C), 0});
  while (!stack.empty()) {
    const Pending p = stack.back();
    stack.pop_back();
    if (p.entry == kNoStream) continue;
    if (p.entry >= m_entries) return fail(kv_cfb_error::bad_directory, "entry id out of range");
    if (visited[p.entry] != 0) return fail(kv_cfb_error::bad_directory, "entry reached twice");
    visited[p.entry] = 1;
    const uint8_t* e = entry_at(p.entry);
    const uint8_t type = e[0x42];
    if (type != kTypeStorage && type != kTypeStream) {
      return fail(kv_cfb_error::bad_directory, "an entry that is neither storage nor stream");
    }
    const uint16_t length = get_le16(e + 0x40);
    if (length % 2 != 0 || length < 4 || length > 64) {
      return fail(kv_cfb_error::bad_name, "name length");
    }
    std::u16string name(length / 2 - 1, u'\0');
    for (std::size_t i = 0; i < name.size(); ++i) name[i] = get_le16(e + 2 * i);
    if (!kv_cfb_valid_name(name)) return fail(kv_cfb_error::bad_name, "a forbidden unit in a name");
    const uint32_t child = get_le32(e + 0x4C);
    if (type == kTypeStream && child != kNoStream) {
      return fail(kv_cfb_error::bad_directory, "a stream with children");
    }

    const uint32_t id = m_doc.new_element();
    Element& element = m_doc.element(id);
    element.name = std::move(name);
    element.kind = type == kTypeStorage ? kv_cfb_kind::storage : kv_cfb_kind::stream;
    Element& parent = m_doc.element(p.parent);
    element.slot = static_cast<uint32_t>(parent.children.size());
    parent.children.push_back(id);
    parent.sorted = false;
    // Only real links go on the stack, so it never holds more than twice
    // the entries.
    for (const uint32_t sibling : {get_le32(e + 0x44), get_le32(e + 0x48)}) {
      if (sibling != kNoStream) stack.push_back({sibling, p.parent});
    }
    if (type == kTypeStorage) {
      if (child != kNoStream) stack.push_back({child, id});
    } else {
      m_streams.push_back({id, get_le32(e + 0x74), get_le32(e + 0x78)});
    }
  }
  // Sorted, equal names are neighbours.
  for (uint32_t id = 0; id < m_doc.element_count(); ++id) {
    if (m_doc.element(id).kind != kv_cfb_kind::storage) continue;
    m_doc.sort_children(id);
    const std::vector<uint32_t>& children = m_doc.element(id).children;
    for (std::size_t i = 1; i < children.size(); ++i) {
      if (kv_cfb_compare_names(m_doc.element(children[i - 1]).name,
                               m_doc.element(children[i]).name) == 0) {
        return fail(kv_cfb_error::duplicate_name, "two children of one storage with equal names");
      }
    }
  }
  return true;
}

bool kv_compound_file::Parser::read_streams() {
  // Every byte that is copied lies in a sector that no other chain has, so
  // the arena never outgrows the file.
  uint64_t claimed = 0;
  for (const PendingStream& s : m_streams) claimed += s.size;
  m_doc.m_arena.reserve(static_cast<std::size_t>(std::min<uint64_t>(claimed, m_len)));
  for (const PendingStream& s : m_streams) {
    Element& e = m_doc.element(s.element);
    e.in_arena = true;
    e.offset = static_cast<uint32_t>(m_doc.m_arena.size());
    e.size = s.size;
    if (s.size == 0) continue;
    m_chain.clear();
    if (s.size < kCutoff) {
      if (!walk(m_miniFat, m_miniLimit, m_miniLimit, s.start, m_miniUsed, m_chain, "mini chain"))
        return false;
      if (m_chain.size() < ceil_div(s.size, kMiniSector)) {
        return fail(kv_cfb_error::bad_stream, "mini chain shorter than its stream");
      }
      uint32_t left = s.size;
      for (std::size_t k = 0; left > 0; ++k) {
        const uint64_t at = m_chain[k] * kMiniSector;
        const uint32_t n = std::min<uint32_t>(left, kMiniSector);
        if (at + n > m_miniSize) {
          return fail(kv_cfb_error::bad_stream, "mini sector beyond the mini stream");
        }
        const uint64_t from = offset(m_miniSectors[at / kSector]) + at % kSector;
        if (from + n > m_len) return fail(kv_cfb_error::truncated, "mini sector missing");
        append(from, n);
        left -= n;
      }
    } else {
      if (s.size > uint64_t{m_sectors} * kSector) {
        return fail(kv_cfb_error::bad_stream, "a stream larger than the file");
      }
      if (!walk_fat(s.start, m_chain, "stream chain")) return false;
      if (m_chain.size() < ceil_div(s.size, kSector)) {
        return fail(kv_cfb_error::bad_stream, "chain shorter than its stream");
      }
      uint32_t left = s.size;
      for (std::size_t k = 0; left > 0; ++k) {
        const uint32_t n = std::min<uint32_t>(left, kSector);
        const uint64_t from = offset(m_chain[k]);
        if (from + n > m_len) return fail(kv_cfb_error::truncated, "stream sector missing");
        append(from, n);
        left -= n;
      }
    }
  }
  return true;
}

bool kv_compound_file::Parser::run() {
  return read_header() && read_fat() && read_directory() && read_mini_fat() && read_tree() &&
         read_streams();
}

// ---- Writing.

// Where the writer's bytes go, in order from the start of the file.
class kv_compound_file::Sink {
 public:
  virtual ~Sink() = default;
  // False when the bytes could not be taken; later calls are then ignored.
  virtual bool put(const void* data, std::size_t n) = 0;
  bool fill(uint8_t byte, std::size_t n) {
    uint8_t block[kSector];
    std::memset(block, byte, sizeof(block));
    for (; n > sizeof(block); n -= sizeof(block)) {
      if (!put(block, sizeof(block))) return false;
    }
    return put(block, n);
  }
};

namespace {

class StringSink : public kv_compound_file::Sink {
 public:
  explicit StringSink(std::string& out) : m_out(out) {}
  bool put(const void* data, std::size_t n) override {
    m_out.append(static_cast<const char*>(data), n);
    return true;
  }

 private:
  std::string& m_out;
};

// Writes a descriptor from offset 0 on, through a buffer of 1 MiB, so that
// the file never needs to exist whole in memory.
class FileSink : public kv_compound_file::Sink {
 public:
  explicit FileSink(int fd) : m_fd(fd), m_buffer(new char[kBuffer]) {}
  bool put(const void* data, std::size_t n) override {
    const char* p = static_cast<const char*>(data);
    while (n > 0 && m_error == 0) {
      const std::size_t room = kBuffer - m_used;
      const std::size_t take = n < room ? n : room;
      std::memcpy(m_buffer.get() + m_used, p, take);
      m_used += take;
      p += take;
      n -= take;
      if (m_used == kBuffer) flush();
    }
    return m_error == 0;
  }
  // Writes what is buffered; returns 0 or the errno of the first failure.
  int flush() {
    std::size_t done = 0;
    while (done < m_used && m_error == 0) {
      const ssize_t n =
          ::pwrite(m_fd, m_buffer.get() + done, m_used - done, static_cast<off_t>(m_offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) m_error = n < 0 ? errno : ENOSPC;
      if (n > 0) done += static_cast<std::size_t>(n);
    }
    m_offset += done;
    m_used = 0;
    return m_error;
  }

 private:
  static constexpr std::size_t kBuffer = std::size_t{1} << 20;
  int m_fd;
  std::unique_ptr<char[]> m_buffer;
  std::size_t m_used = 0;
  uint64_t m_offset = 0;
  int m_error = 0;
};

}  // namespace

class kv_compound_file::Writer {
 public:
  explicit Writer(kv_compound_file& doc) : m_doc(doc) {}
  // Lays the file out; false (status too_large) when it would pass the limit.
  bool plan();
  uint64_t file_size() const { return (m_total + 1) * kSector; }
  // Hands the file's bytes to sink in order; false when the sink refused.
  bool emit(Sink& sink);

 private:
  // The sibling tree of children[lo, hi) at depth; returns its top entry.
  uint32_t build(const std::vector<uint32_t>& children, std::size_t lo, std::size_t hi,
                 unsigned depth, unsigned filled);
  const Element& at(std::size_t dirId) const { return m_doc.element(m_order[dirId]); }
  const char* data_of(const Element& e) const {
    return e.in_arena ? m_doc.m_arena.data() + e.offset : e.bytes.data();
  }

  kv_compound_file& m_doc;
  std::vector<uint32_t> m_order;  // directory id -> element
  std::vector<uint32_t> m_dirId;  // element -> directory id
  std::vector<uint32_t> m_left, m_right, m_child;
  std::vector<uint8_t> m_colour;
  std::vector<uint32_t> m_start;  // a stream's first sector or mini sector
  uint64_t m_miniSectors = 0, m_fat = 0, m_difat = 0, m_dirSectors = 0, m_miniFatSectors = 0,
           m_ministreamSectors = 0, m_total = 0;
  uint32_t m_dir0 = 0, m_miniFat0 = 0, m_ministream0 = 0;
  std::vector<uint32_t> m_fatEntries;  // 128 per FAT sector
};

uint32_t kv_compound_file::Writer::build(const std::vector<uint32_t>& children, std::size_t lo,
                                         std::size_t hi, unsigned depth, unsigned filled) {
  // The depth is at most log2 of the child count: this recursion stays shallow.
  if (lo >= hi) return kNoStream;
  const std::size_t m = lo + (hi - lo) / 2;
  const uint32_t id = m_dirId[children[m]];
  m_left[id] = build(children, lo, m, depth + 1, filled);
  m_right[id] = build(children, m + 1, hi, depth + 1, filled);
  m_colour[id] = depth < filled ? kBlack : kRed;
  return id;
}

bool kv_compound_file::Writer::plan() {
  // Directory ids: the root, then depth first, each storage's children in
  // name order, a child numbered before its own children.
  m_dirId.assign(m_doc.element_count(), kNone);
  std::vector<uint32_t> stack{0};
  while (!stack.empty()) {
    const uint32_t e = stack.back();
    stack.pop_back();
    m_dirId[e] = static_cast<uint32_t>(m_order.size());
    m_order.push_back(e);
    if (m_doc.element(e).kind == kv_cfb_kind::storage) {
      m_doc.sort_children(e);
      const std::vector<uint32_t>& children = m_doc.element(e).children;
      stack.insert(stack.end(), children.rbegin(), children.rend());
    }
  }
  const std::size_t entries = m_order.size();
  m_left.assign(entries, kNoStream);
  m_right.assign(entries, kNoStream);
  m_child.assign(entries, kNoStream);
  m_colour.assign(entries, kBlack);
  m_start.assign(entries, kEndOfChain);
  for (std::size_t d = 0; d < entries; ++d) {
    const Element& e = at(d);
    if (e.kind != kv_cfb_kind::storage || e.children.empty()) continue;
    unsigned filled = 0;  // floor(log2(n + 1)): the levels that are full
    while ((uint64_t{2} << filled) - 1 <= e.children.size()) ++filled;
    m_child[d] = build(e.children, 0, e.children.size(), 0, filled);
  }

  // Sector counts, then the layout: FAT, DIFAT, directory, mini FAT, mini
  // stream, large streams.
  uint64_t largeSectors = 0;
  for (std::size_t d = 1; d < entries; ++d) {
    const Element& e = at(d);
    if (e.kind != kv_cfb_kind::stream) continue;
    const uint64_t size = e.stream_size();
    if (size == 0) continue;
    if (size < kCutoff) {
      m_start[d] = static_cast<uint32_t>(m_miniSectors);
      m_miniSectors += ceil_div(size, kMiniSector);
    } else {
      largeSectors += ceil_div(size, kSector);
    }
    // Past this, the file is too large whatever the rest holds.
    if (m_miniSectors * kMiniSector + largeSectors * kSector > kCfbMaxFileSize) {
      return m_doc.fail(kv_cfb_error::too_large, "a file beyond the size limit");
    }
  }
  m_dirSectors = ceil_div(entries, kSector / kDirEntry);
  m_miniFatSectors = ceil_div(m_miniSectors, kEntriesPerSector);
  m_ministreamSectors = ceil_div(m_miniSectors * kMiniSector, kSector);
  const uint64_t n = m_dirSectors + m_miniFatSectors + m_ministreamSectors + largeSectors;
  m_fat = 1;
  while (kEntriesPerSector * m_fat < n + m_fat + difat_sectors(m_fat)) ++m_fat;
  m_difat = difat_sectors(m_fat);
  m_total = m_fat + m_difat + n;
  if (file_size() > kCfbMaxFileSize) {
    return m_doc.fail(kv_cfb_error::too_large, "a file beyond the size limit");
  }
  m_dir0 = static_cast<uint32_t>(m_fat + m_difat);
  m_miniFat0 = static_cast<uint32_t>(m_dir0 + m_dirSectors);
  m_ministream0 = static_cast<uint32_t>(m_miniFat0 + m_miniFatSectors);

  // The FAT: its own sectors, the DIFAT's, and a chain for every group and
  // every large stream; the rest free.
  m_fatEntries.assign(static_cast<std::size_t>(m_fat * kEntriesPerSector), kFreeSect);
  auto chain = [this](uint64_t first, uint64_t count) {
    for (uint64_t i = 0; i < count; ++i) {
      m_fatEntries[first + i] = i + 1 < count ? static_cast<uint32_t>(first + i + 1) : kEndOfChain;
    }
  };
  for (uint64_t s = 0; s < m_fat; ++s) m_fatEntries[s] = kFatSect;
  for (uint64_t s = m_fat; s < m_fat + m_difat; ++s) m_fatEntries[s] = kDifSect;
  chain(m_dir0, m_dirSectors);
  chain(m_miniFat0, m_miniFatSectors);
  chain(m_ministream0, m_ministreamSectors);
  auto large = static_cast<uint32_t>(m_ministream0 + m_ministreamSectors);
  for (std::size_t d = 1; d < entries; ++d) {
    const Element& e = at(d);
    if (e.kind != kv_cfb_kind::stream || e.stream_size() < kCutoff) continue;
    const uint64_t count = ceil_div(e.stream_size(), kSector);
    m_start[d] = large;
    chain(large, count);
    large += static_cast<uint32_t>(count);
  }
  return true;
}

bool kv_compound_file::Writer::emit(Sink& sink) {
  uint8_t block[kSector];
  auto put_words = [&](const uint32_t* values, std::size_t count) {
    for (std::size_t done = 0; done < count;) {
      const std::size_t n = std::min<std::size_t>(count - done, kSector / 4);
      for (std::size_t i = 0; i < n; ++i) put_le32(block + 4 * i, values[done + i]);
      if (!sink.put(block, 4 * n)) return false;
      done += n;
    }
    return true;
  };

  // Header.
  std::memset(block, 0, sizeof(block));
  std::memcpy(block, kSignature, sizeof(kSignature));
  put_le16(block + 0x18, 0x003E);
  put_le16(block + 0x1A, 3);
  put_le16(block + 0x1C, 0xFFFE);
  put_le16(block + 0x1E, 9);
  put_le16(block + 0x20, 6);
  put_le32(block + 0x2C, static_cast<uint32_t>(m_fat));
  put_le32(block + 0x30, m_dir0);
  put_le32(block + 0x38, kCutoff);
  put_le32(block + 0x3C, m_miniSectors == 0 ? kEndOfChain : m_miniFat0);
  put_le32(block + 0x40, static_cast<uint32_t>(m_miniFatSectors));
  put_le32(block + 0x44, m_difat == 0 ? kEndOfChain : static_cast<uint32_t>(m_fat));
  put_le32(block + 0x48, static_cast<uint32_t>(m_difat));
  for (uint32_t i = 0; i < kHeaderDifatSlots; ++i) {
    put_le32(block + 0x4C + 4 * i, i < m_fat ? i : kFreeSect);
  }
  if (!sink.put(block, sizeof(block))) return false;

  // FAT and DIFAT.
  if (!put_words(m_fatEntries.data(), m_fatEntries.size())) return false;
  for (uint64_t k = 0; k < m_difat; ++k) {
    uint32_t numbers[kDifatSlotsPerSector + 1];
    for (uint32_t j = 0; j < kDifatSlotsPerSector; ++j) {
      const uint64_t f = kHeaderDifatSlots + kDifatSlotsPerSector * k + j;
      numbers[j] = f < m_fat ? static_cast<uint32_t>(f) : kFreeSect;
    }
    numbers[kDifatSlotsPerSector] =
        k + 1 < m_difat ? static_cast<uint32_t>(m_fat + k + 1) : kEndOfChain;
    if (!put_words(numbers, kDifatSlotsPerSector + 1)) return false;
  }

  // Directory: the entries in id order, then unused ones to fill the sector.
  const std::size_t entries = m_order.size();
  for (uint64_t d = 0; d < m_dirSectors * (kSector / kDirEntry); ++d) {
    uint8_t p[kDirEntry] = {};
    put_le32(p + 0x44, kNoStream);
    put_le32(p + 0x48, kNoStream);
    put_le32(p + 0x4C, kNoStream);
    if (d < entries) {
      const Element& e = at(d);
      const std::u16string_view name = d == 0 ? std::u16string_view(u"Root Entry") : e.name;
      for (std::size_t i = 0; i < name.size(); ++i) put_le16(p + 2 * i, name[i]);
      put_le16(p + 0x40, static_cast<uint16_t>(2 * (name.size() + 1)));
      p[0x43] = m_colour[d];
      put_le32(p + 0x44, m_left[d]);
      put_le32(p + 0x48, m_right[d]);
      put_le32(p + 0x4C, m_child[d]);
      if (d == 0) {
        p[0x42] = kTypeRoot;
        put_le32(p + 0x74, m_miniSectors == 0 ? kEndOfChain : m_ministream0);
        put_le32(p + 0x78, static_cast<uint32_t>(m_miniSectors * kMiniSector));
      } else if (e.kind == kv_cfb_kind::storage) {
        p[0x42] = kTypeStorage;
      } else {
        p[0x42] = kTypeStream;
        put_le32(p + 0x74, m_start[d]);
        put_le32(p + 0x78, static_cast<uint32_t>(e.stream_size()));
      }
    }
    if (!sink.put(p, sizeof(p))) return false;
  }

  // Mini FAT: each small stream's chain, one mini sector after the other.
  std::vector<uint32_t> miniFat;
  miniFat.reserve(static_cast<std::size_t>(m_miniFatSectors * kEntriesPerSector));
  for (std::size_t d = 1; d < entries; ++d) {
    const Element& e = at(d);
    const uint64_t size = e.kind == kv_cfb_kind::stream ? e.stream_size() : 0;
    if (size == 0 || size >= kCutoff) continue;
    const uint64_t count = ceil_div(size, kMiniSector);
    for (uint64_t i = 0; i < count; ++i) {
      miniFat.push_back(i + 1 < count ? static_cast<uint32_t>(m_start[d] + i + 1) : kEndOfChain);
    }
  }
  miniFat.resize(static_cast<std::size_t>(m_miniFatSectors * kEntriesPerSector), kFreeSect);
  if (!put_words(miniFat.data(), miniFat.size())) return false;

  // The mini stream, then the large streams, each stream padded with zeros.
  for (const bool small : {true, false}) {
    const uint64_t unit = small ? kMiniSector : kSector;
    uint64_t written = 0;
    for (std::size_t d = 1; d < entries; ++d) {
      const Element& e = at(d);
      const uint64_t size = e.kind == kv_cfb_kind::stream ? e.stream_size() : 0;
      if (size == 0 || (size < kCutoff) != small) continue;
      const uint64_t padded = ceil_div(size, unit) * unit;
      if (!sink.put(data_of(e), static_cast<std::size_t>(size)) ||
          !sink.fill(0, static_cast<std::size_t>(padded - size))) {
        return false;
      }
      written += padded;
    }
    if (small && !sink.fill(0, static_cast<std::size_t>(m_ministreamSectors * kSector - written))) {
      return false;
    }
  }
  return true;
}

bool kv_compound_file::serialize(std::string& out) {
  Writer writer(*this);
  if (!writer.plan()) return false;
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(writer.file_size()));
  StringSink sink(bytes);
  writer.emit(sink);
  out.swap(bytes);
  return true;
}

// ---- Files.

std::unique_ptr<kv_compound_file> kv_compound_file::create_in_memory() {
  return std::unique_ptr<kv_compound_file>(new kv_compound_file());
}

std::unique_ptr<kv_compound_file> kv_compound_file::create(const char16_t* path,
                                                           kv_cfb_status& status) {
  status = {};
  if (path == nullptr) {
    status = {kv_cfb_error::io, EINVAL, "no path"};
    return nullptr;
  }
  // The file is truncated only once the lock is held, so that a document
  // that another user holds is left as it is.
  const int fd = ::open(native_path(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    status = {kv_cfb_error::io, errno, "cannot create the file"};
    return nullptr;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    status = {kv_cfb_error::locked, errno, "the file is in use"};
    ::close(fd);
    return nullptr;
  }
  if (::ftruncate(fd, 0) != 0) {
    status = {kv_cfb_error::io, errno, "cannot truncate the file"};
    ::close(fd);
    return nullptr;
  }
  std::unique_ptr<kv_compound_file> doc(new kv_compound_file());
  doc->m_fd = fd;
  doc->m_writes = true;
  doc->m_dirty = true;
  return doc;
}

bool kv_compound_file::is_compound_file(const char16_t* path) {
  if (path == nullptr) return false;
  const int fd = ::open(native_path(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  unsigned char head[kSector];
  std::size_t got = 0;
  while (got < sizeof(head)) {
    const ssize_t n = ::read(fd, head + got, sizeof(head) - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return got == sizeof(head) && std::memcmp(head, kSignature, sizeof(kSignature)) == 0;
}

std::unique_ptr<kv_compound_file> kv_compound_file::open(const char16_t* path,
                                                         kv_cfb_status& status) {
  status = {};
  if (path == nullptr) {
    status = {kv_cfb_error::io, EINVAL, "no path"};
    return nullptr;
  }
  const int fd = ::open(native_path(path).c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    status = {kv_cfb_error::io, errno, "cannot open the file"};
    return nullptr;
  }
  auto give_up = [&](kv_cfb_status s) {
    status = s;
    ::close(fd);
    return nullptr;
  };
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    return give_up({kv_cfb_error::locked, errno, "the file is in use"});
  }
  struct stat info;
  if (::fstat(fd, &info) != 0) return give_up({kv_cfb_error::io, errno, "cannot stat the file"});
  if (!S_ISREG(info.st_mode)) return give_up({kv_cfb_error::not_compound, 0, "not a file"});
  if (static_cast<uint64_t>(info.st_size) > kMaxReadSize) {
    return give_up({kv_cfb_error::too_large, 0, "a file beyond 2 GiB"});
  }
  // The file is read whole; a file that shrinks meanwhile is parsed as far
  // as it was read.
  const auto size = static_cast<std::size_t>(info.st_size);
  std::unique_ptr<uint8_t[]> data(new uint8_t[size == 0 ? 1 : size]);
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, data.get() + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return give_up({kv_cfb_error::io, errno, "cannot read the file"});
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  std::unique_ptr<kv_compound_file> doc = parse(data.get(), got, status);
  if (doc == nullptr) {
    ::close(fd);
    return nullptr;
  }
  doc->m_fd = fd;
  return doc;
}

std::unique_ptr<kv_compound_file> kv_compound_file::parse(const void* data, std::size_t size,
                                                          kv_cfb_status& status) {
  std::unique_ptr<kv_compound_file> doc(new kv_compound_file());
  Parser parser(*doc, static_cast<const uint8_t*>(data), size);
  if (!parser.run()) {
    status = doc->m_status;
    return nullptr;
  }
  doc->m_dirty = false;
  status = {};
  return doc;
}

bool kv_compound_file::commit() {
  if (!m_writes || !m_dirty || m_fd < 0) return true;
  Writer writer(*this);
  if (!writer.plan()) return false;
  FileSink sink(m_fd);
  writer.emit(sink);
  if (const int error = sink.flush()) return fail(kv_cfb_error::io, "cannot write the file", error);
  if (::ftruncate(m_fd, static_cast<off_t>(writer.file_size())) != 0) {
    return fail(kv_cfb_error::io, "cannot set the file's length", errno);
  }
  m_dirty = false;
  return true;
}

bool kv_compound_file::close() {
  if (m_fd < 0) return true;
  bool ok = commit();
  // Closing the descriptor releases the lock.
  if (::close(m_fd) != 0 && ok) ok = fail(kv_cfb_error::io, "cannot close the file", errno);
  m_fd = -1;
  m_writes = false;
  return ok;
}
