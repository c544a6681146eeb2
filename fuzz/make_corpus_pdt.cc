// Copyright the kvstore authors.
//
// Seeds of the pdt_load target: the example set of examples/drivers packed
// into one input, and small hand-written sets for the edge cases of the line
// syntax, the key-text file, the vocabularies, the missing files and each
// capability file's conversion.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "drivers/kv_pdt_table.h"
#include "fuzz/pdt_set_input.h"

namespace {

namespace fs = std::filesystem;

using Files = std::vector<std::pair<int, std::string>>;

constexpr const char* kHeaders = "Name\tText\tC\tD\tE\nrow 2\n";

std::string table(const std::string& rows) {
  return kHeaders + rows;
}

// The example set, read from the repository beside the corpus folder.
Files example_set(const fs::path& corpus) {
  const fs::path folder = corpus / ".." / ".." / "examples" / "drivers";
  Files files;
  for (int file = 0; file < kPdtKeyTextFile; ++file) {
    const std::u16string name = kv_pdt_file_name(static_cast<kv_pdt_file_id>(file));
    std::ifstream in(folder / (std::string(name.begin(), name.end()) + ".pdt"), std::ios::binary);
    if (!in) return {};
    files.emplace_back(file, std::string(std::istreambuf_iterator<char>(in), {}));
  }
  std::ifstream keys(folder / "keytexts.txt", std::ios::binary);
  if (!keys) return {};
  files.emplace_back(kPdtKeyTextFile, std::string(std::istreambuf_iterator<char>(keys), {}));
  return files;
}

// Seeds for the files of the resolution, colour, memory, dithering, raster,
// line type, custom capability and device setting steps.
void capability_seeds(void (*write)(const std::string& target, const std::string& name,
                                    const std::string& bytes),
                      const std::string& target) {
  write(target, "custom-capabilities",
        pdt_pack({{kv_pdt_custom_capability,
                   table("\t\t\t\t\t\t\t\tbefore any name\n"
                         "\"Print Quality\"\t\tY\tNormal\t\t\tDT_String\tN\tDraft // first\n"
                         "\t\t\t\t\t\t\t\tBest\n"
                         "Delay\t\ty\t30\t600\t0\tDT_Long\tY\n"
                         "Lift\t\tN\t4\t\t\tDT_long\tN\t2\n"
                         "Density\t\t\t1.25\t2\t0.5\tDT_Double\ty\t1e400\n"
                         "Enhance\t\t\tYes\t\t\tDT_Bool\tN\tNo\n"
                         "Table\t\t\t0x0A0B\t\t\tDT_Raw\tN\t0xc0ffEE\n"
                         "\t\t\t\t\t\t\t\t0x1\n"
                         "\t\t\t\t\t\t\t\t0xG1Z\n"
                         "Short\t\t\t1\t\t\tDT\n")},
                  {kPdtKeyTextFile, "ORVA_CUSTOM_CAPABILITY_B4 \"Print quality\"\n"}}));
  write(target, "dithering-methods",
        pdt_pack({{kv_pdt_dithering_method,
                   table("\t\t\t\t\t\t\t2\t2\tLost\t1\t2\n"
                         "\"Ordered 2\"\t\t\tOrderedDithering\t\t128\tFrameBuffer\t2\t2\t"
                         "Matrix_8\t1\t\n"
                         "\t\t\t\t\t\t\t\t\t\t3\t4\t99\n"
                         "Wide\t\t4\tNoSuch\t3\t\tBoth\t2147483647\t3\tW\t7\t// c\t8\n"
                         "\t\t\t\t\t\t\t\t\t\t1\n"
                         "Neg\t\t-1\t\t-1\t-5\tNeither\t-2\t-2\tN\t1\n")},
                  {kPdtKeyTextFile, "ORVA_DITHERING_METHOD_B4 \"Ordered\"\n"}}));
  write(target, "resolutions",
        pdt_pack(
            {{kv_pdt_memory_area, table("Base\t\t64\t3.5\n\t\t\t1\nDisk\t\tlots\n")},
             {kv_pdt_resolution, table("\t\t\t\t\t\t\t\t\tBase\n"
                                       "Draft\t\t0\t300\t600\t600.5\t300\t0\t\"Line Art\"\tBase\n"
                                       "\t\t\t\t\t\t\t\t\tMissing\n\t\t\t\t\t\t\t\t\tDisk\n"
                                       "Fine\t\tnan\tinf\t1e-50\t0\t0.25\t2\n")},
             {kv_pdt_resolution_color_memory,
              table("\t\t\t\t\t\tDraft\n"
                    "Colour\t\t256\t8\t16\tDirect_RGB\tDraft\tDraft\ty\n"
                    "\t\t\t\t\t\tNowhere\n\t\t\t\t\t\tFine\n"
                    "Mono\t\t99999999999\t1\t2\tgray\tFine\t\tN\n")},
             {kPdtKeyTextFile, "ORVA_RESOLUTION_B4 \"Draft\"\n"}}));
  write(target, "raster-and-line-types",
        pdt_pack({{kv_pdt_raster_capability,
                   table("CanDoRasters\tIOrient_Y_Top_To_Bottom_Left_First\n"
                         "\"OrientationPrefs\"\tIOrient_X_Right_To_Left_Bottom_First // 3\n"
                         "Unknown\tsideways\n")},
                  {kv_pdt_line_type_capabilities,
                   table("Long_Dash\t0.5\n\"Dash Dot\"\t0.25 // mm\nSolid\nWavy\t1.0\n"
                         "User_Defined\t0.1\n")}}));
  // The device settings: every line, with names inside and outside the
  // vocabularies, the ownership blocks with "ALL", and the model texts.
  static const char* const kSettings[] = {
      "8",
      "4",
      "60.5 // cm/s",
      "30",
      "MediaSizeByMediaSource = 0x1\tMediaSizeByMediaSize = 0x2",
      "MediaSizeByMediaSize = 0x2\tBogus",
      "0.5",
      "99",
      "None = 0x1\tLong = 0x2\t\tShort = 0x4",
      "Short",
      "Y",
      "y",
      "N",
      "Family",
      "y",
      "N",
      "yes",
      "Y",
      "2.0",
      "0.1",
      "5",
      "Full Motion Optimization",
      "0.25",
      "Limited Motion Optimzation",
      "x",
      "x",
      "Y",
      "\"Colour Best\"",
      "\"Roll 1\"",
      "ISO A4",
      "Bin",
      "\"Plain Paper\"",
      "x",
      "Y",
      "x",
      "2.4.0",
      "Plotter",
      "914.4",
      "15000",
      "0",
      "LinetypeScale\tLinetypeAdaptive\tnone",
      "ALL",
      "PostInitString",
      "",
      "TerminationString\tALL extra",
      "ALL",
      "PenColor\tPenWidth",
      "",
      "NumberOfPens",
      "ALL",
      "Resolution\tColorDepth",
      "ALL",
      "ICMIntent\tBogus",
      "ALL",
      "Portname\tProtocol",
      "",
      "PlotToFile\tPathname",
      "ALL",
      "Type\tSource",
      "ALL",
      "Size\tDuplexingMode",
      "\"RS232\"",
      "plt",
      "Y",
      "N",
      "Y",
      "after the last line",
  };
  std::string settings;
  for (const char* value : kSettings) settings += std::string("label\t") + value + "\n";
  write(target, "device-settings",
        pdt_pack({{kv_pdt_misc_non_localizable_info, table(settings)},
                  {kv_pdt_misc_localizable_information, table("Model\tY\nFamily\nTag\tN\n")},
                  {kv_pdt_media_size, table("A\t\t\tLandscape\nB\t\t\tPortrait\n")},
                  {kPdtKeyTextFile,
                   "ORVA_MISC_LOCALIZABLE_INFORMATION_B3 \"Plotter\"\n"
                   "ORVA_MISC_LOCALIZABLE_INFORMATION_B5 \"Tag line\"\n"}}));
  write(target, "device-settings-short",
        pdt_pack({{kv_pdt_misc_non_localizable_info, table("label\t3\nlabel\t0\nno line break")}}));
}

}  // namespace

