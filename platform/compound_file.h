// Copyright the kvstore authors.
//
// Compound files: a small file system in one file, a tree of storages
// (folders) and streams (byte files), in the Compound File Binary format,
// version 3 (512-byte sectors, 64-byte mini sectors for streams under 4096
// bytes). The DOC format keeps a property tree in one; this is the library's
// own implementation of the container, and nothing of it is exported.
//
// Model. A kv_compound_file holds the whole hierarchy in memory. open() and
// parse() read and validate a file completely before anything is handed out;
// create() makes an empty document whose bytes are written to its file by
// commit() and, for changes made after the last commit, by close() (also
// from the destructor). A document that was opened is never written back.
// Handles (kv_cfb_storage, kv_cfb_stream, kv_cfb_entry) are small values
// that name an element of a document; they stay usable while the document
// object lives (after close() they still read and write the memory model).
//
// Names. 1 to 31 UTF-16 code units, none of them U+0000, "/", "\", ":" or
// "!". Names are compared as the format orders them: the shorter name is
// smaller; names of one length compare unit by unit after a simple upper-case
// mapping (kv_cfb_upper); names that compare equal ("Version", "VERSION") are
// the same element. Enumeration gives a storage's children in that order.
//
// Creating an element (create_stream, create_storage) replaces an element of
// an equal name in the same storage, whatever its kind, together with
// everything below it. Handles to a replaced element or to anything below it
// keep working on the detached copy, which is no longer part of the document.
//
// Reading trusts nothing in the file: sector chains are followed with a
// bitmap of visited sectors (cycles, cross-links and out-of-range numbers are
// errors), the directory tree is walked with an explicit stack and a bitmap of
// visited entries, names, types and sizes are checked against the file's
// length before a byte is touched or anything is allocated, and a truncated
// file fails at its first missing byte. Every check runs in open(), so a
// document that opened can be read to its end. Every operation is linear in
// the file's size, or n log n where children are sorted.
//
// Limits. Files of at most 2^31 bytes are read; a document whose file would
// be larger than 0x7FFFFE00 bytes is not written (commit fails with
// kv_cfb_error::too_large), and a stream cannot grow beyond that size either.
//
// Locking. An open or created document holds an exclusive advisory lock
// (flock) on its file until close(): a second open or create of the same file,
// from this process or another, fails with kv_cfb_error::locked. The lock
// keeps out other users of this layer only; it does not stop other programs.
#ifndef KVSTORE_PLATFORM_COMPOUND_FILE_H_
#define KVSTORE_PLATFORM_COMPOUND_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class kv_compound_file;

// Why an operation failed.
enum class kv_cfb_error : uint8_t {
  none = 0,
  io,              // the file could not be created, opened, read or written (see os_error)
  locked,          // another open document holds the file
  not_compound,    // shorter than a header, or no compound-file signature
  unsupported,     // another major version, byte order, sector size or cutoff
  too_large,       // a file or stream beyond the size limits
  truncated,       // a byte that the file would need is missing
  bad_header,      // FAT sector count, DIFAT, FAT sector numbers
  bad_chain,       // a sector chain with a cycle, a shared or an out-of-range sector
  bad_directory,   // the directory: its root, entry types, ids, an entry reached twice
  bad_name,        // a name of a bad length or with a forbidden unit
  duplicate_name,  // two children of one storage with equal names
  bad_stream,      // a stream whose chain is shorter than its size, or a bad mini stream
  not_found,       // no element of that name and kind
};

// A short English name of the error ("bad_chain"), for messages and tests.
const char* kv_cfb_error_name(kv_cfb_error error);

// The outcome of the last failed operation of a document or of open/parse.
struct kv_cfb_status {
  kv_cfb_error error = kv_cfb_error::none;
  int os_error = 0;         // errno, for io and locked
  const char* detail = "";  // a static text naming the check that failed
  bool ok() const { return error == kv_cfb_error::none; }
};

