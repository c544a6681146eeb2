// Copyright the kvstore authors.
//
// DOC compound documents: kvstore's save and load of the synthetic
// configurations against libgsf writing and reading the same storages and
// streams, and against kvstore's own plain PIA save and load of the same
// trees:
//   doc_save/kvstore   KV_Object::save as FT_DOC: the walk of the tree and
//                      the whole document
//   doc_save/gsf       GsfOutfileMSOle writing the same storages and streams
//                      (the same names and bytes) from a prepared list
//   doc_load/kvstore   KV_Object::load of FT_DOC: the document read and
//                      checked, and every value stored in a new tree
//   doc_load/gsf       GsfInfileMSOle opening the same file and reading
//                      every storage and every stream's bytes
//   doc_save/pia, doc_load/pia
//                      kvstore's plain PIA save and load of the same tree
// The libgsf side does only the container's work: it neither walks nor
// builds a tree, so the comparison is the least favourable to kvstore.
//
// Every benchmark is named <operation>/<library>/<properties>; bench/report.py
// turns the JSON output into rows of the table of bench/README.md. Sizes come
// from --kv_sizes=1000,10000 (default: 1,000 to 100,000).
#include <benchmark/benchmark.h>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_harness.h"
#include "bench/bench_trees.h"
#include "kvstore/kvstore.h"

namespace {

// ---- The peer's input: the storages and streams of the DOC layout.

struct Element {
  std::vector<std::string> path;  // storages, then the stream's name
  std::string bytes;              // type, count, data
};

std::string property_stream(uint32_t type, const void* data, std::size_t size) {
  std::string s(8 + size, '\0');
  const auto count = static_cast<uint32_t>(size);
  std::memcpy(&s[0], &type, 4);
  std::memcpy(&s[4], &count, 4);
  std::memcpy(&s[8], data, size);
  return s;
}

// The streams of the configuration as a DOC document lays them out, in the
// configuration's depth-first order. Its strings are ASCII, the same bytes
// in the ANSI code page.
std::vector<Element> doc_elements(const Config& config) {
  std::vector<Element> out;
  const unsigned char version[4] = {0x00, 0x00, 0x80, 0x3F};
  out.push_back({{"Version"}, std::string(reinterpret_cast<const char*>(version), 4)});
  for (const Setting& s : config.settings) {
    Element e;
    std::size_t start = 0;
    for (;;) {
      const std::size_t end = s.key.find('\\', start);
      e.path.push_back(s.key.substr(start, end == std::string::npos ? end : end - start));
      if (end == std::string::npos) break;
      start = end + 1;
    }
    switch (s.kind) {
      case SettingKind::kInt:
        e.bytes = property_stream(PROP_INT, &s.int_value, 4);
        break;
      case SettingKind::kDouble:
        e.bytes = property_stream(PROP_DOUBLE, &s.double_value, 8);
        break;
      case SettingKind::kBool: {
        const unsigned char b = s.bool_value ? 1 : 0;
        e.bytes = property_stream(PROP_BOOL, &b, 1);
        break;
      }
      case SettingKind::kString:
        e.bytes = property_stream(PROP_STRING, s.narrow.data(), s.narrow.size());
        break;
      case SettingKind::kRaw:
        e.bytes = property_stream(PROP_VOID, s.raw.data(), s.raw.size());
        break;
    }
    out.push_back(std::move(e));
  }
  return out;
}

// libgsf writes the elements: a storage is opened when the list first goes
// into it and closed when it leaves it (the list is depth first).
void gsf_save(const std::vector<Element>& elements, const fs::path& file) {
  GError* error = nullptr;
  GsfOutput* sink = gsf_output_stdio_new(file.c_str(), &error);
  if (sink == nullptr) die("gsf_output_stdio_new failed");
  GsfOutfile* root = gsf_outfile_msole_new(sink);
  std::vector<std::pair<std::string, GsfOutfile*>> open{{"", root}};
  auto close_top = [&]() {
    gsf_output_close(GSF_OUTPUT(open.back().second));
    g_object_unref(open.back().second);
    open.pop_back();
  };
  for (const Element& e : elements) {
    const std::size_t storages = e.path.size() - 1;
    std::size_t keep = 0;
    while (keep < storages && keep + 1 < open.size() && open[keep + 1].first == e.path[keep]) {
      ++keep;
    }
    while (open.size() > keep + 1) close_top();
    for (std::size_t i = keep; i < storages; ++i) {
      GsfOutput* dir = gsf_outfile_new_child(open.back().second, e.path[i].c_str(), TRUE);
      open.push_back({e.path[i], GSF_OUTFILE(dir)});
    }
    GsfOutput* stream = gsf_outfile_new_child(open.back().second, e.path.back().c_str(), FALSE);
    gsf_output_write(stream, e.bytes.size(), reinterpret_cast<const guint8*>(e.bytes.data()));
    gsf_output_close(stream);
    g_object_unref(stream);
  }
  while (open.size() > 1) close_top();
  gsf_output_close(GSF_OUTPUT(root));
  g_object_unref(root);
  g_object_unref(sink);
}

// libgsf reads every storage and stream of the file; returns the number of
// streams and adds their bytes to checksum.
std::size_t gsf_load(const fs::path& file, uint64_t& checksum) {
  GError* error = nullptr;
  GsfInput* input = gsf_input_stdio_new(file.c_str(), &error);
  if (input == nullptr) die("gsf_input_stdio_new failed");
  GsfInfile* root = gsf_infile_msole_new(input, &error);
  if (root == nullptr) die("gsf_infile_msole_new failed");
  std::size_t streams = 0;
  std::vector<guint8> buffer;
  std::vector<std::pair<GsfInfile*, int>> stack{{root, 0}};
  while (!stack.empty()) {
    GsfInfile* dir = stack.back().first;
    const int index = stack.back().second++;
    if (index >= gsf_infile_num_children(dir)) {
      if (dir != root) g_object_unref(dir);
      stack.pop_back();
      continue;
    }
    GsfInput* child = gsf_infile_child_by_index(dir, index);
    if (GSF_IS_INFILE(child) && gsf_infile_num_children(GSF_INFILE(child)) >= 0) {
      stack.push_back({GSF_INFILE(child), 0});
      continue;
    }
    const auto size = static_cast<std::size_t>(gsf_input_size(child));
    buffer.resize(size + 1);
    if (size > 0 && gsf_input_read(child, size, buffer.data()) == nullptr) die("gsf read failed");
    for (std::size_t i = 0; i < size; i += 8) checksum += buffer[i];
    ++streams;
    g_object_unref(child);
  }
  g_object_unref(root);
  g_object_unref(input);
  return streams;
}

// ---- The data set of one size.

struct Dataset {
  explicit Dataset(std::size_t n);
  ~Dataset();

