// Copyright the kvstore authors.
//
// Names that are all distinct, against the standard configuration and the
// property tree, in one run:
//   build / read / load / delete   SetProperty, GetProperty, PIA load (plain,
//       from the temporary folder) and deletePath of the top nodes, against
//       Boost.PropertyTree put, get, read_info and erase
// for the shapes of bench/distinct_config.h (wide, deep), and the build and
// load of the standard configuration of kv_bench (std) as the yardstick of
// the goal: per property, distinct names may cost at most 1.5 times what the
// standard configuration costs.
//
// Benchmarks are named <operation>/<library>-<shape>/<properties>;
// bench/report_distinct.py turns the JSON output into the table of
// bench/README.md. Sizes come from --kv_sizes=1000,10000 (default: 1,000 to
// 1,000,000).
#include <benchmark/benchmark.h>

#include <boost/property_tree/info_parser.hpp>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_harness.h"
#include "bench/bench_trees.h"
#include "bench/distinct_config.h"
#include "kvstore/kvstore.h"

namespace {

enum class Shape { kStd, kWide, kDeep };

const char* shape_name(Shape shape) {
  switch (shape) {
    case Shape::kStd:
      return "std";
    case Shape::kWide:
      return "wide";
    default:
      return "deep";
  }
}

// The names of the nodes right below the root, in order.
std::vector<std::string> top_nodes(const Config& config) {
  std::vector<std::string> names;
  for (const Setting& s : config.settings) {
    const std::string top = s.key.substr(0, s.key.find('\\'));
    if (names.empty() || names.back() != top) names.push_back(top);
  }
  return names;
}

// One configuration with its tree, its files and what the deletes need.
struct Dataset {
  Dataset(Shape shape, std::size_t n);
  ~Dataset();

