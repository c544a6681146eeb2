// Copyright the kvstore authors.
//
// The work that the benchmarks time, for kvstore and for its peer
// Boost.PropertyTree, over one synthetic configuration: building the tree by
// path, reading every value back by path and walking the whole tree. Each
// read and walk returns the number of values it met, so that the caller can
// check that the work was really done, and adds to a checksum that keeps the
// compiler from dropping it.
#ifndef KVSTORE_BENCH_BENCH_TREES_H_
#define KVSTORE_BENCH_BENCH_TREES_H_

#include <boost/property_tree/ptree.hpp>
#include <cstddef>
#include <cstdint>

#include "bench/config_gen.h"
#include "kvstore/kv_object.h"

using ptree = boost::property_tree::ptree;

// Stores every setting with SetProperty (setVoidProperty for raw bytes).
void kv_build(const Config& config, KV_Object& object);
// Reads every setting with GetProperty (getVoidProperty for raw bytes).
std::size_t kv_read(const Config& config, const KV_Object& object, uint64_t& checksum);
// Walks the whole tree with KV_Iterator, rendering every value (nextProp).
std::size_t kv_walk(const KV_Object& object, uint64_t& checksum);

// The same with ptree::put, ptree::get and a recursive traversal. Values are
// kept as the tree keeps them (text); raw bytes as hexadecimal text.
void pt_build(const Config& config, ptree& tree);
std::size_t pt_read(const Config& config, const ptree& tree, uint64_t& checksum);
std::size_t pt_walk(const ptree& tree, uint64_t& checksum);

#endif  // KVSTORE_BENCH_BENCH_TREES_H_
