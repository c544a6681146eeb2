// Copyright the kvstore authors.
//
// DPIA files and the Huffman codec against their peers, in one run:
//   dpia_save / dpia_load   a DPIA file of 100 sections (save, and a full
//                           load: the directory and every section) against
//                           a compressed PIA file of the same sub-trees
//   section_of_N            load_section of one section out of 1, 10 and 100
//                           against a compressed PIA load of that section's
//                           sub-tree alone
//   huff_encode / decode    KV_Huffman_Codec against zlib's Huffman-only
//                           deflate (Z_HUFFMAN_ONLY) and inflate of the same
//                           bytes (PIA body text), 1 kB and 10 MB
//
// Names are <operation>/<library>/<size>, as in kv_bench; bench/report.py
// prints them as the second table of bench/README.md. Times are the
// thread's CPU time (user and system), so that other processes on the
// machine do not count, and the table shows the fastest of 9 repetitions. --kv_section_props
// sets the properties of one section (default 1000).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_harness.h"
#include "bench/bench_trees.h"
#include "kvstore/kvstore.h"

namespace {

constexpr int kSections = 100;

std::u16string section_name(int k) {
  const std::string name = "profile-" + std::to_string(k);
  return std::u16string(name.begin(), name.end());
}

// Section k of a file holds the configuration of props + k properties (each
// section different, so that one PIA file of all of them cannot borrow
// matches from a copy) below \P\profile-k\data, with an info text.
void add_section(KV_Object& object, int k, std::size_t props) {
  Config config = make_config(props + static_cast<std::size_t>(k));
  const std::u16string base = u"\\P\\" + section_name(k);
  for (Setting& s : config.settings) s.path = base + u"\\data" + s.path;
  kv_build(config, object);
  object.SetProperty((base + u"\\info").c_str(), u"a device profile for the benchmark");
}

// ---- DPIA against compressed PIA.

struct SectionFiles {
  explicit SectionFiles(std::size_t props);
  ~SectionFiles();

