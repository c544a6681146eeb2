// Copyright the kvstore authors.
//
// The readers of older plotter configuration files against a plain PIA load
// of the very tree they build:
//   pc2_load   a PC2 file of N key lines (pen, width and speed tables and the
//              pen names of the driver section, indexes beyond the default
//              ranges included), every default of the format filled first
//   pcp_load   a PCP file of N key lines: general settings, a default block
//              for all 255 pens and blocks for single pens
//   pens_load  a PCP file of one default block of N lines, each setting one
//              of the four pen keys of all 255 pens
// Each tree is saved as a plain PIA file; its load is the peer. Both files
// are loaded once and compared property by property before timing.
//
// Benchmarks are named <operation>/<library>/<key lines>, as in kv_bench;
// bench/report.py puts them into the table of bench/README.md. Sizes come
// from --kv_lines=100,1000 (default: 100, 1,000 and 10,000).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/bench_harness.h"
#include "kvstore/kvstore.h"

namespace {

// A PC2 file of exactly n key lines, spread over four sections.
std::string make_pc2(std::size_t n) {
  std::string text = "PC2Version 2.1\r\n";
  const char* const sections[] = {"Plotter/Device/PenTable", "Plotter/Device/WidthTable",
                                  "Plotter/Device/SpeedTable", "Plotter/DriverCustom"};
  for (std::size_t s = 0; s < 4; ++s) {
    text += "[" + std::string(sections[s]) + "]\r\n";
    const std::size_t lines = n / 4 + (s < n % 4 ? 1 : 0);
    for (std::size_t i = 1; i <= lines; ++i) {
      const std::string index = std::to_string(i);
      switch (s) {
        case 0:
          text += "Color" + index + "=" + std::to_string(i % 16) + "\r\n";
          break;
        case 1:
          text += "Color" + index + "=0." + std::to_string(25 + i % 50) + "\r\n";
          break;
        case 2:
          text += "Color" + index + "=" + std::to_string(10 + i % 50) + "\r\n";
          break;
        default:
          text += "PEN#" + index + "=\"pen " + index + "\"\r\n";
      }
    }
  }
  return text;
}

// A PCP file of exactly n key lines (n >= 20): 14 settings, a default block
// of 6 lines, then blocks of 6 lines for single pens and single settings to
// fill up.
std::string make_pcp(std::size_t n) {
  std::string text =
      ";Created by Orvane\r\n;For the driver: Pen plotters\r\n;For the device: Model 7\r\n";
  const char* const settings[] = {
      "VERSION=2.0",     "UNITS=M",      "ORIGIN=10.0,15.0", "SIZE=ISO_A1:841,594.0",
      "ROTATE=90",       "HIDE=N",       "PEN_WIDTH=0.25",   "SCALE=1=50",
      "PLOT_FILE=p.plt", "FILL_ADJUST=Y", "OPTIMIZE_LEVEL=2", "VERSION=2.1",
      "UNITS=I",         "ROTATE=0"};
  for (const char* line : settings) text += std::string(line) + "\r\n";
  text +=
      "BEGIN_COLOR=DEFAULT\r\nPEN_NUMBER=MOD16\r\nHW_LINETYPE=0\r\nPEN_SPEED=40\r\n"
      "PEN_WEIGHT=0.25\r\nEND_COLOR\r\n";
  std::size_t lines = 20;
  for (std::size_t pen = 1; lines + 6 <= n; ++pen, lines += 6) {
    const std::string p = std::to_string(pen);
    text += "BEGIN_COLOR=" + p + "\r\nPEN_NUMBER=" + std::to_string(pen % 32) +
            "\r\nHW_LINETYPE=" + std::to_string(pen % 7) + "\r\nPEN_SPEED=" +
            std::to_string(20 + pen % 30) + "\r\nPEN_WEIGHT=0." + std::to_string(10 + pen % 80) +
            "\r\nEND_COLOR\r\n";
  }
  for (; lines < n; ++lines) text += "ROTATE=" + std::to_string(lines % 360) + "\r\n";
  return text;
}

// A PCP file of one default block of n all-pens lines.
std::string make_pens(std::size_t n) {
  std::string text = ";Created by Orvane\r\nBEGIN_COLOR=DEFAULT\r\n";
  for (std::size_t i = 0; i < n; ++i) {
    const std::string v = std::to_string(i % 97);
    switch (i % 4) {
      case 0:
        text += "PEN_NUMBER=" + (i % 3 == 0 ? std::string("MOD16") : v) + "\r\n";
        break;
      case 1:
        text += "HW_LINETYPE=" + v + "\r\n";
        break;
      case 2:
        text += "PEN_SPEED=" + v + "\r\n";
        break;
      default:
        text += "PEN_WEIGHT=0." + v + "\r\n";
    }
  }
  return text + "END_COLOR\r\n";
}

struct Dataset {
  Dataset(const std::string& kind, std::size_t lines);
  ~Dataset();
  std::string kind;
  std::size_t lines;
  std::size_t properties = 0;
  std::size_t bytes = 0;
  KV_Object::FileType type;
  fs::path legacy, pia;
  std::u16string legacy16, pia16;
};

Dataset::Dataset(const std::string& k, std::size_t n) : kind(k), lines(n) {
  const bool pc2 = kind == "pc2";
  type = pc2 ? KV_Object::FT_PC2 : KV_Object::FT_PCP;
  legacy = temp_file(std::to_string(n) + "." + kind);
  pia = temp_file(std::to_string(n) + "_" + kind + ".pia");
  legacy16 = widen_path(legacy);
  pia16 = widen_path(pia);
  const std::string text = pc2 ? make_pc2(n) : kind == "pens" ? make_pens(n) : make_pcp(n);
  bytes = text.size();
  write_file(legacy, text);
  KV_Object tree;
  tree.load(legacy16.c_str(), type, u"\\");
  tree.save(pia16.c_str(), KV_Object::FT_PIA, u"", u"\\");
  KV_Object again;
  again.load(pia16.c_str(), KV_Object::FT_PIA, u"\\");
  const std::vector<std::string> a = render(tree), b = render(again);
  if (a != b) die(kind + ": the PIA file does not hold the same tree");
  properties = a.size();
}

Dataset::~Dataset() {
  std::error_code ignored;
  fs::remove(legacy, ignored);
  fs::remove(pia, ignored);
}

DatasetCache<Dataset, std::string, std::size_t> dataset;

// Times the load of the legacy file (pia false) or of its PIA twin.
void load(benchmark::State& state, const char* kind, std::size_t n, bool pia) {
  Dataset& d = dataset(kind, n);
  const std::u16string& file = pia ? d.pia16 : d.legacy16;
  const KV_Object::FileType type = pia ? KV_Object::FT_PIA : d.type;
  for (auto _ : state) {
    auto object = std::make_unique<KV_Object>();
    state.SetIterationTime(seconds([&] { object->load(file.c_str(), type, u"\\"); }));
  }
  set_counters(state, d.properties, pia ? fs::file_size(d.pia) : d.bytes);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::vector<std::size_t> sizes = parse_sizes(argc, argv, "--kv_lines=", "100,1000,10000");
  for (std::size_t n : sizes) {
    if (n < 20) die("a file has at least 20 key lines");
  }
  const Timing t;
  for (std::size_t n : sizes) {
    for (const char* kind : {"pc2", "pcp", "pens"}) {
      const std::string op = std::string(kind) + "_load";
      add(op, "kvstore", n, t, load, kind, n, false);
      add(op, "pia", n, t, load, kind, n, true);
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  dataset.reset();
  return 0;
}
