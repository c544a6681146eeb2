// Copyright the kvstore authors.
#include "drivers/kv_pdt_vocab.h"

#include <iterator>

#include "drivers/kv_pdt_lists.h"

namespace {

// ---- The vocabularies, one array each, pairs in table order. What each
// serves is said above it.

// Parity: protocol parity.
constexpr kv_pdt_name_value kParity[] = {
    {u"None", 0}, {u"Odd", 1}, {u"Even", 2}, {u"Mark", 3}, {u"Space", 4},
};

// Dithering types: dithering_type.
constexpr kv_pdt_name_value kDitheringTypes[] = {
    {u"NoDitheringMustMatch", 0},
    {u"NoDitheringNearestColor", 1},
    {u"OrderedDithering", 2},
    {u"ClusteredOrderedDithering", 3},
    {u"DispersedOrderedDithering", 4},
    {u"CustomMatrixOrderedDithering", 5},
    {u"FineDithering", 6},
    {u"LineArt", 7},
    {u"ErrorDiffusion", 8},
    {u"Grayscale", 9},
    {u"CustomHardwareDithering", 10},
};

// Handshake lines: I/O method handshakes and default handshake.
constexpr kv_pdt_name_value kHandshakeLines[] = {
    {u"None", 0},
    {u"fXIn = 0x1", 1},
    {u"fXOut = 0x2", 2},
    {u"Cts = 0x4", 4},
    {u"Rts_Disable = 0x8", 8},
    {u"Rts_Enable = 0x10", 16},
    {u"Rts_Handshake = 0x20", 32},
    {u"Rts_Toggle = 0x40", 64},
    {u"Dtr_Disable = 0x80", 128},
    {u"Dtr_Enable = 0x100", 256},
    {u"Dtr_Handshake = 0x200", 512},
    {u"Dsr = 0x400", 1024},
    {u"Rlsd = 0x800", 2048},
};

// Bidirectional features: I/O method bidi_flags.
constexpr kv_pdt_name_value kBidirectionalFeatures[] = {
    {u"Model = 0x1", 1},
    {u"PaperSource = 0x2", 2},
    {u"PaperSize = 0x4", 4},
    {u"PaperSourceCaps = 0x08", 8},
    {u"PaperSizeCaps = 0x10", 16},
    {u"PaperOrientation = 0x20", 32},
    {u"CartridgeFonts = 0x40", 64},
    {u"SoftFonts = 0x80", 128},
    {u"InternalFonts = 0x100", 256},
    {u"MemorySize = 0x200", 512},
    {u"FreeMemory = 0x400", 1024},
    {u"OutOfMedia = 0x800", 2048},
    {u"OutOfInk = 0x1000", 4096},
    {u"Jams = 0x2000", 8192},
};

// I/O types: I/O method type, default I/O type.
constexpr kv_pdt_name_value kIOTypes[] = {
    {u"None", 0},  {u"Does_Own_IO", 1}, {u"File", 2},    {u"System", 3},
    {u"RS232", 4}, {u"Parallel", 5},    {u"Network", 6},
};

// Data bits: protocol data bits.
constexpr kv_pdt_name_value kDataBits[] = {
    {u"DataBits_5", 0}, {u"DataBits_6", 1},  {u"DataBits_7", 2},
    {u"DataBits_8", 3}, {u"DataBits_16", 4}, {u"DataBits_16X", 5},
};

// Stop bits: protocol stop bits.
constexpr kv_pdt_name_value kStopBits[] = {
    {u"OneStopBit = ONESTOPBIT", 0},
    {u"One5StopBits = ONE5STOPBITS", 1},
    {u"TwoStopBits = TWOSTOPBITS", 2},
};

// Collating types: collating_type.
constexpr kv_pdt_name_value kCollatingTypes[] = {
    {u"None", 0},
    {u"Regular", 1},
    {u"Custom", 2},
};

// Cutting times: cutting when.
constexpr kv_pdt_name_value kCuttingTimes[] = {
    {u"Endofjob", 1},
    {u"Endofset", 2},
    {u"Endofpage", 3},
};

// Media groups: media_group.
constexpr kv_pdt_name_value kMediaGroups[] = {
    {u"ANSI", 0},
    {u"ANSI_expand", 1},
    {u"ARCH", 2},
    {u"ARCH_expand", 3},
    {u"ISO", 4},
    {u"ISO_expand", 5},
    {u"OversizeISO", 6},
    {u"Business", 7},
    {u"Business_expand", 8},
    {u"JIS", 9},
    {u"EnvelopeANSI", 10},
    {u"EnvelopeISO", 11},
    {u"UserDefined", 12},
    {u"Raster", 13},
    {u"UserDefinedImperial", 14},
    {u"UserDefinedMetric", 15},
    {u"UserDefinedRaster", 16},
};

// Folding types: folding_type.
constexpr kv_pdt_name_value kFoldingTypes[] = {
    {u"Letter", 0},    {u"Zfold", 1},  {u"Doublegate", 2}, {u"Leftgate", 3},
    {u"Rightgate", 4}, {u"Saddle", 5}, {u"Xfold", 6},
};

// Folding times: folding when.
constexpr kv_pdt_name_value kFoldingTimes[] = {
    {u"Endofjob", 1},
    {u"Endofset", 2},
    {u"Endofpage", 3},
};

// Feed kinds: media source feed.
constexpr kv_pdt_name_value kFeedKinds[] = {
    {u"None", 0},
    {u"ManualSheet", 1},
    {u"SheetFeeder", 2},
    {u"RollFeeder", 3},
};

// Stapling times: stapling when.
constexpr kv_pdt_name_value kStaplingTimes[] = {
    {u"None", 0},
    {u"Endofjob", 1},
    {u"Endofset", 2},
    {u"Endofpage", 3},
};

// Stapling locations: stapling location.
constexpr kv_pdt_name_value kStaplingLocations[] = {
    {u"PortraitUL", 1},  {u"PortraitUR", 2},  {u"PortraitSaddle", 3},
    {u"LandscapeUL", 4}, {u"LandscapeUR", 5}, {u"LandscapeSaddle", 6},
};

// Line types: line type widths and mask.
constexpr kv_pdt_name_value kLineTypes[] = {
    {u"Solid", 0},
    {u"Dashed", 1},
    {u"Dotted", 2},
    {u"Dash_Dot", 3},
    {u"Short_Dash", 4},
    {u"Medium_Dash", 5},
    {u"Long_Dash", 6},
    {u"Short_Dash_X2", 7},
    {u"Medium_Dash_X2", 8},
    {u"Long_Dash_X2", 9},
    {u"Medium_Long_Dash", 10},
    {u"Medium_Dash_Short_Dash_Short_Dash", 11},
    {u"Long_Dash_Short_Dash", 12},
    {u"Long_Dash_Dot_Dot", 13},
    {u"Long_Dash_Dot", 14},
    {u"Medium_Dash_Dot_Short_Dash_Dot", 15},
    {u"Sparse_Dot", 16},
    {u"User_Defined", 17},
};

// Raster abilities: raster ability groups.
constexpr kv_pdt_name_value kRasterAbilities[] = {
    {u"CanDoRasters", 0},
    {u"DrawsRastersAsRasters", 1},
    {u"DrawsRastersAsVectors", 2},
    {u"OrientationPrefs", 3},
};

// Raster orientations: orientation_prefs.
constexpr kv_pdt_name_value kRasterOrientations[] = {
    {u"IOrient_X_Left_To_Right_Top_First", 0},  {u"IOrient_X_Left_To_Right_Bottom_First", 1},
    {u"IOrient_X_Right_To_Left_Top_First", 2},  {u"IOrient_X_Right_To_Left_Bottom_First", 3},
    {u"IOrient_Y_Top_To_Bottom_Left_First", 4}, {u"IOrient_Y_Top_To_Bottom_Right_First", 5},
    {u"IOrient_Y_Bottom_To_Top_Left_First", 6}, {u"IOrient_Y_Bottom_To_Top_Right_First", 7},
};

// Colour systems: color_system.
constexpr kv_pdt_name_value kColourSystems[] = {
    {u"Mapped_RGB", 0}, {u"Direct_RGB", 1},  {u"Bitonal", 2},
    {u"Gray_Scale", 3}, {u"Direct_CMYK", 4},
};

// Media selection methods: selection_methods, default_selection_method.
constexpr kv_pdt_name_value kMediaSelectionMethods[] = {
    {u"MediaSizeByMediaSource = 0x1", 1},
    {u"MediaSizeByMediaSize = 0x2", 2},
};

// Duplexing modes: duplexing_modes, default_duplexing_mode.
constexpr kv_pdt_name_value kDuplexingModes[] = {
    {u"None = 0x1", 1},
    {u"Long = 0x2", 2},
    {u"Short = 0x4", 4},
};

// Pen optimizations: max_optimization, default_optimization.
constexpr kv_pdt_name_value kPenOptimizations[] = {
    {u"No Optimizations", 0},
    {u"Endpoint Swap", 1},
    {u"Pen Sorting", 2},
    {u"Limited Motion Optimzation", 3},
    {u"Full Motion Optimization", 4},
    {u"Elimination of Overlapped Horizontal and Vertical Vectors", 5},
    {u"Elimination of Overlapped Diagonal Vectors", 6},
};

// Line type abilities: line type ability groups.
constexpr kv_pdt_name_value kLineTypeAbilities[] = {
    {u"LinetypeScale", 0},
    {u"LinetypeAdaptive", 1},
};

// Init/term UI groups: init/term UI ownership.
constexpr kv_pdt_name_value kInitTermUiGroups[] = {
    {u"PreInitString", 0},
    {u"PostInitString", 1},
    {u"TerminationString", 2},
};

// Pen UI groups: pen UI ownership.
constexpr kv_pdt_name_value kPenUiGroups[] = {
    {u"NumberOfPens", 0},      {u"PenColor", 1},           {u"PenWidth", 2},
    {u"PenSpeed", 3},          {u"AreaFillCorrection", 4}, {u"PenOptimization", 5},
    {u"PenChangingEnable", 6},
};

// Resolution/colour/memory UI groups: resolution/colour/memory UI ownership.
constexpr kv_pdt_name_value kResColorMemUiGroups[] = {
    {u"Resolution", 0},
    {u"PhysicalMemory", 1},
    {u"ColorDepth", 2},
    {u"ColorSystem", 3},
    {u"ISMMaxMem", 4},
    {u"OLEMaxMem", 5},
    {u"HardSoftNoDithering", 6},
    {u"ColorVsMono", 7},
    {u"RastColorVsResPref", 8},
    {u"InstalledMemory", 9},
    {u"ICMMethod", 10},
    {u"ICMIntent", 11},
    {u"DMColor", 12},
    {u"LinesOverwrite", 13},
};

// I/O UI groups: I/O UI ownership.
constexpr kv_pdt_name_value kIOUiGroups[] = {
    {u"Portname", 0},      {u"Type", 1},       {u"Protocol", 2},
    {u"BaudRate", 3},      {u"Handshake", 4},  {u"InputTimeout", 5},
    {u"OutputTimeout", 6}, {u"PlotToFile", 7}, {u"Pathname", 8},
};

// Media UI groups: media UI ownership.
constexpr kv_pdt_name_value kMediaUiGroups[] = {
    {u"SelectionMethod", 0},
    {u"Type", 1},
    {u"Source", 2},
    {u"Feed", 3},
    {u"Stapling", 4},
    {u"Cutting", 5},
    {u"Folding", 6},
    {u"Collating", 7},
    {u"Size", 8},
    {u"Bounds", 9},
    {u"PrintableArea", 10},
    {u"Dimensional", 11},
    {u"LandscapeMode", 12},
    {u"DestinationNumberOfCopies", 13},
    {u"DuplexingMode", 14},
    {u"Margins", 15},
    {u"LongplotReductionDmScale", 16},
    {u"DmOrientation", 17},
    {u"DmFormName", 18},
    {u"ActualBounds", 19},
};

// ---- Every vocabulary, in the order of kv_pdt_vocabulary.

struct VocabularyRow {
  kv_pdt_vocabulary id;
  const kv_pdt_name_value* pairs;
  std::size_t size;
};

#define VOCABULARY(pairs) pairs, std::size(pairs)
constexpr VocabularyRow kVocabularies[] = {
    {kv_pdt_vocabulary::parity, VOCABULARY(kParity)},
    {kv_pdt_vocabulary::dithering_types, VOCABULARY(kDitheringTypes)},
    {kv_pdt_vocabulary::handshake_lines, VOCABULARY(kHandshakeLines)},
    {kv_pdt_vocabulary::bidirectional_features, VOCABULARY(kBidirectionalFeatures)},
    {kv_pdt_vocabulary::io_types, VOCABULARY(kIOTypes)},
    {kv_pdt_vocabulary::data_bits, VOCABULARY(kDataBits)},
    {kv_pdt_vocabulary::stop_bits, VOCABULARY(kStopBits)},
    {kv_pdt_vocabulary::collating_types, VOCABULARY(kCollatingTypes)},
    {kv_pdt_vocabulary::cutting_times, VOCABULARY(kCuttingTimes)},
    {kv_pdt_vocabulary::media_groups, VOCABULARY(kMediaGroups)},
    {kv_pdt_vocabulary::folding_types, VOCABULARY(kFoldingTypes)},
    {kv_pdt_vocabulary::folding_times, VOCABULARY(kFoldingTimes)},
    {kv_pdt_vocabulary::feed_kinds, VOCABULARY(kFeedKinds)},
    {kv_pdt_vocabulary::stapling_times, VOCABULARY(kStaplingTimes)},
    {kv_pdt_vocabulary::stapling_locations, VOCABULARY(kStaplingLocations)},
    {kv_pdt_vocabulary::line_types, VOCABULARY(kLineTypes)},
    {kv_pdt_vocabulary::raster_abilities, VOCABULARY(kRasterAbilities)},
    {kv_pdt_vocabulary::raster_orientations, VOCABULARY(kRasterOrientations)},
    {kv_pdt_vocabulary::colour_systems, VOCABULARY(kColourSystems)},
    {kv_pdt_vocabulary::media_selection_methods, VOCABULARY(kMediaSelectionMethods)},
    {kv_pdt_vocabulary::duplexing_modes, VOCABULARY(kDuplexingModes)},
    {kv_pdt_vocabulary::pen_optimizations, VOCABULARY(kPenOptimizations)},
    {kv_pdt_vocabulary::line_type_abilities, VOCABULARY(kLineTypeAbilities)},
    {kv_pdt_vocabulary::init_term_ui_groups, VOCABULARY(kInitTermUiGroups)},
    {kv_pdt_vocabulary::pen_ui_groups, VOCABULARY(kPenUiGroups)},
    {kv_pdt_vocabulary::res_color_mem_ui_groups, VOCABULARY(kResColorMemUiGroups)},
    {kv_pdt_vocabulary::io_ui_groups, VOCABULARY(kIOUiGroups)},
    {kv_pdt_vocabulary::media_ui_groups, VOCABULARY(kMediaUiGroups)},
};
#undef VOCABULARY

static_assert(std::size(kVocabularies) == kv_pdt_vocabulary_count, "one row per vocabulary");

constexpr bool rows_in_enum_order() {
  for (std::size_t i = 0; i < std::size(kVocabularies); ++i) {
    if (static_cast<std::size_t>(kVocabularies[i].id) != i) return false;
  }
  return true;
}
static_assert(rows_in_enum_order(), "rows follow kv_pdt_vocabulary");

// The word that stands for every entry of a vocabulary.
constexpr char16_t kAll[] = u"ALL";

// The dithering renderers, matched by plain comparison.
constexpr kv_pdt_name_value kRenderers[] = {
    {u"Neither", 0},
    {u"FrameBuffer", 1},
    {u"BothDitherAndFB", 2},
};

// The process-wide table: the interned names, and for each vocabulary the
// interned pointer of each of its names, parallel to its pairs. Read-only
// once constructed.
class VocabularyTable {
 public:
  VocabularyTable() {
    for (const VocabularyRow& row : kVocabularies) {
      auto& interned = m_interned[static_cast<int>(row.id)];
      interned = new const char16_t*[row.size];
      for (std::size_t i = 0; i < row.size; ++i) interned[i] = m_names.intern(row.pairs[i].name);
    }
    m_all = m_names.intern(kAll);
  }
  VocabularyTable(const VocabularyTable&) = delete;
  VocabularyTable& operator=(const VocabularyTable&) = delete;
  ~VocabularyTable() {
    for (const char16_t** interned : m_interned) delete[] interned;
  }

