// Copyright the kvstore authors.
#include "json_tree.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <utility>

#include "tool_error.h"
#include "utf.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr int kMaxDepth = 256;

const char* type_name(PropType type) {
  switch (type) {
    case PROP_INT:
      return "int";
    case PROP_DOUBLE:
      return "double";
    case PROP_STRING:
      return "string";
    case PROP_BOOL:
      return "bool";
    case PROP_VOID:
      return "raw";
    default:
      return nullptr;
  }
}

// The UTF-16 code units of a stored string value, when its bytes are exactly
// a well-formed UTF-16 text and one terminator.
bool stored_wide_text(const std::vector<unsigned char>& bytes, std::u16string& text) {
  if (bytes.size() < 2 || bytes.size() % 2 != 0) return false;
  std::u16string units(bytes.size() / 2, u'\0');
  std::memcpy(units.data(), bytes.data(), bytes.size());
  if (units.back() != 0) return false;
  units.pop_back();
  if (units.find(u'\0') != std::u16string::npos || !utf16_is_well_formed(units)) return false;
  text = std::move(units);
  return true;
}

std::string hex_text(const std::vector<unsigned char>& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (unsigned char byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

Json property_to_json(const PropertyEntry& property) {
  const StoredValue& value = property.value;
  const char* type = type_name(value.type);
  const std::string name = utf16_to_utf8(property.name);
  if (type == nullptr) throw ToolError("property " + name + " has no value");
  Json out;
  out["name"] = name;
  out["type"] = type;
  switch (value.type) {
    case PROP_INT: {
      int32_t number = 0;
      std::memcpy(&number, value.bytes.data(), std::min(value.bytes.size(), sizeof(number)));
      out["value"] = number;
      break;
    }
    case PROP_DOUBLE: {
      double number = 0;
      std::memcpy(&number, value.bytes.data(), std::min(value.bytes.size(), sizeof(number)));
      if (std::isfinite(number)) {
        out["value"] = number;
      } else if (!value.text.empty()) {
        out["value"] = value.text;
      } else {
        throw ToolError("property " + name + " holds a double without its exact text");
      }
      break;
    }
    case PROP_STRING: {
      std::u16string text;
      if (stored_wide_text(value.bytes, text)) {
        out["value"] = utf16_to_utf8(text);
      } else if (!value.bytes.empty() && value.bytes.back() == 0) {
        std::u16string latin1(value.bytes.begin(), value.bytes.end() - 1);
        out["value"] = utf16_to_utf8(latin1);
        out["narrow"] = true;
      } else {
        throw ToolError("property " + name + " holds a string without terminator");
      }
      break;
    }
    case PROP_BOOL:
      out["value"] = !value.bytes.empty() && value.bytes[0] != 0;
      break;
    default:
      out["value"] = hex_text(value.bytes);
      break;
  }
  return out;
}

Json node_to_json(const NodeEntry& node) {
  Json out;
  out["name"] = utf16_to_utf8(node.name);
  out["properties"] = Json::array();
  for (const PropertyEntry& property : node.properties) {
    out["properties"].push_back(property_to_json(property));
  }
  out["nodes"] = Json::array();
  for (const NodeEntry& child : node.nodes) out["nodes"].push_back(node_to_json(child));
  return out;
}

// ---- Reading.

[[noreturn]] void refuse(const std::string& where, const std::string& what) {
  throw ToolError("JSON " + where + ": " + what);
}

std::u16string read_name(const Json& object, const std::string& where, bool required) {
  auto member = object.find("name");
  if (member == object.end()) {
    if (required) refuse(where, "\"name\" is missing");
    return std::u16string();
  }
  if (!member->is_string()) refuse(where, "\"name\" must be a string");
  const std::u16string name = utf8_to_utf16(member->get_ref<const std::string&>());
  if (!required) return name;
  if (name.empty()) refuse(where, "\"name\" is empty");
  if (name.find_first_of(u"\\*") != std::u16string::npos) {
    refuse(where, "\"name\" may not hold \"\\\" or \"*\"");
  }
  return name;
}

void check_members(const Json& object, const std::string& where,
                   std::initializer_list<const char*> allowed) {
  for (const auto& member : object.items()) {
    bool known = false;
    for (const char* name : allowed) known = known || member.key() == name;
    if (!known) refuse(where, "unknown member \"" + member.key() + "\"");
  }
}

bool text_to_double(const std::string& text, double& number) {
  return stringtodouble(utf8_to_utf16(text).c_str(), &number) == 1;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

StoredValue read_value(const Json& property, const std::string& type, const std::string& where) {
  auto member = property.find("value");
  if (member == property.end()) refuse(where, "\"value\" is missing");
  const Json& json = *member;
  auto narrow_member = property.find("narrow");
  if (narrow_member != property.end() && (type != "string" || !narrow_member->is_boolean())) {
    refuse(where, "\"narrow\" belongs only to strings and must be true or false");
  }
  const bool narrow = narrow_member != property.end() && narrow_member->get<bool>();
  StoredValue value;
  if (type == "int") {
    value.type = PROP_INT;
    const bool fits = json.is_number_unsigned()
                          ? json.get<uint64_t>() <= INT32_MAX
                          : json.is_number_integer() && json.get<int64_t>() >= INT32_MIN &&
                                json.get<int64_t>() <= INT32_MAX;
    if (!fits) refuse(where, "an int value must be an integer from -2147483648 to 2147483647");
    const auto number = static_cast<int32_t>(json.get<int64_t>());
    value.bytes.resize(sizeof(number));
    std::memcpy(value.bytes.data(), &number, sizeof(number));
  } else if (type == "double") {
    value.type = PROP_DOUBLE;
    double number = 0;
    if (json.is_number()) {
      number = json.get<double>();
    } else if (!json.is_string() || !text_to_double(json.get_ref<const std::string&>(), number)) {
      refuse(where, "a double value must be a number or the text of one");
    }
    value.bytes.resize(sizeof(number));
    std::memcpy(value.bytes.data(), &number, sizeof(number));
  } else if (type == "string") {
    value.type = PROP_STRING;
    if (!json.is_string()) refuse(where, "a string value must be a JSON string");
    const std::u16string text = utf8_to_utf16(json.get_ref<const std::string&>());
    if (narrow) {
      for (char16_t unit : text) {
        if (unit > 0xFF) {
          refuse(where, "a narrow string holds only the characters U+0000 to U+00FF");
        }
        value.bytes.push_back(static_cast<unsigned char>(unit));
      }
      value.bytes.push_back(0);
    } else {
      if (text.find(u'\0') != std::u16string::npos) {
        refuse(where, "a string value may not hold U+0000");
      }
      value.bytes.resize((text.size() + 1) * sizeof(char16_t));
      std::memcpy(value.bytes.data(), text.c_str(), value.bytes.size());
    }
  } else if (type == "bool") {
    value.type = PROP_BOOL;
    if (!json.is_boolean()) refuse(where, "a bool value must be true or false");
    value.bytes.assign(1, json.get<bool>() ? 1 : 0);
  } else if (type == "raw") {
    value.type = PROP_VOID;
    const std::string* hex = json.is_string() ? &json.get_ref<const std::string&>() : nullptr;
    if (hex == nullptr || hex->size() % 2 != 0) {
      refuse(where, "a raw value must be hexadecimal text with two digits a byte");
    }
    for (std::size_t i = 0; i < hex->size(); i += 2) {
      const int high = hex_digit((*hex)[i]);
      const int low = hex_digit((*hex)[i + 1]);
      if (high < 0 || low < 0) refuse(where, "a raw value holds a character that is not a digit");
      value.bytes.push_back(static_cast<unsigned char>(high * 16 + low));
    }
  } else {
    refuse(where, "\"type\" must be one of int, double, string, bool, raw");
  }
  return value;
}

PropertyEntry read_property(const Json& json, const std::string& where) {
  if (!json.is_object()) refuse(where, "a property must be an object");
  check_members(json, where, {"name", "type", "value", "narrow"});
  PropertyEntry property;
  property.name = read_name(json, where, true);
  const std::string place = where + " (" + utf16_to_utf8(property.name) + ")";
  auto type = json.find("type");
  if (type == json.end() || !type->is_string()) refuse(place, "\"type\" must be a string");
  property.value = read_value(json, type->get<std::string>(), place);
  return property;
}

// path is the node's place in the document ("\\" for the top node, "\\media"
// below it, "\\#2" for a child without a usable name); it names the node in
// error messages.
void read_node(const Json& json, const std::string& path, int depth, NodeEntry& node) {
  const std::string where = "node " + path;
  if (!json.is_object()) refuse(where, "a node must be an object");
  if (depth == 0) {
    check_members(json, where, {"header", "name", "properties", "nodes"});
  } else {
    check_members(json, where, {"name", "properties", "nodes"});
  }
  node.name = read_name(json, where, depth > 0);
  auto properties = json.find("properties");
  if (properties != json.end()) {
    if (!properties->is_array()) refuse(where, "\"properties\" must be an array");
    for (std::size_t i = 0; i < properties->size(); ++i) {
      node.properties.push_back(
          read_property((*properties)[i], "property " + std::to_string(i) + " of " + where));
    }
  }
  auto nodes = json.find("nodes");
  if (nodes == json.end()) return;
  if (!nodes->is_array()) refuse(where, "\"nodes\" must be an array");
  if (!nodes->empty() && depth >= kMaxDepth) {
    refuse(where, "nodes are nested more than " + std::to_string(kMaxDepth) + " levels deep");
  }
  for (std::size_t i = 0; i < nodes->size(); ++i) {
    const Json& child = (*nodes)[i];
    std::string child_path = depth == 0 ? "\\" : path + "\\";
    auto name = child.is_object() ? child.find("name") : child.end();
    if (name != child.end() && name->is_string()) {
      child_path += name->get<std::string>();
    } else {
      child_path += "#" + std::to_string(i);
    }
    node.nodes.emplace_back();
    read_node(child, child_path, depth + 1, node.nodes.back());
  }
}

}  // namespace

std::string tree_to_json(const JsonTree& tree) {
  Json document;
  if (tree.header) document["header"] = *tree.header;
  Json root = node_to_json(tree.root);
  for (auto& member : root.items()) document[member.key()] = std::move(member.value());
  return document.dump(2, ' ', false, Json::error_handler_t::strict) + "\n";
}

JsonTree tree_from_json(std::string_view text) {
  Json document;
  try {
    document = Json::parse(text.begin(), text.end());
  } catch (const Json::exception& e) {
    std::string message = e.what();
    // "[json.exception.parse_error.101] parse error at line 1, ...": keep the
    // part a reader needs.
    const std::size_t tag_end = message.find("] ");
    if (message.rfind("[json.exception.", 0) == 0 && tag_end != std::string::npos) {
      message.erase(0, tag_end + 2);
    }
    throw ToolError("invalid JSON: " + message);
  }
  JsonTree tree;
  read_node(document, "\\", 0, tree.root);
  auto header = document.find("header");
  if (header != document.end()) {
    if (!header->is_string()) refuse("node \\", "\"header\" must be a string");
    tree.header = header->get<std::string>();
  }
  return tree;
}
