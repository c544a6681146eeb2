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
#include <unistd.h>
#include <zlib.h>

#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_trees.h"
#include "kvstore/kvstore.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSections = 100;

[[noreturn]] void die(const std::string& what) {
  std::fprintf(stderr, "kv_bench_dpia: %s\n", what.c_str());
  std::exit(2);
}

std::u16string widen(const std::string& s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) die("the temporary folder's path must be ASCII");
  }
  return std::u16string(s.begin(), s.end());
}

fs::path temp_file(const std::string& name) {
  return fs::temp_directory_path() / ("kv_bench_dpia_" + std::to_string(::getpid()) + "_" + name);
}

// The time the thread spent running (user and system), not the time that
// passed: on a machine shared with other builds the wall clock counts every
// moment the thread waited for a core, which says nothing about either side.
double thread_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <typename F>
double seconds(F&& f) {
  const double start = thread_seconds();
  f();
  return thread_seconds() - start;
}

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

std::size_t count_props(const KV_Object& object, const char16_t* path) {
  std::unique_ptr<KV_Iterator> it(object.newIterator(path, 0));
  if (it == nullptr) return 0;
  std::size_t n = 0;
  char* data = nullptr;
  std::size_t size = 0;
  PropType type;
  auto props = [&] {
    while (it->nextProp(data, size, type) != nullptr) ++n;
  };
  props();
  KV_Object::NodeType move;
  while (it->nextNode(move) != nullptr) {
    if (move != KV_Object::NODE_UP) props();
  }
  KV_Mem_Obj::operator delete(data);
  return n;
}

// ---- DPIA against compressed PIA.

struct SectionFiles {
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

std::unique_ptr<SectionFiles> g_files;

SectionFiles& files(std::size_t props) {
  if (g_files != nullptr && g_files->props == props) return *g_files;
  g_files = std::make_unique<SectionFiles>();
  SectionFiles& f = *g_files;
  f.props = props;
  f.tree = std::make_unique<KV_Object>();
  for (int k = 0; k < kSections; ++k) add_section(*f.tree, k, props);
  f.total_props = count_props(*f.tree, u"\\P");
  f.dpia = temp_file("all.dpia");
  f.pia = temp_file("all.pia");
  f.dpia16 = widen(f.dpia.string());
  f.pia16 = widen(f.pia.string());
  f.tree->save(f.dpia16.c_str(), KV_Object::FT_DPIA, u"", u"\\P");
  f.tree->save(f.pia16.c_str(), KV_Object::FT_PIA, u"compress", u"\\P");
  f.dpia_bytes = fs::file_size(f.dpia);

  // The files of 1 and 10 sections hold the first sections of the tree.
  for (int i = 0; i < 3; ++i) {
    KV_Object part;
    for (int k = 0; k < kOf[i]; ++k) add_section(part, k, props);
    f.of[i] = temp_file("of" + std::to_string(kOf[i]) + ".dpia");
    f.of16[i] = widen(f.of[i].string());
    part.save(f.of16[i].c_str(), KV_Object::FT_DPIA, u"", u"\\P");
  }
  f.alone = temp_file("alone.pia");
  f.alone16 = widen(f.alone.string());
  const std::u16string data = u"\\P\\" + section_name(0) + u"\\data";
  f.tree->save(f.alone16.c_str(), KV_Object::FT_PIA, u"compress", data.c_str());

  // Everything must load back whole, or the timings would mean nothing.
  KV_Object all;
  for (int k = 0; k < kSections; ++k) {
    const std::u16string name = section_name(k);
    all.load_section(f.dpia16.c_str(), KV_Object::FT_DPIA, (u"\\P\\" + name + u"\\data").c_str(),
                     name.c_str());
  }
  KV_Object packed;
  packed.load(f.pia16.c_str(), KV_Object::FT_PIA, u"\\P");
  const std::size_t in_sections = count_props(all, u"\\P");
  if (in_sections + kSections != f.total_props || count_props(packed, u"\\P") != f.total_props) {
    die("the files do not load back whole");
  }
  return f;
}

void remove_files() {
  if (g_files == nullptr) return;
  std::error_code ignored;
  for (const fs::path& p : {g_files->dpia, g_files->pia, g_files->of[0], g_files->of[1],
                            g_files->of[2], g_files->alone}) {
    fs::remove(p, ignored);
  }
  g_files.reset();
}

void set_counters(benchmark::State& state, std::size_t bytes) {
  state.counters["bytes"] = static_cast<double>(bytes);
}

void dpia_save(benchmark::State& state, std::size_t props) {
  SectionFiles& f = files(props);
  for (auto _ : state) {
    fs::remove(f.dpia);
    state.SetIterationTime(
        seconds([&] { f.tree->save(f.dpia16.c_str(), KV_Object::FT_DPIA, u"", u"\\P"); }));
  }
  set_counters(state, 0);
}

void pia_save(benchmark::State& state, std::size_t props) {
  SectionFiles& f = files(props);
  for (auto _ : state) {
    fs::remove(f.pia);
    state.SetIterationTime(
        seconds([&] { f.tree->save(f.pia16.c_str(), KV_Object::FT_PIA, u"compress", u"\\P"); }));
  }
  set_counters(state, 0);
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
    state.SetIterationTime(seconds([&] {
      object->load(f.dpia16.c_str(), KV_Object::FT_DPIA, u"\\P");
      for (int k = 0; k < kSections; ++k) {
        object->load_section(f.dpia16.c_str(), KV_Object::FT_DPIA, paths[k].c_str(),
                             names[k].c_str());
      }
    }));
  }
  set_counters(state, 0);
}