  std::size_t n;
  Config config;
  std::unique_ptr<KV_Object> kv;
  std::vector<Element> elements;
  fs::path doc, gsf, pia;
  std::u16string doc16, gsf16, pia16;
  std::size_t doc_bytes = 0, gsf_bytes = 0, pia_bytes = 0;
};

Dataset::Dataset(std::size_t count) : n(count), config(make_config(count)) {
  kv = std::make_unique<KV_Object>();
  kv_build(config, *kv);
  elements = doc_elements(config);
  doc = temp_file(std::to_string(n) + ".doc");
  gsf = temp_file(std::to_string(n) + "_gsf.doc");
  pia = temp_file(std::to_string(n) + ".pia");
  doc16 = widen_path(doc);
  gsf16 = widen_path(gsf);
  pia16 = widen_path(pia);
  kv->save(doc16.c_str(), KV_Object::FT_DOC, u"", u"\\");
  kv->save(pia16.c_str(), KV_Object::FT_PIA, u"", u"\\");
  gsf_save(elements, gsf);
  doc_bytes = fs::file_size(doc);
  gsf_bytes = fs::file_size(gsf);
  pia_bytes = fs::file_size(pia);

  // Each file holds the same storages and streams: the library loads the
  // peer's file into the same tree, and the peer reads every stream of the
  // library's file. A load skips the properties named "version" (in any
  // case): the format keeps its own stream of that name.
  std::size_t skipped = 0;
  for (const Element& e : elements) {
    std::string name = e.path.back();
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name == "version" && e.path.size() > 1) ++skipped;
  }
  uint64_t sum = 0;
  for (const std::u16string* file : {&doc16, &gsf16}) {
    KV_Object loaded;
    loaded.load(file->c_str(), KV_Object::FT_DOC, u"");
    check(kv_read(config, loaded, sum), n - skipped, "kvstore DOC load");
  }
  uint64_t ours = 0, theirs = 0;
  check(gsf_load(doc, ours), n + 1, "gsf read of kvstore's DOC file");
  check(gsf_load(gsf, theirs), n + 1, "gsf read of its own file");
  if (ours != theirs) die("the two files hold different bytes");
  benchmark::DoNotOptimize(sum);
}

