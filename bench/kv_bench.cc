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
#include <zlib.h>

#include <boost/property_tree/info_parser.hpp>
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

  encode_pass<KV_zlib_Codec>(reinterpret_cast<const unsigned char*>(body.data()), body.size(),
                             &block);
  uLongf length = compressBound(body.size());
  deflated.resize(length);
  compress2(deflated.data(), &length, reinterpret_cast<const Bytef*>(body.data()), body.size(), 9);
  deflated.resize(length);

  pia = temp_file(std::to_string(n) + ".pia");
  pia_z = temp_file(std::to_string(n) + "_z.pia");
  info_file = temp_file(std::to_string(n) + ".info");
  info_z = temp_file(std::to_string(n) + "_z.info");
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

DatasetCache<Dataset, std::size_t> dataset;

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
      encode_pass<KV_zlib_Codec>(reinterpret_cast<const unsigned char*>(d.body.data()),
                                 d.body.size());
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
    state.SetIterationTime(
        seconds([&] { decode_pass<KV_zlib_Codec>(d.block.data(), d.block.size()); }));
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

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Timing t;
  // At a million properties one pass takes long enough to time alone.
  t.single_pass_from = 1000000;
  for (std::size_t n : parse_sizes(argc, argv, "--kv_sizes=", "1000,10000,100000,1000000")) {
    add("build", "kvstore", n, t, build_kvstore, n);
    add("build", "ptree", n, t, build_ptree, n);
    add("read", "kvstore", n, t, read_kvstore, n);
    add("read", "ptree", n, t, read_ptree, n);
    add("walk", "kvstore", n, t, walk_kvstore, n);
    add("walk", "ptree", n, t, walk_ptree, n);
    add("save", "kvstore", n, t, save_kvstore, n, false);
    add("save", "ptree", n, t, save_ptree, n, false);
    add("load", "kvstore", n, t, load_kvstore, n, false);
    add("load", "ptree", n, t, load_ptree, n, false);
    add("save_z", "kvstore", n, t, save_kvstore, n, true);
    add("save_z", "ptree", n, t, save_ptree, n, true);
    add("load_z", "kvstore", n, t, load_kvstore, n, true);
    add("load_z", "ptree", n, t, load_ptree, n, true);
    add("encode", "kvstore", n, t, encode_kvstore, n);
    add("encode", "zlib", n, t, encode_zlib, n);
    add("decode", "kvstore", n, t, decode_kvstore, n);
    add("decode", "zlib", n, t, decode_zlib, n);
    add("scan", "memchr", n, t, scan_memchr, n);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  dataset.reset();
  return 0;
}
