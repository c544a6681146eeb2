// Copyright the kvstore authors.
//
// kvstore against what a host would use instead, on the same synthetic
// configurations, in one run:
//   build / read / walk   SetProperty, GetProperty, KV_Iterator against
//                         Boost.PropertyTree put, get and a recursive walk
//   save / load           PIA files (plain and compressed) in the temporary
//                         folder against write_info / read_info (plain, and
//                         with the INFO text passed through compress2 level 9
//                         and uncompress)
//   encode / decode       KV_zlib_Codec against raw compress2 level 9 and
//                         uncompress of the same PIA body text
//   scan                  the floor: one memchr pass for line feeds over it
//
// Every benchmark is named <operation>/<library>/<properties>; bench/report.py
// turns the JSON output into the table of bench/README.md. Sizes come from
// --kv_sizes=1000,10000 (default: 1,000 to 1,000,000). Resident memory is
// measured apart, one tree per process, by kv_bench_mem.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <boost/property_tree/info_parser.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_trees.h"
#include "kvstore/kvstore.h"

namespace {

namespace fs = std::filesystem;

[[noreturn]] void die(const std::string& what) {
  std::fprintf(stderr, "kv_bench: %s\n", what.c_str());
  std::exit(2);
}

std::u16string widen_path(const fs::path& path) {
  std::string s = path.string();
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) die("the temporary folder's path must be ASCII");
  }
  return std::u16string(s.begin(), s.end());
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const fs::path& path, const void* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) die("cannot write " + path.string());
}

// INFO text through zlib, behind its 8-byte uncompressed size: what a host
// of the property tree would do for a compressed file.
void save_info_compressed(const ptree& tree, const fs::path& path) {
  std::ostringstream text;
  boost::property_tree::write_info(text, tree);
  const std::string info = text.str();
  uLongf length = compressBound(info.size());
  std::vector<Bytef> file(8 + length);
  uint64_t size = info.size();
  std::memcpy(file.data(), &size, 8);
  if (compress2(file.data() + 8, &length, reinterpret_cast<const Bytef*>(info.data()), info.size(),
                9) != Z_OK) {
    die("compress2 failed");
  }
  write_file(path, file.data(), 8 + length);
}

void load_info_compressed(const fs::path& path, ptree& tree) {
  const std::string file = read_file(path);
  uint64_t size = 0;
  std::memcpy(&size, file.data(), 8);
  std::string info(size, '\0');
  uLongf length = size;
  if (uncompress(reinterpret_cast<Bytef*>(info.data()), &length,
                 reinterpret_cast<const Bytef*>(file.data() + 8), file.size() - 8) != Z_OK) {
    die("uncompress failed");
  }
  std::istringstream text(info);
  boost::property_tree::read_info(text, tree);
}

// One configuration with everything the benchmarks of its size use. Only
// one lives at a time, so that the sizes do not crowd each other's caches.
struct Dataset {
  explicit Dataset(std::size_t n);
  ~Dataset();

  std::size_t n;
  Config config;
  std::unique_ptr<KV_Object> kv;
  ptree pt;
  std::string body;             // PIA body text with its closing zero byte
  std::string info;             // INFO text of the same tree
  std::vector<Bytef> block;     // KV_zlib_Codec::encode of body
  std::vector<Bytef> deflated;  // compress2 of body
  fs::path pia, pia_z, info_file, info_z;
  std::u16string pia16, pia_z16;
};

fs::path temp_file(std::size_t n, const char* name) {
  return fs::temp_directory_path() /
         ("kv_bench_" + std::to_string(::getpid()) + "_" + std::to_string(n) + name);
}

void check(std::size_t found, std::size_t n, const char* what) {
  if (found != n) {
    die(std::string(what) + ": " + std::to_string(found) + " of " + std::to_string(n) + " values");
  }
}