void pia_load(benchmark::State& state, std::size_t props) {
  SectionFiles& f = files(props);
  for (auto _ : state) {
    auto object = std::make_unique<KV_Object>();
    state.SetIterationTime(
        seconds([&] { object->load(f.pia16.c_str(), KV_Object::FT_PIA, u"\\P"); }));
  }
  set_counters(state, 0);
}

void section_of(benchmark::State& state, std::size_t props, int which) {
  SectionFiles& f = files(props);
  const std::u16string name = section_name(0);
  for (auto _ : state) {
    auto object = std::make_unique<KV_Object>();
    state.SetIterationTime(seconds([&] {
      object->load_section(f.of16[which].c_str(), KV_Object::FT_DPIA, u"\\s", name.c_str());
    }));
  }
  set_counters(state, 0);
}

void section_alone(benchmark::State& state, std::size_t props) {
  SectionFiles& f = files(props);
  for (auto _ : state) {
    auto object = std::make_unique<KV_Object>();
    state.SetIterationTime(
        seconds([&] { object->load(f.alone16.c_str(), KV_Object::FT_PIA, u"\\s"); }));
  }
  set_counters(state, 0);
}

// ---- Huffman against zlib's Huffman-only deflate.

struct CodecData {
  std::size_t size = 0;
  std::string text;
  std::vector<unsigned char> block;     // KV_Huffman_Codec
  std::vector<unsigned char> deflated;  // deflate Z_HUFFMAN_ONLY
};

std::unique_ptr<CodecData> g_codec;
std::string g_body;

// The PIA body text of a large configuration, cut to size bytes.
CodecData& codec_data(std::size_t size) {
  if (g_codec != nullptr && g_codec->size == size) return *g_codec;
  // About 22 bytes of body text a property.
  for (std::size_t props = size / 20 + 100; g_body.size() < size; props += props / 2) {
    KV_Object object;
    kv_build(make_config(props), object);
    std::stringstream text;
    object.save(&text, KV_Object::FT_PIA, u"", u"\\");
    g_body = text.str();
    g_body.erase(0, g_body.find("\r\n") + 2);
  }
  g_codec = std::make_unique<CodecData>();
  CodecData& d = *g_codec;
  d.size = size;
  d.text = g_body.substr(0, size);
  const auto* in = reinterpret_cast<const unsigned char*>(d.text.data());
  KV_Huffman_Codec codec(in, static_cast<uint32_t>(size));
  unsigned char* out = nullptr;
  uint32_t outSize = 0;
  if (!codec.encode(out, outSize)) die("Huffman encode failed");
  d.block.assign(out, out + outSize);
  KV_Mem_Obj::operator delete(out);

  z_stream z{};
  deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_HUFFMAN_ONLY);
  d.deflated.resize(deflateBound(&z, size));
  z.next_in = const_cast<Bytef*>(in);
  z.avail_in = static_cast<uInt>(size);
  z.next_out = d.deflated.data();
  z.avail_out = static_cast<uInt>(d.deflated.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) die("deflate failed");
  d.deflated.resize(d.deflated.size() - z.avail_out);
  deflateEnd(&z);

  // Both must restore the text.
  KV_Huffman_Codec decoder(d.block.data(), static_cast<uint32_t>(d.block.size()));
  if (!decoder.decode(out, outSize) || outSize != size || std::memcmp(out, in, size) != 0) {
    die("Huffman decode failed");
  }
  KV_Mem_Obj::operator delete(out);
  std::vector<unsigned char> back(size);
  uLongf length = size;
  if (uncompress(back.data(), &length, d.deflated.data(), d.deflated.size()) != Z_OK ||
      length != size || std::memcmp(back.data(), in, size) != 0) {
    die("inflate failed");
  }
  return d;
}