  Shape shape;
  std::size_t n;
  Config config;
  std::unique_ptr<KV_Object> kv;
  ptree pt;
  std::vector<std::string> tops;
  std::vector<std::u16string> tops16;
  fs::path pia, info;
  std::u16string pia16;
};

Dataset::Dataset(Shape s, std::size_t count)
    : shape(s),
      n(count),
      config(s == Shape::kStd    ? make_config(count)
             : s == Shape::kWide ? make_distinct_config(DistinctShape::kWide, count)
                                 : make_distinct_config(DistinctShape::kDeep, count)) {
  kv = std::make_unique<KV_Object>();
  kv_build(config, *kv);
  pt_build(config, pt);
  uint64_t sum = 0;
  check(kv_read(config, *kv, sum), n, "kvstore read");
  check(pt_read(config, pt, sum), n, "ptree read");
  tops = top_nodes(config);
  for (const std::string& top : tops)
    tops16.push_back(u"\\" + std::u16string(top.begin(), top.end()));

  const std::string stem = std::string(shape_name(shape)) + "_" + std::to_string(n);
  pia = temp_file(stem + ".pia");
  info = temp_file(stem + ".info");
  pia16 = widen_path(pia);
  kv->save(pia16.c_str(), KV_Object::FT_PIA, u"", u"\\");
  boost::property_tree::write_info(info.string(), pt);
  KV_Object loaded;
  loaded.load(pia16.c_str(), KV_Object::FT_PIA, u"");
  check(kv_read(config, loaded, sum), n, "kvstore load");
  ptree read_back;
  boost::property_tree::read_info(info.string(), read_back);
  check(pt_read(config, read_back, sum), n, "ptree read_info");
  benchmark::DoNotOptimize(sum);
}

Dataset::~Dataset() {
  std::error_code ignored;
  fs::remove(pia, ignored);
  fs::remove(info, ignored);
}

DatasetCache<Dataset, Shape, std::size_t> dataset;

void build_kvstore(benchmark::State& state, Shape shape, std::size_t n) {
  Dataset& d = dataset(shape, n);
  for (auto _ : state) {
    auto object = std::make_unique<KV_Object>();
    state.SetIterationTime(seconds([&] { kv_build(d.config, *object); }));
  }
  set_props(state, n);
}

void build_ptree(benchmark::State& state, Shape shape, std::size_t n) {
  Dataset& d = dataset(shape, n);
  for (auto _ : state) {
    auto tree = std::make_unique<ptree>();
    state.SetIterationTime(seconds([&] { pt_build(d.config, *tree); }));
  }
  set_props(state, n);
}

void read_kvstore(benchmark::State& state, Shape shape, std::size_t n) {
  Dataset& d = dataset(shape, n);
  uint64_t sum = 0;
  for (auto _ : state) {
    state.SetIterationTime(seconds([&] { kv_read(d.config, *d.kv, sum); }));
  }
  benchmark::DoNotOptimize(sum);
  set_props(state, n);
}

void read_ptree(benchmark::State& state, Shape shape, std::size_t n) {
  Dataset& d = dataset(shape, n);
  uint64_t sum = 0;
  for (auto _ : state) {
    state.SetIterationTime(seconds([&] { pt_read(d.config, d.pt, sum); }));
  }
  benchmark::DoNotOptimize(sum);
  set_props(state, n);
}

void load_kvstore(benchmark::State& state, Shape shape, std::size_t n) {
  Dataset& d = dataset(shape, n);
  for (auto _ : state) {
    auto object = std::make_unique<KV_Object>();
    state.SetIterationTime(seconds([&] { object->load(d.pia16.c_str(), KV_Object::FT_PIA, u""); }));
  }
  set_props(state, n);
}

void load_ptree(benchmark::State& state, Shape shape, std::size_t n) {
  Dataset& d = dataset(shape, n);
  for (auto _ : state) {
    auto tree = std::make_unique<ptree>();
    state.SetIterationTime(
        seconds([&] { boost::property_tree::read_info(d.info.string(), *tree); }));
  }
  set_props(state, n);
}

// Deleting the top nodes destroys the whole tree through the operation a
// host calls; a fresh copy is built, untimed, for every pass.
void delete_kvstore(benchmark::State& state, Shape shape, std::size_t n) {
  Dataset& d = dataset(shape, n);
  for (auto _ : state) {
    auto object = std::make_unique<KV_Object>();
    kv_build(d.config, *object);
    state.SetIterationTime(seconds([&] {
      for (const std::u16string& top : d.tops16) object->deletePath(top.c_str());
    }));
    if (object->pathExists(d.tops16.front().c_str())) die("deletePath left a node");
  }
  set_props(state, n);
}

void delete_ptree(benchmark::State& state, Shape shape, std::size_t n) {
  Dataset& d = dataset(shape, n);
  for (auto _ : state) {
    auto tree = std::make_unique<ptree>();
    pt_build(d.config, *tree);
    state.SetIterationTime(seconds([&] {
      for (const std::string& top : d.tops) tree->erase(top);
    }));
    if (!tree->empty()) die("erase left a node");
  }
  set_props(state, n);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Timing t;
  t.single_pass_from = 1000000;
  for (std::size_t n : parse_sizes(argc, argv, "--kv_sizes=", "1000,10000,100000,1000000")) {
    // Rows of a shape name the library as <library>-<shape>.
    auto add_shape = [&](const char* op, const char* lib, Shape shape, auto f) {
      add(op, std::string(lib) + "-" + shape_name(shape), n, t, f, shape, n);
    };
    // The yardstick first, then the two shapes with their peers.
    add_shape("build", "kvstore", Shape::kStd, build_kvstore);
    add_shape("load", "kvstore", Shape::kStd, load_kvstore);
    for (Shape shape : {Shape::kWide, Shape::kDeep}) {
      add_shape("build", "kvstore", shape, build_kvstore);
      add_shape("build", "ptree", shape, build_ptree);
      add_shape("read", "kvstore", shape, read_kvstore);
      add_shape("read", "ptree", shape, read_ptree);
      add_shape("load", "kvstore", shape, load_kvstore);
      add_shape("load", "ptree", shape, load_ptree);
      add_shape("delete", "kvstore", shape, delete_kvstore);
      add_shape("delete", "ptree", shape, delete_ptree);
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  dataset.reset();
  return 0;
}
