// Copyright the kvstore authors.
//
// KV_PDTFile: the reader of driver description sets. A set describes the
// capabilities of one output device model in a folder of tab-separated
// capability files and one key-text file of localizable texts (the files and
// their syntax: kv_pdt_table.h and kv_pdt_keys.h). The reader is opened on
// the key-text file; the folder of that path is the folder of the set. It
// converts the capability files into properties below the root given to
// load, which is a path prefix: root "\Model" gives "\Model\media\...",
// "\Model\io\...".
//
// load(object, root, type):
//   1. creates the process-wide vocabulary table unless it exists;
//   2. reads the key-text file (the stream that open opened) into the key
//      table;
//   3. checks its arguments, so that bad arguments still read the key-text
//      file: a null object raises KV_Severe 52, an empty root 51, a type
//      other than FT_PDT 54 (source "KV_PDTFile::load()", the root as
//      argument);
//   4. converts the capability files in a fixed order, because later steps
//      use the lists and flags that earlier ones fill (kv_pdt_file.cc lists
//      it): custom capabilities, dithering methods, protocols and I/O
//      methods, the media files, memory areas, raster abilities,
//      resolutions and their combinations, the device settings (which also
//      write the combinations and every collected ability text), the
//      localizable model texts and the line types;
//   5. writes the default capability states: the get_abilities() text of a
//      standard resolution/colour/memory, media, line type, physical pen and
//      plotter I/O capability set, each with every state cleared, as
//      \res_color_mem\caps_state, \media\caps_state, \linetype\caps_state,
//      \physical_pen\caps_state and \io\caps_state;
//   6. writes \meta\toolkit_version = 0.0.
// A missing or unreadable capability file ends the load with KV_Severe (see
// kv_pdt_table); contents are never refused: names outside the
// vocabularies, missing fields and malformed numbers give the values that
// each step states. What was written before an exception stays in the tree.
//
// getVersion(buffer, size) copies field 62 of line 2 of "Global Static
// Lists.pdt" (empty when the line has fewer fields): at most size - 1 units
// and a terminator; with size SIZE_MAX the whole field (up to 2047 units, so
// the buffer must hold 2048). Open errors are those of the capability files.
//
// The reader keeps its lists, key table and ability sets for its life: a
// second load on the same reader would see the state of the first. The
// format is read only; save is the PIA writer's, which the dispatch never
// calls for this type.
#ifndef KVSTORE_DRIVERS_KV_PDT_FILE_H_
#define KVSTORE_DRIVERS_KV_PDT_FILE_H_

#include <cstddef>

#include "drivers/kv_pdt_import.h"
#include "formats/kv_pia_file.h"

class KV_PDTFile : public KV_PIAFile {
 public:
  explicit KV_PDTFile(GX_Error_Handler* handler);
  ~KV_PDTFile() override;

  void load(KV_Object* object, const char16_t* root, KV_Object::FileType type) override;
  void getVersion(char16_t* buffer, std::size_t size) override;

  // The state that the steps shared: lists, key table, ability sets.
  const kv_pdt_import& state() const { return m_import; }

 private:
  static void store_property(KV_Object* object, const char16_t* path, const void* data,
                             std::size_t size, PropType type, int index);
  void read_key_texts();
  void write_default_caps_states();

  kv_pdt_import m_import;
};

#endif  // KVSTORE_DRIVERS_KV_PDT_FILE_H_
