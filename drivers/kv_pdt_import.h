// Copyright the kvstore authors.
//
// kv_pdt_import: the state that the steps of a driver description import
// share (the record lists, the ability sets, the key table and the text
// buffer, what the media sizes saw) and the writers through which they fill
// the tree. KV_PDTFile owns one; each conversion step is a free function
// over it (kv_pdt_media.h, kv_pdt_io.h, ...), which keeps the steps testable
// one by one and lets new steps join without touching the others.
//
// Every property is written below the root given to the load: the path of a
// writer is appended to the root as it stands, so the root "\Model" and the
// path "\media\size\*\name" give "\Model\media\size\*\name". A path with "*"
// is written with an index, which the store puts in place of the first "*";
// a path without one with index -1, which the store also puts in place of a
// first "*" (a name from a file may hold one). Values are written with their
// type bound (typeChecked), so the store's errors (KV_Warning 51 for a path
// it cannot take, 54 for a path written before with another type) end the
// load.
//
// Expansion limit. Some steps write a record each time another file names
// it (a source entry with its size names for every source line naming it,
// a resolution with its memory areas for every combination naming it), so
// a small set could ask for a tree quadratic in its size. An import makes
// at most kWriteBase writes, plus kWritesPerByte for each byte of the
// capability files read so far; the write past that raises
// KV_Memory_Exception 55 (source "KV_PDTFile::load()", argument
// "properties"). Real sets stay far below: a data line writes a few
// properties for its tens of bytes.
#ifndef KVSTORE_DRIVERS_KV_PDT_IMPORT_H_
#define KVSTORE_DRIVERS_KV_PDT_IMPORT_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "drivers/kv_pdt_flags.h"
#include "drivers/kv_pdt_keys.h"
#include "drivers/kv_pdt_lists.h"
#include "drivers/kv_pdt_table.h"
#include "kvstore/kv_object.h"

class kv_pdt_import {
 public:
  // The store that writes one property: KV_Object's protected setData with
  // typeChecked true.
  using store_fn = void (*)(KV_Object* object, const char16_t* path, const void* data,
                            std::size_t size, PropType type, int index);

  static constexpr uint64_t kWriteBase = uint64_t{1} << 16;
  static constexpr uint64_t kWritesPerByte = 16;

  explicit kv_pdt_import(store_fn store) : m_store(store) {}
  kv_pdt_import(const kv_pdt_import&) = delete;
  kv_pdt_import& operator=(const kv_pdt_import&) = delete;

  // Where the steps write and read: the object, the root below which every
  // path lands, and the folder of the set.
  void begin(KV_Object* object, const char16_t* root, std::u16string folder);

  // Opens a capability file of the set (kv_pdt_table raises the open errors).
  // Whoever holds the result reads it to its end or drops it.
  kv_pdt_table open(kv_pdt_file_id file) { return kv_pdt_table(m_folder, file, &m_bytesRead); }

  // Looks up the localizable text of the current row of a file; the result is
  // text() (see kv_pdt_keys::lookup).
  void look_up(const kv_pdt_table& table, kv_pdt_file_id file) { keys.lookup(file, table.row()); }
  const char16_t* text() const { return keys.text(); }

  // ---- Writers. path is relative to the root; index as described above.
  void put_int(std::u16string_view path, int32_t value, int index = -1);
  void put_double(std::u16string_view path, double value, int index = -1);
  void put_bool(std::u16string_view path, bool value, int index = -1);
  // PROP_STRING: the wide text and its terminator; at most 4096 units of the
  // text are stored.
  void put_string(std::u16string_view path, std::u16string_view value, int index = -1);
  // PROP_VOID: size raw bytes.
  void put_raw(std::u16string_view path, const void* data, std::size_t size, int index = -1);
  // "caps_type" and "custom_caps_type" receive the caps type, 0.
  void put_caps_type(std::u16string_view path, int index = -1) { put_int(path, caps_type, index); }

  // ---- State shared by the steps.
  kv_pdt_keys keys;
  int32_t caps_type = 0;

  SimpleListWithSearch<UC_Protocol> protocols;
  SimpleListWithSearch<UC_Media_Collating> collating;
  SimpleListWithSearch<UC_Media_Cutting> cutting;
  SimpleListWithSearch<UC_Media_Destination> destinations;
  SimpleListWithSearch<UC_Media_Folding> folding;
  SimpleListWithSearch<UC_Media_Stapling> stapling;
  SimpleListWithSearch<UC_Memory_Area> memory_areas;
  SimpleListWithSearch<UC_Resolution> resolutions;
  SimpleListWithSearch<UC_Resolution_Color_Memory> res_color_mem;
  SimpleListWithSearch<UC_Media_Source_Entry> source_entries;

  GX_Media_Abilities media_abilities;
  bool landscape_seen = false;
  bool portrait_seen = false;
  GX_ResColorMem_Abilities res_color_mem_abilities;
  GX_Plotter_IO_Abilities io_abilities;

 private:
  void put(std::u16string_view path, const void* data, std::size_t size, PropType type, int index);

  store_fn m_store;
  KV_Object* m_object = nullptr;
  std::u16string m_root;
  std::u16string m_folder;
  std::u16string m_path;     // the full path of the property being written
  uint64_t m_bytesRead = 0;  // of the capability files, so far
  uint64_t m_writes = 0;
};

// Reads a list that holds one record per named line (lines with an empty
// name are ignored): each named line makes a record with its cleaned name
// and the localized text of its row, which fill(record, table) completes;
// a record is appended when the next named line starts and at the end of the
// file.
template <typename Record, typename Fill>
void kv_pdt_read_named_list(kv_pdt_import& import, kv_pdt_file_id file,
                            SimpleListWithSearch<Record>& list, Fill fill) {
  kv_pdt_table table = import.open(file);
  Record pending;
  bool named = false;
  while (table.next_row()) {
    if (!table.has(1)) continue;
    if (named) list.append(pending);
    pending = Record();
    pending.name = GX_String(kv_pdt_clean(table.field(1)).c_str());
    import.look_up(table, file);
    pending.localized_name = import.text();
    fill(pending, table);
    named = true;
  }
  if (named) list.append(pending);
}

// Joins path components: "\media\source\" + name + "\entry" without
// intermediate strings at every call site.
std::u16string kv_pdt_path(std::initializer_list<std::u16string_view> parts);

#endif  // KVSTORE_DRIVERS_KV_PDT_IMPORT_H_