Dataset::Dataset(std::size_t count) : n(count), config(make_config(count)) {
  kv = std::make_unique<KV_Object>();
  kv_build(config, *kv);
  pt_build(config, pt);
  uint64_t sum = 0;
  check(kv_read(config, *kv, sum), n, "kvstore read");
  check(pt_read(config, pt, sum), n, "ptree read");
  check(kv_walk(*kv, sum), n, "kvstore walk");
  check(pt_walk(pt, sum), n, "ptree walk");

  std::stringstream pia_text;
  kv->save(&pia_text, KV_Object::FT_PIA, u"", u"\\");
  const std::string whole = pia_text.str();
  body = whole.substr(whole.find("\r\n") + 2);
  std::ostringstream info_text;
  boost::property_tree::write_info(info_text, pt);
  info = info_text.str();

  KV_zlib_Codec codec(reinterpret_cast<const unsigned char*>(body.data()),
                      static_cast<uint32_t>(body.size()));
  unsigned char* out = nullptr;
  uint32_t outSize = 0;
  if (!codec.encode(out, outSize)) die("encode failed");
  block.assign(out, out + outSize);
  KV_Mem_Obj::operator delete(out);
  uLongf length = compressBound(body.size());
  deflated.resize(length);
  compress2(deflated.data(), &length, reinterpret_cast<const Bytef*>(body.data()), body.size(), 9);
  deflated.resize(length);

  pia = temp_file(n, ".pia");
  pia_z = temp_file(n, "_z.pia");
  info_file = temp_file(n, ".info");
  info_z = temp_file(n, "_z.info");
  pia16 = widen_path(pia);
  pia_z16 = widen_path(pia_z);
  kv->save(pia16.c_str(), KV_Object::FT_PIA, u"", u"\\");
  kv->save(pia_z16.c_str(), KV_Object::FT_PIA, u"compress", u"\\");
  boost::property_tree::write_info(info_file.string(), pt);
  save_info_compressed(pt, info_z);

  // Every file must load back whole, or the timings would mean nothing.
  for (const std::u16string* file : {&pia16, &pia_z16}) {
    KV_Object loaded;
    loaded.load(file->c_str(), KV_Object::FT_PIA, u"");
    check(kv_read(config, loaded, sum), n, "kvstore load");
  }
  ptree plain, packed;
  boost::property_tree::read_info(info_file.string(), plain);
  load_info_compressed(info_z, packed);
  check(pt_read(config, plain, sum), n, "ptree read_info");
  check(pt_read(config, packed, sum), n, "ptree read_info (compressed)");
  benchmark::DoNotOptimize(sum);
}

Dataset::~Dataset() {
  std::error_code ignored;
  for (const fs::path& p : {pia, pia_z, info_file, info_z}) fs::remove(p, ignored);
}

std::unique_ptr<Dataset> g_dataset;

Dataset& dataset(std::size_t n) {
  if (g_dataset == nullptr || g_dataset->n != n) {
    g_dataset.reset();
    g_dataset = std::make_unique<Dataset>(n);
  }
  return *g_dataset;
}

