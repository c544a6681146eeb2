// Copyright the kvstore authors.
//
// The import of driver description sets against a plain PIA load of the tree
// that the import produces, on generated sets of 100 to 100,000 data lines:
//   pdt_import/kvstore/<lines>   KV_Object::load with FT_PDT
//   pdt_import/pia_load/<lines>  KV_Object::load with FT_PIA of that tree,
//                                saved as a plain PIA file
// A generated set fills the list files that the import converts: media
// descriptions and sizes, media types, source entries with a size name on a
// second line, sources naming them, collating options and destinations
// naming them; memory areas, resolutions with a second memory area, and
// combinations naming five resolutions each; custom capabilities with four
// list values, dithering methods with a 4 x 4 matrix; and I/O methods with
// a protocol and a baud rate a line. Every named line has its localizable
// text in the key-text file. bench/report_pdt.py turns the JSON output into the
// table of bench/README.md. Sizes come from --kv_lines=100,1000 (default:
// 100 to 100,000).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "bench/bench_harness.h"
#include "kvstore/kvstore.h"
#include "testutil/pdt_files.h"

namespace {

// A generated set of about `lines` data lines in a folder of its own, and
// the same tree saved as a plain PIA file beside it.
struct GeneratedSet {
  fs::path folder;
  std::u16string keys;
  std::u16string pia;
  std::size_t properties = 0;
  std::size_t bytes = 0;  // of all files of the set
};

GeneratedSet generate(const fs::path& root, std::size_t lines) {
  GeneratedSet set;
  set.folder = root / ("set-" + std::to_string(lines));
  fs::create_directories(set.folder);
  std::map<std::string, std::string> files;
  for (const std::string& name : pdt_file_names())
    files[name] = "Name\tText\tField 3\tField 4\nrow 2\n";
  std::string keys = "Generated texts\n";
  auto key = [&keys](const char* prefix, char column, std::size_t row, const std::string& text) {
    keys += std::string("ORVA_") + prefix + column + std::to_string(row) + " \"" + text + "\"\n";
  };

  // Shares of the data lines: media (descriptions and sizes, types, source
  // entries and sources, collating options and destinations) and
  // resolutions (with their memory areas and combinations) about a third
  // each, custom capabilities and dithering methods a seventh, I/O methods
  // the rest (a fifth).
  const std::size_t sizes = lines / 10;  // and as many descriptions
  const std::size_t types = lines / 20;
  const std::size_t entries = lines / 40;  // two lines each
  const std::size_t sources = lines / 40;
  const std::size_t options = lines / 80;       // collating options and destinations
  const std::size_t areas = lines / 100 + 1;    // memory areas
  const std::size_t resolutions = lines / 10;   // two lines each
  const std::size_t combinations = lines / 50;  // five lines each
  const std::size_t customs = lines / 40;       // four lines each
  const std::size_t ditherings = lines / 100;   // four lines each
  const std::size_t used = 2 * sizes + types + 2 * entries + sources + 2 * options + areas +
                           2 * resolutions + 5 * combinations + 4 * customs + 4 * ditherings;
  const std::size_t methods = lines > used ? lines - used : 0;
  static const char* const kGroups[] = {"ISO", "ANSI", "ARCH_expand", "JIS", "UserDefined"};
  for (std::size_t i = 0; i < sizes; ++i) {
    const std::string name = "\"Size " + std::to_string(i) + "\"";
    files["Media Description"] += name + "\t\t" + kGroups[i % 5] + "\tmm\tY\t\t\t" +
                                  std::to_string(i) + ".5\t\t\t\t\t210.0\t297.0\t5\t5\t205\t292\n";
    files["Media Size"] +=
        name + "\t\t\t" + (i % 2 ? "Landscape" : "Portrait") + "\t" + name + " // generated\n";
    key("MEDIA_SIZE_", 'C', i + 3, "Size " + std::to_string(i) + " (210 × 297 mm)");
  }
  for (std::size_t i = 0; i < types; ++i) {
    files["Media Type"] += "Type_" + std::to_string(i) + "\t\t600\t1200.5\t30\n";
    key("MEDIA_TYPE_", 'B', i + 3, "Media type " + std::to_string(i));
  }
  for (std::size_t i = 0; i < entries; ++i) {
    files["Media Source Entry"] +=
        "Entry_" + std::to_string(i) + "\t\tSize_0\t914.4\t1800\tSize_0\n\t\t\t\t\tSize_1\n";
    key("MEDIA_SOURCE_ENTRY_", 'B', 2 * i + 3, "Entry " + std::to_string(i));
  }
  for (std::size_t i = 0; i < sources; ++i) {
    files["Media Source"] += "Source_" + std::to_string(i) + "\t\tRollFeeder\tEntry_" +
                             std::to_string(entries ? i % entries : 0) + "\tEntry_0\n";
    key("MEDIA_SOURCE_", 'B', i + 3, "Source " + std::to_string(i));
  }
  for (std::size_t i = 0; i < options; ++i) {
    files["Media Collating"] += "Collate_" + std::to_string(i) + "\t\tRegular\n";
    files["Media Destination"] += "Bin_" + std::to_string(i) + "\t\tCollate_" + std::to_string(i) +
                                  "\t\t\t\tCollate_" + std::to_string(i) + "\n";
    key("MEDIA_COLLATING_", 'B', i + 3, "Collating " + std::to_string(i));
    key("MEDIA_DESTINATION_", 'B', i + 3, "Bin " + std::to_string(i));
  }
  for (std::size_t i = 0; i < areas; ++i) {
    files["Memory Area"] +=
        "Area_" + std::to_string(i) + "\t\t" + std::to_string(64 * (i + 1)) + "\t12.5\n";
    key("MEMORY_AREA_", 'B', i + 3, "Memory area " + std::to_string(i));
  }
  for (std::size_t i = 0; i < resolutions; ++i) {
    files["Resolution"] += "Res_" + std::to_string(i) +
                           "\t\t300\t300\t600\t600\t300\t300\tDither_0\tArea_" +
                           std::to_string(i % areas) + "\n\t\t\t\t\t\t\t\t\tArea_" +
                           std::to_string((i + 1) % areas) + "\n";
    key("RESOLUTION_", 'B', 2 * i + 3, "Resolution " + std::to_string(i));
  }
  for (std::size_t i = 0; i < combinations; ++i) {
    const std::string first = "Res_" + std::to_string(resolutions ? 4 * i % resolutions : 0);
    files["Resolution Color Memory"] += "Combination_" + std::to_string(i) +
                                        "\t\t16777216\t24\t256\tDirect_RGB\t" + first + "\t" +
                                        first + "\tY\n";
    for (std::size_t j = 1; j < 5; ++j) {
      files["Resolution Color Memory"] +=
          "\t\t\t\t\t\tRes_" + std::to_string(resolutions ? (4 * i + j) % resolutions : 0) + "\n";
    }
    key("RESOLUTION_COLOR_MEMORY_", 'B', 5 * i + 3, "Combination " + std::to_string(i));
  }
  for (std::size_t i = 0; i < customs; ++i) {
    files["Custom Capability"] += "\"Custom " + std::to_string(i) +
                                  "\"\t\tY\t2\t\t\tDT_Long\tN\t1\n\t\t\t\t\t\t\t\t2\n"
                                  "\t\t\t\t\t\t\t\t3\n\t\t\t\t\t\t\t\t4 // last\n";
    key("CUSTOM_CAPABILITY_", 'B', 4 * i + 3, "Custom capability " + std::to_string(i));
  }
  for (std::size_t i = 0; i < ditherings; ++i) {
    files["Dithering Method"] +=
        "Dither_" + std::to_string(i) +
        "\t\t2\tOrderedDithering\t1\t128\tFrameBuffer\t4\t4\tBayer\t0"
        "\t8\t2\t10\n\t\t\t\t\t\t\t\t\t\t12\t4\t14\t6\n"
        "\t\t\t\t\t\t\t\t\t\t3\t11\t1\t9\n\t\t\t\t\t\t\t\t\t\t15\t7\t13\t5\n";
    key("DITHERING_METHOD_", 'B', 4 * i + 3, "Dithering " + std::to_string(i));
  }
  files["Protocol "] += "8N1\t\tDataBits_8\tOneStopBit = ONESTOPBIT\tNone\n";
  static const char* const kTypes[] = {"RS232", "Parallel", "File", "Network", "System"};
  for (std::size_t i = 0; i < methods; ++i) {
    files["IO Method"] += std::string(i % 20 == 0 ? kTypes[i / 20 % 5] : "") +
                          "\tModel = 0x1\t8N1\t120\t5\t60\t1\t30\t15\tRts_Enable = 0x10\t9600\t"
                          "8N1\tDtr_Enable = 0x100\t9600\n";
  }
  for (const auto& [name, bytes] : files) {
    write_file(set.folder / (name + ".pdt"), bytes);
    set.bytes += bytes.size();
  }
  write_file(set.folder / "keys.txt", keys);
  set.bytes += keys.size();
  set.keys = widen_path(set.folder / "keys.txt");

  // The tree, saved as a plain PIA file; it is loaded back and compared, so
  // that both sides do the same work.
  KV_Object tree;
  tree.load(set.keys.c_str(), KV_Object::FT_PDT, u"\\Model");
  set.pia = widen_path(set.folder / "tree.pia");
  tree.save(set.pia.c_str(), KV_Object::FT_PIA, u"", u"\\");
  KV_Object back;
  back.load(set.pia.c_str(), KV_Object::FT_PIA, u"\\");
  if (render(tree) != render(back)) die("the PIA file does not give the imported tree back");
  set.properties = count_props(tree);
  return set;
}

fs::path g_root;
std::map<std::size_t, GeneratedSet> g_sets;

const GeneratedSet& set_of(std::size_t lines) {
  auto found = g_sets.find(lines);
  if (found == g_sets.end()) found = g_sets.emplace(lines, generate(g_root, lines)).first;
  return found->second;
}

void import_pdt(benchmark::State& state, std::size_t lines) {
  const GeneratedSet& set = set_of(lines);
  for (auto _ : state) {
    auto tree = std::make_unique<KV_Object>();
    state.SetIterationTime(
        seconds([&] { tree->load(set.keys.c_str(), KV_Object::FT_PDT, u"\\Model"); }));
  }
  state.counters["properties"] = static_cast<double>(set.properties);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set.bytes));
}

