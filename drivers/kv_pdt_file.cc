// Copyright the kvstore authors.
#include "drivers/kv_pdt_file.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "drivers/kv_pdt_custom.h"
#include "drivers/kv_pdt_io.h"
#include "drivers/kv_pdt_media.h"
#include "drivers/kv_pdt_raster.h"
#include "drivers/kv_pdt_settings.h"
#include "drivers/kv_pdt_vocab.h"
#include "kvstore/gx_flags.h"
#include "kvstore/kv_exceptions.h"
#include "platform/stream_check.h"
#include "tree/kv_revision.h"

namespace {

constexpr const char16_t* kLoadSource = u"KV_PDTFile::load()";

// The field of "Global Static Lists.pdt", line 2, that holds the version.
constexpr int kVersionField = 62;

using Step = void (*)(kv_pdt_import&);

// The fixed load order. Later steps use what earlier ones collected: the
// option lists before the destinations that name them, the protocols before
// the methods, the source entries before the sources, the memory area and
// resolution lists before the device settings that write the combinations,
// and every step that marks abilities before the device settings that write
// their texts.
constexpr Step kLoadOrder[] = {
    kv_pdt_convert_custom_capabilities,   //  1 custom capabilities
    kv_pdt_convert_dithering_methods,     //  2 dithering methods
    kv_pdt_read_protocols,                //  3 "Protocol " into its list
    kv_pdt_convert_io_methods,            //  4 I/O methods
    kv_pdt_read_media_collating,          //  5 collating options into their list
    kv_pdt_read_media_cutting,            //  6 cutting options into their list
    kv_pdt_convert_media_descriptions,    //  7 media descriptions
    kv_pdt_read_media_destinations,       //  8 destinations into their list
    kv_pdt_read_media_folding,            //  9 folding options into their list
    kv_pdt_convert_media_sizes,           // 10 media sizes
    kv_pdt_read_media_source_entries,     // 11 source entries into their list
    kv_pdt_convert_media_sources,         // 12 media sources
    kv_pdt_read_media_stapling,           // 13 stapling options into their list
    kv_pdt_convert_media_types,           // 14 media types
    kv_pdt_write_media_destinations,      // 15 the destinations, from the lists
    kv_pdt_convert_memory_areas,          // 16 memory areas, also into their list
    kv_pdt_convert_raster_abilities,      // 17 raster abilities
    kv_pdt_read_resolutions,              // 18 resolutions into their list
    kv_pdt_read_resolution_color_memory,  // 19 combinations into their list
    kv_pdt_convert_device_settings,       // 20 device settings, the combinations
                                          //    and every ability text
    kv_pdt_convert_model_texts,           // 21 localizable model texts
    kv_pdt_convert_line_types,            // 22 line types
};

// The default capability states: each standard set with every state
// cleared, stored under its branch.
template <typename Set, typename Enum>
void write_cleared_states(kv_pdt_import& import, const char16_t* path, int states) {
  Set set;
  for (int k = 0; k < states; ++k) set.set_one_caps_state(false, static_cast<Enum>(k));
  import.put_string(path, set.get_abilities());
}

}  // namespace

KV_PDTFile::KV_PDTFile(GX_Error_Handler* handler)
    : KV_PIAFile(handler), m_import(&KV_PDTFile::store_property) {}

KV_PDTFile::~KV_PDTFile() = default;

void KV_PDTFile::store_property(KV_Object* object, const char16_t* path, const void* data,
                                std::size_t size, PropType type, int index) {
  store(object, path, data, size, type, index);
}

void KV_PDTFile::load(KV_Object* object, const char16_t* root, KV_Object::FileType type) {
  kv_pdt_vocabularies_init();
  read_key_texts();
  if (object == nullptr) throw KV_Severe(52, kLoadSource, root, kRevKvpdt);
  if (root == nullptr || root[0] == 0) throw KV_Severe(51, kLoadSource, root, kRevKvpdt);
  if (type != KV_Object::FT_PDT) throw KV_Severe(54, kLoadSource, root, kRevKvpdt);

  m_import.begin(object, root, kv_pdt_set_folder(fileName()));
  for (Step step : kLoadOrder) step(m_import);
  write_default_caps_states();
  m_import.put_double(u"\\meta\\toolkit_version", 0.0);
}

void KV_PDTFile::read_key_texts() {
  if (m_stream == nullptr) return;
  m_stream->clear();
  m_stream->seekg(0);
  m_import.keys.read(*m_stream);
  // The end of the file is expected; a read error is not.
  const int error = kv_stream_error(*m_stream);
  if (m_stream->bad() || (m_stream == m_ownedStream.get() && error != 0)) {
    const unsigned id = kv_stream_error_id(error);
    throw KV_Severe(id, kLoadSource, id == 62 ? nullptr : fileName(), kRevKvpdt);
  }
}

void KV_PDTFile::write_default_caps_states() {
  write_cleared_states<GX_Std_ResColorMem_Capabilities, GX_ResColorMem_User_Flags::Enum>(
      m_import, u"\\res_color_mem\\caps_state", GX_ResColorMem_User_Flags::count);
  write_cleared_states<GX_Std_Media_Capabilities, GX_Media_User_Flags::Enum>(
      m_import, u"\\media\\caps_state", GX_Media_User_Flags::count);
  write_cleared_states<GX_Std_Linetype_Capabilities, GX_Linetype_User_Flags::Enum>(
      m_import, u"\\linetype\\caps_state", GX_Linetype_User_Flags::count);
  write_cleared_states<GX_Std_PhysPen_Capabilities, GX_Pen_User_Flags::Enum>(
      m_import, u"\\physical_pen\\caps_state", GX_Pen_User_Flags::count);
  write_cleared_states<GX_Std_Plotter_IO_Capabilities, GX_Plotter_IO_User_Flags::Enum>(
      m_import, u"\\io\\caps_state", GX_Plotter_IO_User_Flags::count);
}

void KV_PDTFile::getVersion(char16_t* buffer, std::size_t size) {
  if (buffer == nullptr) return;
  kv_pdt_table table(kv_pdt_set_folder(fileName()), kv_pdt_global_static_lists);
  std::u16string_view version;
  if (table.read_line() && table.read_line()) version = table.field(kVersionField);
  if (size == 0) return;
  std::size_t units = version.size();
  if (size != std::numeric_limits<std::size_t>::max() && units > size - 1) units = size - 1;
  if (units != 0) std::memcpy(buffer, version.data(), units * sizeof(char16_t));
  buffer[units] = 0;
}