template <typename F>
double seconds(F&& f) {
  auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void set_counters(benchmark::State& state, std::size_t n, std::size_t bytes) {
  state.counters["props"] = static_cast<double>(n);
  state.counters["bytes"] = static_cast<double>(bytes);
}

// ---- The benchmarks. Each times only the operation: making the empty tree
// before it and destroying the result after it are left out.

void build_kvstore(benchmark::State& state, std::size_t n) {
  Dataset& d = dataset(n);
  for (auto _ : state) {
    auto object = std::make_unique<KV_Object>();
    state.SetIterationTime(seconds([&] { kv_build(d.config, *object); }));
  }
  set_counters(state, n, 0);
}

void build_ptree(benchmark::State& state, std::size_t n) {
  Dataset& d = dataset(n);
  for (auto _ : state) {
    auto tree = std::make_unique<ptree>();
    state.SetIterationTime(seconds([&] { pt_build(d.config, *tree); }));
  }
  set_counters(state, n, 0);
}

void read_kvstore(benchmark::State& state, std::size_t n) {
  Dataset& d = dataset(n);
  uint64_t sum = 0;
  for (auto _ : state) {
    state.SetIterationTime(seconds([&] { kv_read(d.config, *d.kv, sum); }));
  }
  benchmark::DoNotOptimize(sum);
  set_counters(state, n, 0);
}

void read_ptree(benchmark::State& state, std::size_t n) {
  Dataset& d = dataset(n);
  uint64_t sum = 0;
  for (auto _ : state) {
    state.SetIterationTime(seconds([&] { pt_read(d.config, d.pt, sum); }));
  }
  benchmark::DoNotOptimize(sum);
  set_counters(state, n, 0);
}

void walk_kvstore(benchmark::State& state, std::size_t n) {
  Dataset& d = dataset(n);
  uint64_t sum = 0;
  for (auto _ : state) {
    state.SetIterationTime(seconds([&] { kv_walk(*d.kv, sum); }));
  }
  benchmark::DoNotOptimize(sum);
  set_counters(state, n, 0);
}

void walk_ptree(benchmark::State& state, std::size_t n) {
  Dataset& d = dataset(n);
  uint64_t sum = 0;
  for (auto _ : state) {
    state.SetIterationTime(seconds([&] { pt_walk(d.pt, sum); }));
  }
  benchmark::DoNotOptimize(sum);
  set_counters(state, n, 0);
}

// Saves write a new file: the previous copy is removed, untimed, so that the
// time is the library's rather than the file system's (ext4 frees the blocks
// of a truncated file and starts writing back its replacement on close).
void save_kvstore(benchmark::State& state, std::size_t n, bool compress) {
  Dataset& d = dataset(n);
  const std::u16string& file = compress ? d.pia_z16 : d.pia16;
  const char16_t* options = compress ? u"compress" : u"";
  for (auto _ : state) {
    fs::remove(compress ? d.pia_z : d.pia);
    state.SetIterationTime(
        seconds([&] { d.kv->save(file.c_str(), KV_Object::FT_PIA, options, u"\\"); }));
  }
  set_counters(state, n, d.body.size());
}

void save_ptree(benchmark::State& state, std::size_t n, bool compress) {
  Dataset& d = dataset(n);
  for (auto _ : state) {
    fs::remove(compress ? d.info_z : d.info_file);
    state.SetIterationTime(seconds([&] {
      if (compress) {
        save_info_compressed(d.pt, d.info_z);
      } else {
        boost::property_tree::write_info(d.info_file.string(), d.pt);
      }
    }));
  }
  set_counters(state, n, d.info.size());
}

void load_kvstore(benchmark::State& state, std::size_t n, bool compress) {
  Dataset& d = dataset(n);
  const std::u16string& file = compress ? d.pia_z16 : d.pia16;
  for (auto _ : state) {
    auto object = std::make_unique<KV_Object>();
    state.SetIterationTime(seconds([&] { object->load(file.c_str(), KV_Object::FT_PIA, u""); }));
  }
  set_counters(state, n, d.body.size());
}

void load_ptree(benchmark::State& state, std::size_t n, bool compress) {
  Dataset& d = dataset(n);
  for (auto _ : state) {
    auto tree = std::make_unique<ptree>();
    state.SetIterationTime(seconds([&] {
      if (compress) {
        load_info_compressed(d.info_z, *tree);
      } else {
        boost::property_tree::read_info(d.info_file.string(), *tree);
      }
    }));
  }
  set_counters(state, n, d.info.size());
}

void encode_kvstore(benchmark::State& state, std::size_t n) {
  Dataset& d = dataset(n);
  for (auto _ : state) {
    state.SetIterationTime(seconds([&] {
      KV_zlib_Codec codec(reinterpret_cast<const unsigned char*>(d.body.data()),
                          static_cast<uint32_t>(d.body.size()));
      unsigned char* out = nullptr;
      uint32_t outSize = 0;
      if (!codec.encode(out, outSize)) die("encode failed");
      KV_Mem_Obj::operator delete(out);
    }));
  }
  set_counters(state, n, d.body.size());
}

void encode_zlib(benchmark::State& state, std::size_t n) {
  Dataset& d = dataset(n);
  for (auto _ : state) {
    state.SetIterationTime(seconds([&] {
      uLongf length = compressBound(d.body.size());
      auto* out = static_cast<Bytef*>(std::malloc(length));
      if (compress2(out, &length, reinterpret_cast<const Bytef*>(d.body.data()), d.body.size(),
                    9) != Z_OK) {
        die("compress2 failed");
      }
      std::free(out);
    }));
  }
  set_counters(state, n, d.body.size());
}

void decode_kvstore(benchmark::State& state, std::size_t n) {
  Dataset& d = dataset(n);
  for (auto _ : state) {
    state.SetIterationTime(seconds([&] {
      KV_zlib_Codec codec(d.block.data(), static_cast<uint32_t>(d.block.size()));
      unsigned char* out = nullptr;
      uint32_t outSize = 0;
      if (!codec.decode(out, outSize)) die("decode failed");
      KV_Mem_Obj::operator delete(out);
    }));
  }
  set_counters(state, n, d.body.size());
}

void decode_zlib(benchmark::State& state, std::size_t n) {
  Dataset& d = dataset(n);
  for (auto _ : state) {
    state.SetIterationTime(seconds([&] {
      uLongf length = d.body.size();
      auto* out = static_cast<Bytef*>(std::malloc(length + 1));
      if (uncompress(out, &length, d.deflated.data(), d.deflated.size()) != Z_OK) {
        die("uncompress failed");
      }
      out[length] = 0;
      std::free(out);
    }));
  }
  set_counters(state, n, d.body.size());
}

void scan_memchr(benchmark::State& state, std::size_t n) {
  Dataset& d = dataset(n);
  std::size_t lines = 0;
  for (auto _ : state) {
    state.SetIterationTime(seconds([&] {
      const char* p = d.body.data();
      const char* end = p + d.body.size();
      while (const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p))) {
        ++lines;
        p = static_cast<const char*>(lf) + 1;
      }
    }));
  }
  benchmark::DoNotOptimize(lines);
  set_counters(state, n, d.body.size());
}