void load_pia(benchmark::State& state, std::size_t lines) {
  const GeneratedSet& set = set_of(lines);
  for (auto _ : state) {
    auto tree = std::make_unique<KV_Object>();
    state.SetIterationTime(seconds([&] { tree->load(set.pia.c_str(), KV_Object::FT_PIA, u"\\"); }));
  }
  state.counters["properties"] = static_cast<double>(set.properties);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // KV_BENCH_PDT_DIR keeps the generated sets (and their PIA twins) in that
  // folder, for a profiler or an instruction count.
  const char* keep = std::getenv("KV_BENCH_PDT_DIR");
  if (keep != nullptr) {
    g_root = keep;
    fs::create_directories(g_root);
  } else {
    std::string pattern = (fs::temp_directory_path() / "kv_bench_pdt-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) die("cannot make a temporary folder");
    g_root = pattern;
  }
  const Timing t;
  for (std::size_t n : parse_sizes(argc, argv, "--kv_lines=", "100,1000,10000,100000")) {
    add("pdt_import", "kvstore", n, t, import_pdt, n);
    add("pdt_import", "pia_load", n, t, load_pia, n);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  g_sets.clear();
  if (keep == nullptr) {
    std::error_code ignored;
    fs::remove_all(g_root, ignored);
  }
  return 0;
}
