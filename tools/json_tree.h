// Copyright the kvstore authors.
//
// The JSON form of a sub-tree: lossless and in the tree's order, so that a
// tree can be written as JSON, edited in any tool and read back identical.
//
//   {"header": "compress",                      (top level only, optional)
//    "name": "Root",
//    "properties": [{"name": "width", "type": "double", "value": 210.0}, ...],
//    "nodes": [{"name": "media", "properties": [...], "nodes": [...]}, ...]}
//
// Property types and values:
//   "int"     a JSON integer from -2147483648 to 2147483647
//   "double"  a JSON number; infinities and NaNs as a JSON string holding the
//             library's exact text ("nan (...)"), which keeps every bit. On
//             reading, any string that stringtodouble accepts is taken too.
//   "string"  a JSON string (UTF-8), stored as UTF-16 text. A stored string
//             that is not a terminated UTF-16 text (narrow text, set by a host
//             through the narrow setter) is written with "narrow": true and
//             its bytes before the final zero byte as the characters U+0000
//             to U+00FF, one per byte; it is read back byte for byte.
//   "bool"    true or false
//   "raw"     the bytes as hexadecimal text, two digits a byte (written in
//             upper case, read in either case)
//
// "header" keeps the PIA header text of the file the tree came from, so that
// converting back to PIA restores it. The top node's "name" is informative;
// its properties and nodes are what a load stores. Every other node needs a
// name. Names may not be empty or hold "\" or "*" (the library reads both as
// path syntax). "properties" and "nodes" may be left out when empty. Unknown
// members, nodes nested more than 256 levels and values of the wrong kind are
// refused with an error that names the place.
#ifndef KVSTORE_TOOLS_JSON_TREE_H_
#define KVSTORE_TOOLS_JSON_TREE_H_

#include <optional>
#include <string>
#include <string_view>

#include "tree_model.h"

struct JsonTree {
  NodeEntry root;
  std::optional<std::string> header;
};

// The JSON text of tree (two-blank indentation, UTF-8, final line feed).
// Throws ToolError for a string value that no JSON form can hold (a narrow
// text without its final zero byte, which no setter makes).
std::string tree_to_json(const JsonTree& tree);

// Reads the JSON text. Throws ToolError with a one-line message for malformed
// JSON or a document that does not follow the form above.
JsonTree tree_from_json(std::string_view text);

#endif  // KVSTORE_TOOLS_JSON_TREE_H_