std::vector<std::size_t> parse_sizes(int argc, char** argv) {
  std::string list = "1000,10000,100000,1000000";
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--kv_sizes=", 11) == 0) {
      list = argv[i] + 11;
    } else {
      die(std::string("unknown argument ") + argv[i]);
    }
  }
  std::vector<std::size_t> sizes;
  std::stringstream items(list);
  std::string item;
  while (std::getline(items, item, ',')) sizes.push_back(std::stoul(item));
  return sizes;
}

template <typename F, typename... Args>
void add(const std::string& op, const std::string& lib, std::size_t n, F f, Args... args) {
  std::string name = op + "/" + lib + "/" + std::to_string(n);
  auto* b = benchmark::RegisterBenchmark(name.c_str(), f, n, args...);
  b->UseManualTime()->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
  // At a million properties one pass takes long enough to time alone.
  if (n >= 1000000) {
    b->Iterations(1);
  } else {
    b->MinTime(0.2);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  for (std::size_t n : parse_sizes(argc, argv)) {
    add("build", "kvstore", n, build_kvstore);
    add("build", "ptree", n, build_ptree);
    add("read", "kvstore", n, read_kvstore);
    add("read", "ptree", n, read_ptree);
    add("walk", "kvstore", n, walk_kvstore);
    add("walk", "ptree", n, walk_ptree);
    add("save", "kvstore", n, save_kvstore, false);
    add("save", "ptree", n, save_ptree, false);
    add("load", "kvstore", n, load_kvstore, false);
    add("load", "ptree", n, load_ptree, false);
    add("save_z", "kvstore", n, save_kvstore, true);
    add("save_z", "ptree", n, save_ptree, true);
    add("load_z", "kvstore", n, load_kvstore, true);
    add("load_z", "ptree", n, load_ptree, true);
    add("encode", "kvstore", n, encode_kvstore);
    add("encode", "zlib", n, encode_zlib);
    add("decode", "kvstore", n, decode_kvstore);
    add("decode", "zlib", n, decode_zlib);
    add("scan", "memchr", n, scan_memchr);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  g_dataset.reset();
  return 0;
}
