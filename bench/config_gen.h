// Copyright the kvstore authors.
//
// Synthetic device configurations for the benchmarks, shaped like real ones:
// a list of device models, each a few levels deep, with a few wide nodes
// (hundreds of indexed media sizes and pens), every value type, and the same
// names (name, width, id, the indexes 0, 1, 2 ...) reused across branches.
//
// The same configuration feeds kvstore and its peers: each setting carries
// its path both as kvstore's UTF-16 path ("\models\plotter-001\pens\12\color")
// and as a narrow path for Boost.PropertyTree (the same, backslash-separated,
// without the leading backslash), and its value both in kvstore's form and as
// the text a property tree holds.
#ifndef KVSTORE_BENCH_CONFIG_GEN_H_
#define KVSTORE_BENCH_CONFIG_GEN_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class SettingKind : uint8_t { kInt, kDouble, kString, kBool, kRaw };

struct Setting {
  std::u16string path;  // kvstore path, leading backslash
  std::string key;      // property tree path, backslash separator
  SettingKind kind = SettingKind::kInt;
  int32_t int_value = 0;
  double double_value = 0;
  bool bool_value = false;
  std::u16string text;             // kString: the wide text
  std::string narrow;              // kString: the same text; kRaw: upper-case hex
  std::vector<unsigned char> raw;  // kRaw: the bytes
};

struct Config {
  std::vector<Setting> settings;
  std::size_t models = 0;  // device models emitted (the last may be cut short)
  std::size_t count(SettingKind kind) const;
};

// A configuration of exactly properties settings (deterministic: the same
// count always gives the same configuration). Paths are unique; settings come
// in depth-first order, as a loader would store them.
Config make_config(std::size_t properties);

#endif  // KVSTORE_BENCH_CONFIG_GEN_H_
