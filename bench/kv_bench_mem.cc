// Copyright the kvstore authors.
//
// Memory of one tree, measured in a process of its own so that sizes and
// libraries do not share a heap:
//   kv_bench_mem kvstore|ptree <properties>
// generates the configuration, then builds the tree (SetProperty or
// ptree::put by path) and prints one JSON line with the growth of the
// resident set and of the heap in use, per property.
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "bench/bench_trees.h"
#include "kvstore/kv_object.h"

namespace {

// Resident set size in bytes (the second field of /proc/self/statm).
double resident_bytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0;
  long resident = 0;
  statm >> size >> resident;
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE));
}

double heap_in_use() {
  return static_cast<double>(mallinfo2().uordblks);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "kvstore") != 0 && std::strcmp(argv[1], "ptree") != 0)) {
    std::fprintf(stderr, "usage: kv_bench_mem kvstore|ptree <properties>\n");
    return 2;
  }
  const bool kvstore = std::strcmp(argv[1], "kvstore") == 0;
  const std::size_t n = std::strtoul(argv[2], nullptr, 10);
  if (n == 0) {
    std::fprintf(stderr, "kv_bench_mem: the number of properties must be positive\n");
    return 2;
  }
  const Config config = make_config(n);
  // What generating left free must not be counted as the tree's.
  malloc_trim(0);
  const double rss0 = resident_bytes();
  const double heap0 = heap_in_use();

  std::unique_ptr<KV_Object> object;
  std::unique_ptr<ptree> tree;
  if (kvstore) {
    object = std::make_unique<KV_Object>();
    kv_build(config, *object);
  } else {
    tree = std::make_unique<ptree>();
    pt_build(config, *tree);
  }
  const double rss = resident_bytes() - rss0;
  const double heap = heap_in_use() - heap0;
  std::printf(
      "{\"lib\": \"%s\", \"props\": %zu, \"rss_bytes_per_prop\": %.1f, "
      "\"heap_bytes_per_prop\": %.1f}\n",
      argv[1], n, rss / static_cast<double>(n), heap / static_cast<double>(n));
  return 0;
}