void pdt_seeds(void (*write)(const std::string& target, const std::string& name,
                             const std::string& bytes),
               const fs::path& corpus) {
  const std::string target = "pdt_load";
  const Files example = example_set(corpus);
  if (!example.empty()) write(target, "example-set", pdt_pack(example));

  write(target, "empty-set", "");
  write(target, "media-sizes",
        pdt_pack(
            {{kv_pdt_media_size, table("\"ISO A4\"\t\t\tLandscape // wide\t\"ISO A4\"\n"
                                       "\t\t\tPortrait\n"
                                       "A3\t\t\tP\tA3\n"
                                       "last line without a break")},
             {kPdtKeyTextFile, "ORVA_MEDIA_SIZE_C3 \"A4\"\n  ORVA_MEDIA_SIZE_C5 \"A3\" more\n"}}));
  write(target, "media-sources",
        pdt_pack({{kv_pdt_media_source_entry,
                   table("\t\t\t\t\tLoose\nTray\t\tA4\t210\t297\tA4\n\t\t\t\t\tA3\n"
                         "Roll\t\tR\t914.4\t\tR\n")},
                  {kv_pdt_media_source,
                   table("T\t\tSheetFeeder\tTray\tTray\n\t\t\tRoll\nB\t\tConveyor\tNone\n"
                         "Q\t\tNone\t\"\"\t\"\"\n")},
                  {kv_pdt_media_description,
                   table("A4\t\tISO\t\tU\t\t\t1.5\t\t\t\t\t210\t297\t5\t5\t205\t292\n"
                         "X\t\tBogus\t\tY\n")}}));
  write(target, "media-destinations",
        pdt_pack({{kv_pdt_media_collating, table("C\t\tRegular\nD\t\tregular\n")},
                  {kv_pdt_media_cutting, table("P\t\tEndofpage\nN\t\tNone\n")},
                  {kv_pdt_media_folding, table("Z\t\tZfold\tEndofset\nF\t\tFan\tNone\n")},
                  {kv_pdt_media_stapling, table("S\t\tPortraitUL\tEndofset\t90\nT\t\tTop\tx\tx\n")},
                  {kv_pdt_media_destination,
                   table("\t\t\t\t\t\tC\nBin\t\tC\tS\tP\tZ\tC\tS\tP\tZ\n\t\t\t\t\t\tD\tT\tN\tF\n"
                         "Empty\n")},
                  {kv_pdt_media_type, table("Plain\t\t600\t300\t30\nFilm\t\t\t\t120 // s\n")}}));
  write(target, "io-methods",
        pdt_pack({{kv_pdt_protocol, table("\"8 N 1\"\t\tDataBits_8\tOneStopBit = ONESTOPBIT\tNone\n"
                                          "7E2\t\tDataBits_7\tTwoStopBits = TWOSTOPBITS\tEven\n")},
                  {kv_pdt_io_method,
                   table("\t\t\t\t\t\t\t\t\t\t\t\t\t50\n"
                         "RS232\tModel = 0x1\t8_N_1\t120\t5\t60\t1\t30\t15\tRts_Enable = 0x10\t"
                         "9600\t8_N_1\tDtr_Enable = 0x100\t9600\n"
                         "\tJams\t7E2\t\t\t\t\t\t\tRts_Enable\t\t\tCts = 0x4\t19200\n"
                         "USB\t\t\t1\n"
                         "File\t\t\t\t\t\t\t0\n"
                         "RS232\t\t\t\t\t7\n")}}));
  write(target, "key-texts",
        pdt_pack({{kv_pdt_media_type, table("A\nB\nC\nD\n")},
                  {kPdtKeyTextFile,
                   "\xEF\xBB\xBFORVA_MEDIA_TYPE_B3 \"first\"\n"
                   "\tORVA_MEDIA_TYPE_B4 \"tab first\"\n"
                   "ORVA_MEDIA_TYPE_B4\t\"tab before the quote\"\n"
                   "ORVA_MEDIA_TYPE_B5 \"open\n"
                   "ORVA_MEDIA_TYPE_B6 no quote\n"
                   "ORVA_MEDIA_TYPE_B6 \"" +
                       std::string(300, 'x') +
                       "\xF0\x9F\x96\xA8\"\n"
                       "ORVA_MEDIA_TYPE_B3 \"later\"\n"}}));
  write(target, "long-lines",
        pdt_pack(
            {{kv_pdt_media_source, table(std::string(3000, 'n') + "\tx\n" + std::string(2047, 'm') +
                                         "\n" + "S\t\t" + std::string(2100, 'f') + "\n")}}));
  write(target, "high-bytes",
        pdt_pack(
            {{kv_pdt_media_type, table(std::string("Gl\xE4nzend\t\t1\x80\t2\n\xFF\xFE\t\t3\n", 22) +
                                       std::string("zero\0byte\t\t1\n", 13))}}));
  write(target, "crlf",
        pdt_pack({{kv_pdt_media_size, "h1\r\nh2\r\nA4\t\t\tLandscape\r\nA3\t\t\tP\r\n"}}));
  std::string version = "h\n";
  for (int i = 1; i < 62; ++i) version += "f" + std::to_string(i) + "\t";
  write(target, "version", pdt_pack({{kv_pdt_global_static_lists, version + "1.0 // v\n"}}));
  write(target, "missing-file", pdt_pack({{-1 - kv_pdt_media_type, ""}}));
  write(target, "missing-key-texts", pdt_pack({{-1 - kPdtKeyTextFile, ""}}));
  capability_seeds(write, target);
}
