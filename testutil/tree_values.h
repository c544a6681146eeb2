// Copyright the kvstore authors.
//
// Loading a file held in a string and reading single values back, for tests
// of the readers. The getters expect the property to be there (a missing one
// fails the test and gives a zero value).
#ifndef KVSTORE_TESTUTIL_TREE_VALUES_H_
#define KVSTORE_TESTUTIL_TREE_VALUES_H_

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "kvstore/kv_object.h"

// ASCII between the two string kinds; tests use it for names and messages.
inline std::string narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }
inline std::u16string widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// Loads bytes as a file of the given type from a stream below root.
inline void load_text(KV_Object& kv, const std::string& bytes, KV_Object::FileType type,
                      const char16_t* root = u"\\") {
  std::stringstream stream(bytes, std::ios::in | std::ios::out | std::ios::binary);
  kv.load(&stream, type, root);
}

template <typename T>
T get(const KV_Object& kv, const std::u16string& path) {
  T value{};
  EXPECT_TRUE(kv.GetProperty(path.c_str(), value)) << narrow(path);
  return value;
}

inline std::u16string get_text(const KV_Object& kv, const std::u16string& path) {
  std::vector<char16_t> buffer(kv.getPropertySize(path.c_str()) / 2 + 1);
  EXPECT_TRUE(kv.GetProperty(path.c_str(), buffer.data(), buffer.size() * 2)) << narrow(path);
  return buffer.data();
}

#endif  // KVSTORE_TESTUTIL_TREE_VALUES_H_
