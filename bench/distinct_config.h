// Copyright the kvstore authors.
//
// Configurations whose names are all distinct, for the benchmark of the name
// table: every property, and every node, has a name that no other one has.
//   wide   one node \wide holding every property: name_0, name_1, ...
//   deep   a tree ten nodes wide at each level, as deep as the count needs
//          (five levels of nodes at 1M), with ten properties in each leaf;
//          nodes are named n<level>_<number>, properties p<number>. Its
//          paths are about as long as those of the standard configuration
//          (40 code units on average at 1M), so that the two differ in their
//          names rather than in the length of their paths.
// Values cycle through int, double, string and bool; settings come in
// depth-first order, as a loader would store them.
#ifndef KVSTORE_BENCH_DISTINCT_CONFIG_H_
#define KVSTORE_BENCH_DISTINCT_CONFIG_H_

#include <cstddef>

#include "bench/config_gen.h"

enum class DistinctShape { kWide, kDeep };

Config make_distinct_config(DistinctShape shape, std::size_t properties);

#endif  // KVSTORE_BENCH_DISTINCT_CONFIG_H_