  std::size_t props = 0;
  std::unique_ptr<KV_Object> tree;  // \P with kSections sections
  fs::path dpia, pia;
  std::u16string dpia16, pia16;
  std::size_t total_props = 0;
  std::size_t dpia_bytes = 0;
  // One section in files of 1, 10 and 100 sections, and its sub-tree alone.
  fs::path of[3], alone;
  std::u16string of16[3], alone16;
};

const int kOf[3] = {1, 10, 100};

SectionFiles::SectionFiles(std::size_t count) : props(count) {
  tree = std::make_unique<KV_Object>();
  for (int k = 0; k < kSections; ++k) add_section(*tree, k, props);
  total_props = count_props(*tree, u"\\P");
  dpia = temp_file("all.dpia");
  pia = temp_file("all.pia");
  dpia16 = widen_path(dpia);
  pia16 = widen_path(pia);
  tree->save(dpia16.c_str(), KV_Object::FT_DPIA, u"", u"\\P");
  tree->save(pia16.c_str(), KV_Object::FT_PIA, u"compress", u"\\P");
  dpia_bytes = fs::file_size(dpia);

  // The files of 1 and 10 sections hold the first sections of the tree.
  for (int i = 0; i < 3; ++i) {
    KV_Object part;
    for (int k = 0; k < kOf[i]; ++k) add_section(part, k, props);
    of[i] = temp_file("of" + std::to_string(kOf[i]) + ".dpia");
    of16[i] = widen_path(of[i]);
    part.save(of16[i].c_str(), KV_Object::FT_DPIA, u"", u"\\P");
  }
  alone = temp_file("alone.pia");
  alone16 = widen_path(alone);
  const std::u16string data = u"\\P\\" + section_name(0) + u"\\data";
  tree->save(alone16.c_str(), KV_Object::FT_PIA, u"compress", data.c_str());

  // Everything must load back whole, or the timings would mean nothing.
  KV_Object all;
  for (int k = 0; k < kSections; ++k) {
    const std::u16string name = section_name(k);
    all.load_section(dpia16.c_str(), KV_Object::FT_DPIA, (u"\\P\\" + name + u"\\data").c_str(),
                     name.c_str());
  }
  KV_Object packed;
  packed.load(pia16.c_str(), KV_Object::FT_PIA, u"\\P");
  const std::size_t in_sections = count_props(all, u"\\P");
  if (in_sections + kSections != total_props || count_props(packed, u"\\P") != total_props) {
    die("the files do not load back whole");
  }
}

SectionFiles::~SectionFiles() {
  std::error_code ignored;
  for (const fs::path& p : {dpia, pia, of[0], of[1], of[2], alone}) fs::remove(p, ignored);
}

DatasetCache<SectionFiles, std::size_t> files;

void dpia_save(benchmark::State& state, std::size_t props) {
  SectionFiles& f = files(props);
  for (auto _ : state) {
    fs::remove(f.dpia);
    state.SetIterationTime(
        cpu_seconds([&] { f.tree->save(f.dpia16.c_str(), KV_Object::FT_DPIA, u"", u"\\P"); }));
  }
  set_bytes(state, 0);
}

void pia_save(benchmark::State& state, std::size_t props) {
  SectionFiles& f = files(props);
  for (auto _ : state) {
    fs::remove(f.pia);
    state.SetIterationTime(cpu_seconds(
        [&] { f.tree->save(f.pia16.c_str(), KV_Object::FT_PIA, u"compress", u"\\P"); }));
  }
  set_bytes(state, 0);
}

// The whole file: the directory, then every section below its own path.
void dpia_load(benchmark::State& state, std::size_t props) {
  SectionFiles& f = files(props);
  std::vector<std::u16string> names, paths;
  for (int k = 0; k < kSections; ++k) {
    names.push_back(section_name(k));
    paths.push_back(u"\\P\\" + names.back() + u"\\data");
  }
  for (auto _ : state) {
    auto object = std::make_unique<KV_Object>();
    state.SetIterationTime(cpu_seconds([&] {
      object->load(f.dpia16.c_str(), KV_Object::FT_DPIA, u"\\P");
      for (int k = 0; k < kSections; ++k) {
        object->load_section(f.dpia16.c_str(), KV_Object::FT_DPIA, paths[k].c_str(),
                             names[k].c_str());
      }
    }));
  }
  set_bytes(state, 0);
}

void pia_load(benchmark::State& state, std::size_t props) {
  SectionFiles& f = files(props);
  for (auto _ : state) {
    auto object = std::make_unique<KV_Object>();
    state.SetIterationTime(
        cpu_seconds([&] { object->load(f.pia16.c_str(), KV_Object::FT_PIA, u"\\P"); }));
  }
  set_bytes(state, 0);
}

void section_of(benchmark::State& state, std::size_t props, int which) {
  SectionFiles& f = files(props);
  const std::u16string name = section_name(0);
  for (auto _ : state) {
    auto object = std::make_unique<KV_Object>();
    state.SetIterationTime(cpu_seconds([&] {
      object->load_section(f.of16[which].c_str(), KV_Object::FT_DPIA, u"\\s", name.c_str());
    }));
  }
  set_bytes(state, 0);
}

void section_alone(benchmark::State& state, std::size_t props) {
  SectionFiles& f = files(props);
  for (auto _ : state) {
    auto object = std::make_unique<KV_Object>();
    state.SetIterationTime(
        cpu_seconds([&] { object->load(f.alone16.c_str(), KV_Object::FT_PIA, u"\\s"); }));
  }
  set_bytes(state, 0);
}

// ---- Huffman against zlib's Huffman-only deflate.

struct CodecData {
  explicit CodecData(std::size_t size);

  std::size_t size = 0;
  std::string text;
  std::vector<unsigned char> block;     // KV_Huffman_Codec
  std::vector<unsigned char> deflated;  // deflate Z_HUFFMAN_ONLY
};

std::string g_body;

// The PIA body text of a large configuration, cut to size bytes.
CodecData::CodecData(std::size_t count) : size(count) {
  // About 22 bytes of body text a property.
  for (std::size_t props = size / 20 + 100; g_body.size() < size; props += props / 2) {
    KV_Object object;
    kv_build(make_config(props), object);
    std::stringstream text;
    object.save(&text, KV_Object::FT_PIA, u"", u"\\");
    g_body = text.str();
    g_body.erase(0, g_body.find("\r\n") + 2);
  }
  text = g_body.substr(0, size);
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  encode_pass<KV_Huffman_Codec>(in, size, &block);

  z_stream z{};
  deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_HUFFMAN_ONLY);
  deflated.resize(deflateBound(&z, size));
  z.next_in = const_cast<Bytef*>(in);
  z.avail_in = static_cast<uInt>(size);
  z.next_out = deflated.data();
  z.avail_out = static_cast<uInt>(deflated.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) die("deflate failed");
  deflated.resize(deflated.size() - z.avail_out);
  deflateEnd(&z);

