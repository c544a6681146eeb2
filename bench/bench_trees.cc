// Copyright the kvstore authors.
#include "bench/bench_trees.h"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "kvstore/kv_iterator.h"

namespace {

ptree::path_type tree_path(const std::string& key) {
  return ptree::path_type(key, '\\');
}

}  // namespace

void kv_build(const Config& config, KV_Object& object) {
  for (const Setting& s : config.settings) {
    const char16_t* path = s.path.c_str();
    switch (s.kind) {
      case SettingKind::kInt:
        object.SetProperty(path, s.int_value);
        break;
      case SettingKind::kDouble:
        object.SetProperty(path, s.double_value);
        break;
      case SettingKind::kBool:
        object.SetProperty(path, s.bool_value);
        break;
      case SettingKind::kString: {
        const char16_t* text = s.text.c_str();
        object.SetProperty(path, text);
        break;
      }
      case SettingKind::kRaw:
        object.setVoidProperty(path, s.raw.data(), static_cast<unsigned>(s.raw.size()));
        break;
    }
  }
}

std::size_t kv_read(const Config& config, const KV_Object& object, uint64_t& checksum) {
  std::size_t found = 0;
  std::vector<char16_t> text(4097);
  std::vector<unsigned char> raw(4096);
  for (const Setting& s : config.settings) {
    const char16_t* path = s.path.c_str();
    bool ok = false;
    switch (s.kind) {
      case SettingKind::kInt: {
        int v = 0;
        ok = object.GetProperty(path, v) && v == s.int_value;
        checksum += static_cast<uint32_t>(v);
        break;
      }
      case SettingKind::kDouble: {
        double v = 0;
        ok = object.GetProperty(path, v) && v == s.double_value;
        checksum += static_cast<uint64_t>(v);
        break;
      }
      case SettingKind::kBool: {
        bool v = false;
        ok = object.GetProperty(path, v) && v == s.bool_value;
        checksum += v;
        break;
      }
      case SettingKind::kString:
        ok = object.GetProperty(path, text.data(), text.size() * sizeof(char16_t)) &&
             text[0] == (s.text.empty() ? 0 : s.text[0]);
        checksum += text[0];
        break;
      case SettingKind::kRaw:
        ok = object.getVoidProperty(path, raw.data(), static_cast<unsigned>(raw.size())) &&
             raw[0] == s.raw[0];
        checksum += raw[0];
        break;
    }
    found += ok;
  }
  return found;
}

std::size_t kv_walk(const KV_Object& object, uint64_t& checksum) {
  std::unique_ptr<KV_Iterator> it(object.newIterator(u"\\", 0));
  if (it == nullptr) return 0;
  std::size_t props = 0;
  char* data = nullptr;
  std::size_t size = 0;
  PropType type = PROP_NONE;
  auto read_properties = [&]() {
    while (const char16_t* name = it->nextProp(data, size, type)) {
      ++props;
      checksum += size + static_cast<unsigned char>(data[0]) + name[0];
    }
  };
  read_properties();
  KV_Object::NodeType move;
  while (const char16_t* name = it->nextNode(move)) {
    checksum += name[0];
    if (move != KV_Object::NODE_UP) read_properties();
  }
  return props;
}

void pt_build(const Config& config, ptree& tree) {
  for (const Setting& s : config.settings) {
    switch (s.kind) {
      case SettingKind::kInt:
        tree.put(tree_path(s.key), s.int_value);
        break;
      case SettingKind::kDouble:
        tree.put(tree_path(s.key), s.double_value);
        break;
      case SettingKind::kBool:
        tree.put(tree_path(s.key), s.bool_value);
        break;
      case SettingKind::kString:
      case SettingKind::kRaw:
        tree.put(tree_path(s.key), s.narrow);
        break;
    }
  }
}

std::size_t pt_read(const Config& config, const ptree& tree, uint64_t& checksum) {
  std::size_t found = 0;
  for (const Setting& s : config.settings) {
    bool ok = false;
    switch (s.kind) {
      case SettingKind::kInt: {
        int v = tree.get<int>(tree_path(s.key));
        ok = v == s.int_value;
        checksum += static_cast<uint32_t>(v);
        break;
      }
      case SettingKind::kDouble: {
        // The tree writes doubles with 16 significant digits, which does not
        // always give back the same double.
        double v = tree.get<double>(tree_path(s.key));
        ok = std::fabs(v - s.double_value) <= 1e-12 * std::fabs(s.double_value);
        checksum += static_cast<uint64_t>(v);
        break;
      }
      case SettingKind::kBool: {
        bool v = tree.get<bool>(tree_path(s.key));
        ok = v == s.bool_value;
        checksum += v;
        break;
      }
      case SettingKind::kString:
      case SettingKind::kRaw: {
        std::string v = tree.get<std::string>(tree_path(s.key));
        ok = v == s.narrow;
        checksum += v.size();
        break;
      }
    }
    found += ok;
  }
  return found;
}

namespace {

std::size_t walk(const ptree& node, uint64_t& checksum) {
  std::size_t leaves = 0;
  for (const auto& [key, child] : node) {
    checksum += key.size();
    if (child.empty()) {
      ++leaves;
      checksum += child.data().size();
    } else {
      leaves += walk(child, checksum);
    }
  }
  return leaves;
}

}  // namespace

std::size_t pt_walk(const ptree& tree, uint64_t& checksum) {
  return walk(tree, checksum);
}