enum class kv_cfb_kind : uint8_t { storage = 1, stream = 2 };

// The longest name, in UTF-16 code units.
inline constexpr std::size_t kCfbMaxNameUnits = 31;
// The largest file this layer writes, and so the largest stream.
inline constexpr uint64_t kCfbMaxFileSize = 0x7FFFFE00;

// The simple upper case of a UTF-16 code unit as the format's name order uses
// it: a unit whose upper case is one other BMP unit maps to it (a to A, é to
// É, ÿ to Ÿ, µ to Μ); every other unit (surrogates, ß) maps to itself.
char16_t kv_cfb_upper(char16_t unit);
// True when name may name an element (length and units, see above).
bool kv_cfb_valid_name(std::u16string_view name);
// The order of names: negative, zero (the same element) or positive.
int kv_cfb_compare_names(std::u16string_view a, std::u16string_view b);

class kv_cfb_stream {
 public:
  kv_cfb_stream() = default;
  bool valid() const { return m_doc != nullptr; }

  uint64_t size() const;
  uint64_t tell() const { return m_pos; }
  // Moves the position; a position past the end reads nothing and writes
  // after a gap of zero bytes.
  void seek(uint64_t pos) { m_pos = pos; }
  // Copies up to n bytes from the position to out and moves the position
  // past them; returns the number copied (fewer at the end of the stream).
  std::size_t read(void* out, std::size_t n);
  // Writes n bytes at the position, growing the stream as needed, and moves
  // the position past them. Returns false, writing nothing, when the stream
  // would grow beyond kCfbMaxFileSize.
  bool write(const void* data, std::size_t n);

 private:
  friend class kv_compound_file;
  friend class kv_cfb_storage;
  friend struct kv_cfb_entry;
  kv_cfb_stream(kv_compound_file* doc, uint32_t id) : m_doc(doc), m_id(id) {}
  kv_compound_file* m_doc = nullptr;
  uint32_t m_id = 0;
  uint64_t m_pos = 0;
};

class kv_cfb_storage {
 public:
  kv_cfb_storage() = default;
  bool valid() const { return m_doc != nullptr; }

  // Create-or-replace (see the file comment): a new empty element named
  // name. An invalid handle when name is not a valid name (the document's
  // status then says bad_name).
  kv_cfb_stream create_stream(std::u16string_view name);
  kv_cfb_storage create_storage(std::u16string_view name);
  // The child of an equal name and of that kind; an invalid handle when
  // there is none (status not_found).
  kv_cfb_stream open_stream(std::u16string_view name) const;
  kv_cfb_storage open_storage(std::u16string_view name) const;
  // The number of children.
  std::size_t child_count() const;

 private:
  friend class kv_compound_file;
  friend class kv_cfb_enumerator;
  friend struct kv_cfb_entry;
  kv_cfb_storage(kv_compound_file* doc, uint32_t id) : m_doc(doc), m_id(id) {}
  kv_compound_file* m_doc = nullptr;
  uint32_t m_id = 0;
};

// One child of a storage, as the enumeration hands it out.
struct kv_cfb_entry {
  std::u16string_view name;  // the element's own spelling; valid while the document lives
  kv_cfb_kind kind = kv_cfb_kind::stream;
  uint64_t size = 0;  // a stream's byte count; 0 for storages

  // The element itself (no lookup by name); invalid for the other kind.
  kv_cfb_storage storage() const;
  kv_cfb_stream stream() const;

 private:
  friend class kv_cfb_enumerator;
  kv_compound_file* m_doc = nullptr;
  uint32_t m_id = 0;
};

// Hands out the children of a storage in name order. Creating children in
// the storage while it is enumerated is safe, but what the enumeration then
// yields is unspecified.
class kv_cfb_enumerator {
 public:
  explicit kv_cfb_enumerator(const kv_cfb_storage& storage);
  // The next child, or false when there is none left.
  bool next(kv_cfb_entry& entry);

