// Copyright the kvstore authors.
#include "bench/distinct_config.h"

#include <string>

namespace {

constexpr std::size_t kFanOut = 10;

void set_value(Setting& s, std::size_t i) {
  switch (i % 4) {
    case 0:
      s.kind = SettingKind::kInt;
      s.int_value = static_cast<int32_t>(i * 7);
      break;
    case 1:
      s.kind = SettingKind::kDouble;
      s.double_value = static_cast<double>(i % 10000) / 4;
      break;
    case 2:
      s.kind = SettingKind::kString;
      s.narrow = "value " + std::to_string(i);
      s.text = std::u16string(s.narrow.begin(), s.narrow.end());
      break;
    default:
      s.kind = SettingKind::kBool;
      s.bool_value = i % 8 == 3;
      break;
  }
}

}  // namespace

Config make_distinct_config(DistinctShape shape, std::size_t properties) {
  Config config;
  config.settings.reserve(properties);
  // Levels of nodes above the leaves of the deep tree.
  std::size_t levels = 1;
  for (std::size_t leaves = kFanOut; leaves * kFanOut < properties; leaves *= kFanOut) ++levels;
  for (std::size_t i = 0; i < properties; ++i) {
    std::string key;
    if (shape == DistinctShape::kWide) {
      key = "wide\\name_" + std::to_string(i);
    } else {
      // The leaf's number in base 10, one digit a level; each node is named
      // after its level and the number of its prefix.
      const std::size_t leaf = i / kFanOut;
      std::size_t span = 1;
      for (std::size_t l = 1; l < levels; ++l) span *= kFanOut;
      for (std::size_t level = 0; level < levels; ++level) {
        key += "n" + std::to_string(level) + "_" + std::to_string(leaf / span) + "\\";
        span /= kFanOut;
        if (span == 0) span = 1;
      }
      key += "p" + std::to_string(i);
    }
    Setting s;
    s.key = key;
    s.path = u"\\" + std::u16string(key.begin(), key.end());
    set_value(s, i);
    config.settings.push_back(std::move(s));
  }
  config.models = 0;
  return config;
}