  uint32_t lookup(kv_pdt_vocabulary vocabulary, std::u16string_view text) const {
    const char16_t* name = m_names.find(text);
    if (name == nullptr) return kv_pdt_not_found;
    const VocabularyRow& row = kVocabularies[static_cast<int>(vocabulary)];
    const char16_t* const* interned = m_interned[static_cast<int>(vocabulary)];
    for (std::size_t i = 0; i < row.size; ++i) {
      if (interned[i] == name) return row.pairs[i].value;
    }
    return kv_pdt_not_found;
  }
  bool is_all(std::u16string_view text) const { return m_names.find(text) == m_all; }
  std::size_t size() const { return m_names.size(); }

 private:
  kv_interned_texts m_names;
  const char16_t** m_interned[kv_pdt_vocabulary_count] = {};
  const char16_t* m_all = nullptr;
};

// Created on first use, never destroyed: loads may still run while the
// process ends.
const VocabularyTable& table() {
  static const VocabularyTable* const instance = new VocabularyTable();
  return *instance;
}

}  // namespace

kv_pdt_pairs kv_pdt_vocabulary_pairs(kv_pdt_vocabulary vocabulary) {
  const VocabularyRow& row = kVocabularies[static_cast<int>(vocabulary)];
  return kv_pdt_pairs{row.pairs, row.size};
}

void kv_pdt_vocabularies_init() {
  table();
}

uint32_t kv_pdt_lookup(kv_pdt_vocabulary vocabulary, std::u16string_view text) {
  return table().lookup(vocabulary, text);
}

bool kv_pdt_is_all(std::u16string_view text) {
  return table().is_all(text);
}

std::size_t kv_pdt_vocabulary_table_size() {
  return table().size();
}

int32_t kv_pdt_renderer(std::u16string_view text) {
  for (const kv_pdt_name_value& pair : kRenderers) {
    if (text == pair.name) return static_cast<int32_t>(pair.value);
  }
  return -1;
}