 private:
  kv_compound_file* m_doc;
  uint32_t m_id;
  std::size_t m_pos = 0;
};

class kv_compound_file {
 public:
  // A new document at path (UTF-16; the file is created, or truncated when it
  // exists, at once), or null with status set (io, locked).
  static std::unique_ptr<kv_compound_file> create(const char16_t* path, kv_cfb_status& status);
  // A new document that lives in memory only (serialize() gives its bytes).
  static std::unique_ptr<kv_compound_file> create_in_memory();
  // True when the file at path holds at least a header and begins with the
  // compound-file signature. Nothing else is checked.
  static bool is_compound_file(const char16_t* path);
  // The document in the file at path, read and validated whole, or null with
  // status set. The file is opened for reading and writing (as a document is
  // opened for use, although it is never written back), so a file that the
  // process may not write cannot be opened.
  static std::unique_ptr<kv_compound_file> open(const char16_t* path, kv_cfb_status& status);
  // The document in size bytes at data, validated the same way, or null with
  // status set. The bytes are not needed afterwards.
  static std::unique_ptr<kv_compound_file> parse(const void* data, std::size_t size,
                                                 kv_cfb_status& status);

  kv_compound_file(const kv_compound_file&) = delete;
  kv_compound_file& operator=(const kv_compound_file&) = delete;
  // close(); a failure to write is lost.
  ~kv_compound_file();

  kv_cfb_storage root() { return kv_cfb_storage(this, 0); }

  // The file's bytes as the writer lays them out: sectors in a fixed order
  // (FAT, DIFAT, directory, mini FAT, mini stream, large streams), entries
  // in depth-first name order, every sibling tree balanced and coloured, all
  // times zero; the same hierarchy always gives the same bytes. False (out
  // unchanged) when the file would be larger than kCfbMaxFileSize.
  bool serialize(std::string& out);

  // Writes a created document to its file, replacing what the file held.
  // True when there is nothing to write (no change since the last commit, or
  // a document that was opened or lives in memory).
  bool commit();
  // Commits a created document, then releases the file and its lock. Returns
  // the commit's result. Later calls do nothing and return true.
  bool close();

  // The outcome of the last failed operation.
  const kv_cfb_status& status() const { return m_status; }

 private:
  friend class kv_cfb_stream;
  friend class kv_cfb_storage;
  friend class kv_cfb_enumerator;
  friend struct kv_cfb_entry;
  struct Element;
  class Parser;
  class Writer;

 public:
  class Sink;  // where the writer's bytes go (internal)

 private:
  kv_compound_file();
  bool fail(kv_cfb_error error, const char* detail, int os_error = 0);
  // The child of storage whose name equals name, or kNone.
  uint32_t find_child(uint32_t storage, std::u16string_view name);
  uint32_t add_child(uint32_t storage, std::u16string_view name, kv_cfb_kind kind);
  // Puts the children of storage in name order (once, until a child is added).
  void sort_children(uint32_t storage);
  Element& element(uint32_t id);
  const Element& element(uint32_t id) const;
  // A new element at the end; elements never move.
  uint32_t new_element();
  std::size_t element_count() const { return m_count; }

  // The elements in chunks of kChunk; element 0 is the root storage.
  static constexpr unsigned kChunkShift = 8;
  std::vector<std::unique_ptr<Element[]>> m_chunks;
  std::size_t m_count = 0;
  // Stream bytes of an opened document, addressed by the streams that were
  // read; a stream's first write gives it its own copy.
  std::vector<char> m_arena;
  kv_cfb_status m_status;
  int m_fd = -1;          // the file of an opened or created document, locked
  bool m_writes = false;  // created: commit and close write the file
  bool m_dirty = false;   // changed since the last commit
};

#endif  // KVSTORE_PLATFORM_COMPOUND_FILE_H_