void huff_encode(benchmark::State& state, std::size_t size) {
  CodecData& d = codec_data(size);
  const auto* in = reinterpret_cast<const unsigned char*>(d.text.data());
  for (auto _ : state) {
    state.SetIterationTime(seconds([&] {
      KV_Huffman_Codec codec(in, static_cast<uint32_t>(size));
      unsigned char* out = nullptr;
      uint32_t outSize = 0;
      if (!codec.encode(out, outSize)) die("encode failed");
      KV_Mem_Obj::operator delete(out);
    }));
  }
  set_counters(state, size);
  state.counters["out"] = static_cast<double>(d.block.size());
}

void zlib_huff_encode(benchmark::State& state, std::size_t size) {
  CodecData& d = codec_data(size);
  const auto* in = reinterpret_cast<const unsigned char*>(d.text.data());
  for (auto _ : state) {
    state.SetIterationTime(seconds([&] {
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
  set_counters(state, size);
  state.counters["out"] = static_cast<double>(d.deflated.size());
}

void huff_decode(benchmark::State& state, std::size_t size) {
  CodecData& d = codec_data(size);
  for (auto _ : state) {
    state.SetIterationTime(seconds([&] {
      KV_Huffman_Codec codec(d.block.data(), static_cast<uint32_t>(d.block.size()));
      unsigned char* out = nullptr;
      uint32_t outSize = 0;
      if (!codec.decode(out, outSize)) die("decode failed");
      KV_Mem_Obj::operator delete(out);
    }));
  }
  set_counters(state, size);
}

void zlib_huff_decode(benchmark::State& state, std::size_t size) {
  CodecData& d = codec_data(size);
  for (auto _ : state) {
    state.SetIterationTime(seconds([&] {
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
  set_counters(state, size);
}

template <typename F, typename... Args>
void add(const std::string& op, const std::string& lib, std::size_t n, F f, Args... args) {
  std::string name = op + "/" + lib + "/" + std::to_string(n);
  auto* b = benchmark::RegisterBenchmark(name.c_str(), f, args...);
  // Every repetition is reported: bench/report.py takes the fastest. With
  // the repetitions of all benchmarks interleaved at random (main), a spell
  // of load from other processes cannot favour one side of a comparison.
  b->UseManualTime()->Unit(benchmark::kMicrosecond)->Repetitions(9);
  b->MinTime(0.1);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args(argv, argv + argc);
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave);
  argc = static_cast<int>(args.size());
  argv = args.data();
  benchmark::Initialize(&argc, argv);
  std::size_t props = 1000;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--kv_section_props=", 19) == 0) {
      props = std::stoul(argv[i] + 19);
    } else {
      die(std::string("unknown argument ") + argv[i]);
    }
  }
  // Sizes in the names: the properties of the whole file, of one section.
  const std::size_t total = kSections * props;
  add("dpia_save", "kvstore", total, dpia_save, props);
  add("dpia_save", "pia", total, pia_save, props);
  add("dpia_load", "kvstore", total, dpia_load, props);
  add("dpia_load", "pia", total, pia_load, props);
  for (int i = 0; i < 3; ++i) {
    add("section_of_" + std::to_string(kOf[i]), "kvstore", props, section_of, props, i);
  }
  add("section_alone", "pia", props, section_alone, props);
  for (std::size_t size : {std::size_t{1000}, std::size_t{10000000}}) {
    add("huff_encode", "kvstore", size, huff_encode, size);
    add("huff_encode", "zlib", size, zlib_huff_encode, size);
    add("huff_decode", "kvstore", size, huff_decode, size);
    add("huff_decode", "zlib", size, zlib_huff_decode, size);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  remove_files();
  g_codec.reset();
  return 0;
}
