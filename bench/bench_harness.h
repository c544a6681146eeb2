// Copyright the kvstore authors.
//
// What every benchmark executable needs around the work it times: failing
// loudly, files in the temporary folder, the clocks, the counters the report
// scripts read, the size lists of the command line, the registration of a
// row with its repetition policy, one cached data set at a time, and the
// checks that a tree came back whole.
//
// Rows are named <operation>/<library>/<size>; bench/report*.py split the
// names on '/', so an operation or a library never holds one.
#ifndef KVSTORE_BENCH_BENCH_HARNESS_H_
#define KVSTORE_BENCH_BENCH_HARNESS_H_

#include <benchmark/benchmark.h>
#include <errno.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "kvstore/kvstore.h"

namespace fs = std::filesystem;

// Prints "<program>: what" to standard error and exits with status 2. A
// benchmark whose data set is wrong must not print a time.
[[noreturn]] inline void die(const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what.c_str());
  std::exit(2);
}

// Dies unless a pass met all n values it should have.
inline void check(std::size_t found, std::size_t n, const char* what) {
  if (found != n) {
    die(std::string(what) + ": " + std::to_string(found) + " of " + std::to_string(n) + " values");
  }
}

// ---- Files in the temporary folder.

// "<temporary folder>/<program>_<pid>_<name>": two runs at once never share a
// file.
inline fs::path temp_file(const std::string& name) {
  return fs::temp_directory_path() / (std::string(program_invocation_short_name) + "_" +
                                      std::to_string(::getpid()) + "_" + name);
}

// The path as the library takes it. Only ASCII widens byte for byte, so any
// other path ends the run rather than naming a file that does not exist.
inline std::u16string widen_path(const fs::path& path) {
  const std::string s = path.string();
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) die("the temporary folder's path must be ASCII");
  }
  return std::u16string(s.begin(), s.end());
}

inline std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void write_file(const fs::path& path, const void* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) die("cannot write " + path.string());
}

inline void write_file(const fs::path& path, const std::string& bytes) {
  write_file(path, bytes.data(), bytes.size());
}

// ---- Clocks. The benchmarks use manual time: a pass's setup and the
// destruction of its result stay out of the figure.

// Wall-clock seconds that f takes.
template <typename F>
double seconds(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Seconds that the thread spends running f (user and system), not the time
// that passes: on a machine shared with other builds the wall clock counts
// every moment the thread waited for a core, which says nothing about
// either side of a comparison.
template <typename F>
double cpu_seconds(F&& f) {
  auto now = [] {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
  };
  const double start = now();
  f();
  return now() - start;
}

// ---- Counters, as the report scripts read them: "props", the properties one
// pass handles, and "bytes", the text or file it reads or writes.

inline void set_props(benchmark::State& state, std::size_t props) {
  state.counters["props"] = static_cast<double>(props);
}

inline void set_bytes(benchmark::State& state, std::size_t bytes) {
  state.counters["bytes"] = static_cast<double>(bytes);
}

inline void set_counters(benchmark::State& state, std::size_t props, std::size_t bytes) {
  set_props(state, props);
  set_bytes(state, bytes);
}

// ---- The command line.

// The sizes of flag (e.g. "--kv_sizes="), a list separated by commas, or
// defaults when it is not given. Every argument that Google Benchmark left
// is this flag: anything else ends the run.
inline std::vector<std::size_t> parse_sizes(int argc, char** argv, const char* flag,
                                            const char* defaults) {
  const std::size_t flag_length = std::strlen(flag);
  std::string list = defaults;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], flag, flag_length) == 0) {
      list = argv[i] + flag_length;
    } else {
      die(std::string("unknown argument ") + argv[i]);
    }
  }
  std::vector<std::size_t> sizes;
  std::stringstream items(list);
  std::string item;
  while (std::getline(items, item, ',')) {
    if (item.empty() || item.find_first_not_of("0123456789") != std::string::npos) {
      die(std::string(flag) + " takes whole numbers separated by commas");
    }
    sizes.push_back(std::stoul(item));
  }
  return sizes;
}

// ---- Registration.