Dataset::~Dataset() {
  std::error_code ignored;
  for (const fs::path& p : {doc, gsf, pia}) fs::remove(p, ignored);
}

DatasetCache<Dataset, std::size_t> dataset;

// Saves write a new file: the previous copy is removed, untimed.
void save_kvstore(benchmark::State& state, std::size_t n) {
  Dataset& d = dataset(n);
  for (auto _ : state) {
    fs::remove(d.doc);
    state.SetIterationTime(
        seconds([&] { d.kv->save(d.doc16.c_str(), KV_Object::FT_DOC, u"", u"\\"); }));
  }
  set_counters(state, n, d.doc_bytes);
}

void save_gsf(benchmark::State& state, std::size_t n) {
  Dataset& d = dataset(n);
  for (auto _ : state) {
    fs::remove(d.gsf);
    state.SetIterationTime(seconds([&] { gsf_save(d.elements, d.gsf); }));
  }
  set_counters(state, n, d.gsf_bytes);
}

void save_pia(benchmark::State& state, std::size_t n) {
  Dataset& d = dataset(n);
  for (auto _ : state) {
    fs::remove(d.pia);
    state.SetIterationTime(
        seconds([&] { d.kv->save(d.pia16.c_str(), KV_Object::FT_PIA, u"", u"\\"); }));
  }
  set_counters(state, n, d.pia_bytes);
}

void load_kvstore(benchmark::State& state, std::size_t n) {
  Dataset& d = dataset(n);
  for (auto _ : state) {
    auto object = std::make_unique<KV_Object>();
    state.SetIterationTime(seconds([&] { object->load(d.doc16.c_str(), KV_Object::FT_DOC, u""); }));
  }
  set_counters(state, n, d.doc_bytes);
}

void load_gsf(benchmark::State& state, std::size_t n) {
  Dataset& d = dataset(n);
  uint64_t sum = 0;
  for (auto _ : state) {
    state.SetIterationTime(seconds([&] { gsf_load(d.doc, sum); }));
  }
  benchmark::DoNotOptimize(sum);
  set_counters(state, n, d.doc_bytes);
}

void load_pia(benchmark::State& state, std::size_t n) {
  Dataset& d = dataset(n);
  for (auto _ : state) {
    auto object = std::make_unique<KV_Object>();
    state.SetIterationTime(seconds([&] { object->load(d.pia16.c_str(), KV_Object::FT_PIA, u""); }));
  }
  set_counters(state, n, d.pia_bytes);
}

}  // namespace

int main(int argc, char** argv) {
  gsf_init();
  benchmark::Initialize(&argc, argv);
  const Timing t;
  for (std::size_t n : parse_sizes(argc, argv, "--kv_sizes=", "1000,10000,100000")) {
    add("doc_save", "kvstore", n, t, save_kvstore, n);
    add("doc_save", "gsf", n, t, save_gsf, n);
    add("doc_save", "pia", n, t, save_pia, n);
    add("doc_load", "kvstore", n, t, load_kvstore, n);
    add("doc_load", "gsf", n, t, load_gsf, n);
    add("doc_load", "pia", n, t, load_pia, n);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  dataset.reset();
  gsf_shutdown();
  return 0;
}