  // Both must restore the text.
  std::vector<unsigned char> decoded;
  decode_pass<KV_Huffman_Codec>(block.data(), block.size(), &decoded);
  if (decoded.size() != size || std::memcmp(decoded.data(), in, size) != 0) {
    die("Huffman decode failed");
  }
  std::vector<unsigned char> back(size);
  uLongf length = size;
  if (uncompress(back.data(), &length, deflated.data(), deflated.size()) != Z_OK ||
      length != size || std::memcmp(back.data(), in, size) != 0) {
    die("inflate failed");
  }
}

DatasetCache<CodecData, std::size_t> codec_data;

void huff_encode(benchmark::State& state, std::size_t size) {
  CodecData& d = codec_data(size);
  const auto* in = reinterpret_cast<const unsigned char*>(d.text.data());
  for (auto _ : state) {
    state.SetIterationTime(cpu_seconds([&] { encode_pass<KV_Huffman_Codec>(in, size); }));
  }
  set_bytes(state, size);
  state.counters["out"] = static_cast<double>(d.block.size());
}

void zlib_huff_encode(benchmark::State& state, std::size_t size) {
  CodecData& d = codec_data(size);
  const auto* in = reinterpret_cast<const unsigned char*>(d.text.data());
  for (auto _ : state) {
    state.SetIterationTime(cpu_seconds([&] {
      z_stream z{};
      if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_HUFFMAN_ONLY) != Z_OK) {
        die("deflateInit2 failed");
      }
      const uLong bound = deflateBound(&z, size);
      auto* out = static_cast<Bytef*>(std::malloc(bound));
      z.next_in = const_cast<Bytef*>(in);
      z.avail_in = static_cast<uInt>(size);
      z.next_out = out;
      z.avail_out = static_cast<uInt>(bound);
      if (deflate(&z, Z_FINISH) != Z_STREAM_END) die("deflate failed");
      deflateEnd(&z);
      std::free(out);
    }));
  }
  set_bytes(state, size);
  state.counters["out"] = static_cast<double>(d.deflated.size());
}

void huff_decode(benchmark::State& state, std::size_t size) {
  CodecData& d = codec_data(size);
  for (auto _ : state) {
    state.SetIterationTime(
        cpu_seconds([&] { decode_pass<KV_Huffman_Codec>(d.block.data(), d.block.size()); }));
  }
  set_bytes(state, size);
}

void zlib_huff_decode(benchmark::State& state, std::size_t size) {
  CodecData& d = codec_data(size);
  for (auto _ : state) {
    state.SetIterationTime(cpu_seconds([&] {
      z_stream z{};
      if (inflateInit(&z) != Z_OK) die("inflateInit failed");
      auto* out = static_cast<Bytef*>(std::malloc(size + 1));
      z.next_in = d.deflated.data();
      z.avail_in = static_cast<uInt>(d.deflated.size());
      z.next_out = out;
      z.avail_out = static_cast<uInt>(size);
      if (inflate(&z, Z_FINISH) != Z_STREAM_END) die("inflate failed");
      inflateEnd(&z);
      out[size] = 0;
      std::free(out);
    }));
  }
  set_bytes(state, size);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args(argv, argv + argc);
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave);
  argc = static_cast<int>(args.size());
  argv = args.data();
  benchmark::Initialize(&argc, argv);
  const std::vector<std::size_t> section_props =
      parse_sizes(argc, argv, "--kv_section_props=", "1000");
  if (section_props.size() != 1) die("--kv_section_props= takes one number");
  const std::size_t props = section_props.front();
  // Every repetition is reported: bench/report.py takes the fastest. With
  // the repetitions of all benchmarks interleaved at random (above), a spell
  // of load from other processes cannot favour one side of a comparison.
  Timing t;
  t.repetitions = 9;
  t.aggregates_only = false;
  t.min_time = 0.1;
  // Sizes in the names: the properties of the whole file, of one section.
  const std::size_t total = kSections * props;
  add("dpia_save", "kvstore", total, t, dpia_save, props);
  add("dpia_save", "pia", total, t, pia_save, props);
  add("dpia_load", "kvstore", total, t, dpia_load, props);
  add("dpia_load", "pia", total, t, pia_load, props);
  for (int i = 0; i < 3; ++i) {
    add("section_of_" + std::to_string(kOf[i]), "kvstore", props, t, section_of, props, i);
  }
  add("section_alone", "pia", props, t, section_alone, props);
  for (std::size_t size : {std::size_t{1000}, std::size_t{10000000}}) {
    add("huff_encode", "kvstore", size, t, huff_encode, size);
    add("huff_encode", "zlib", size, t, zlib_huff_encode, size);
    add("huff_decode", "kvstore", size, t, huff_decode, size);
    add("huff_decode", "zlib", size, t, zlib_huff_decode, size);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  files.reset();
  codec_data.reset();
  return 0;
}