// How a row is repeated and how long each repetition runs.
struct Timing {
  int repetitions = 5;
  // Only the mean, median and deviation of the repetitions are reported;
  // false reports every repetition (for a report that takes the fastest).
  bool aggregates_only = true;
  // Seconds of iterations a repetition runs at the least.
  double min_time = 0.2;
  // From this size on, a repetition is one iteration: a single pass takes
  // long enough to time alone.
  std::size_t single_pass_from = std::numeric_limits<std::size_t>::max();
};

// Registers the row <op>/<lib>/<size>, which calls f(state, args...).
template <typename F, typename... Args>
void add(const std::string& op, const std::string& lib, std::size_t size, const Timing& timing, F f,
         Args... args) {
  const std::string name = op + "/" + lib + "/" + std::to_string(size);
  auto* b = benchmark::RegisterBenchmark(name.c_str(), f, args...);
  b->UseManualTime()->Unit(benchmark::kMicrosecond)->Repetitions(timing.repetitions);
  if (timing.aggregates_only) b->ReportAggregatesOnly(true);
  if (size >= timing.single_pass_from) {
    b->Iterations(1);
  } else {
    b->MinTime(timing.min_time);
  }
}

// ---- The data set of the rows that run now.

// Holds the data set of the key last asked for, made by Data(key...). Asking
// for another key destroys the held one first, so that only one lives at a
// time and the sizes do not crowd each other's caches; the destructor of
// Data removes its files.
template <typename Data, typename... Key>
class DatasetCache {
 public:
  Data& operator()(const Key&... key) {
    if (m_data == nullptr || m_key != std::tie(key...)) {
      m_data.reset();
      m_data = std::make_unique<Data>(key...);
      m_key = std::tuple<Key...>(key...);
    }
    return *m_data;
  }
  void reset() { m_data.reset(); }

 private:
  std::unique_ptr<Data> m_data;
  std::tuple<Key...> m_key;
};

// ---- Codec passes.

// One pass of Codec's encode (kEncode) or decode over size bytes at data.
// The codec's buffer is copied to keep when it is given (for a data set) and
// released at once: a timed pass copies nothing. Dies when the codec refuses
// the input.
template <typename Codec, bool kEncode>
void codec_pass(const unsigned char* data, std::size_t size, std::vector<unsigned char>* keep) {
  Codec codec(data, static_cast<uint32_t>(size));
  unsigned char* out = nullptr;
  uint32_t outSize = 0;
  if (!(kEncode ? codec.encode(out, outSize) : codec.decode(out, outSize))) {
    die(kEncode ? "encode failed" : "decode failed");
  }
  if (keep != nullptr) keep->assign(out, out + outSize);
  KV_Mem_Obj::operator delete(out);
}

template <typename Codec>
void encode_pass(const unsigned char* data, std::size_t size,
                 std::vector<unsigned char>* keep = nullptr) {
  codec_pass<Codec, true>(data, size, keep);
}

template <typename Codec>
void decode_pass(const unsigned char* data, std::size_t size,
                 std::vector<unsigned char>* keep = nullptr) {
  codec_pass<Codec, false>(data, size, keep);
}

// ---- Trees that must come back whole.

// Every node move and every property below path, rendered, in walk order:
// two trees render the same when they hold the same names, types and values
// in the same order.
inline std::vector<std::string> render(const KV_Object& kv, const char16_t* path = u"\\") {
  std::vector<std::string> out;
  std::unique_ptr<KV_Iterator> it(kv.newIterator(path, 0));
  if (it == nullptr) return out;
  char* data = nullptr;
  std::size_t size = 0;
  PropType type = PROP_NONE;
  std::string node;
  auto props = [&] {
    while (const char16_t* name = it->nextProp(data, size, type)) {
      out.push_back(node + "\\" + kv_utf16_to_utf8(name, std::char_traits<char16_t>::length(name)) +
                    "=" + std::to_string(type) + ":" + std::string(data, size));
    }
  };
  props();
  KV_Object::NodeType move;
  while (const char16_t* name = it->nextNode(move)) {
    node = std::to_string(move) + " " +
           kv_utf16_to_utf8(name, std::char_traits<char16_t>::length(name));
    out.push_back(node);
    if (move != KV_Object::NODE_UP) props();
  }
  KV_Mem_Obj::operator delete(data);
  return out;
}

// The properties below path (0 when there is no node there).
inline std::size_t count_props(const KV_Object& object, const char16_t* path = u"\\") {
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

#endif  // KVSTORE_BENCH_BENCH_HARNESS_H_
