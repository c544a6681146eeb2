// Copyright the kvstore authors.
//
// The failures of kvtool that are not the library's exceptions.
#ifndef KVSTORE_TOOLS_TOOL_ERROR_H_
#define KVSTORE_TOOLS_TOOL_ERROR_H_

#include <stdexcept>

// A request that could not be met: a missing value, an unreadable file,
// malformed JSON. kvtool prints the text and exits with 1.
class ToolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An argument that makes no sense for its command (a VALUE that is not of the
// type asked for, say). kvtool prints the text and exits with 2, like the
// argument parser does for its own usage errors.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

#endif  // KVSTORE_TOOLS_TOOL_ERROR_H_
