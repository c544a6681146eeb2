// Copyright the kvstore authors.
//
// The loader of the message library. Each suite runs in a process of its own
// (see tree/CMakeLists.txt), since the handle is cached for the process:
//   MessagesFound     libkvres14.so is on the library search path;
//   MessagesMissing   it is not, and no language library is beside the
//                     executable: the loader tries en-US/libkvres14.so;
//   MessagesFallback  it is not, and libuserdata.so beside the executable
//                     reports de-DE: the loader tries de-DE/libkvres14.so.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "kvstore/kv_exceptions.h"

namespace fs = std::filesystem;

namespace {

TEST(MessagesFound, TheHandleIsLoadedOnceAndGivesEveryText) {
  uint64_t handle = GetKVErrResHandle();
  ASSERT_NE(handle, 0u);
  EXPECT_EQ(GetKVErrResHandle(), handle);
  for (unsigned id = 50; id <= 99; ++id) {
    const char16_t* text = kv_message_text(handle, id);
    ASSERT_NE(text, nullptr) << "id " << id;
    EXPECT_NE(text[0], 0) << "id " << id;
  }
  EXPECT_EQ(kv_message_text(handle, 49), nullptr);
  EXPECT_EQ(kv_message_text(0, 54), nullptr);
  EXPECT_EQ(KV_Warning(54, u"s", nullptr, u"f").module(), handle);
}

TEST(MessagesMissing, NothingFoundGivesZeroAndTheNextCallTriesAgain) {
  const char* binary_dir = std::getenv("KV_BINARY_DIR");
  ASSERT_NE(binary_dir, nullptr);
  fs::remove_all("en-US");
  EXPECT_EQ(GetKVErrResHandle(), 0u);
  EXPECT_EQ(KV_Error(53, u"s", nullptr, u"f").module(), 0u);
  EXPECT_EQ(GetKVErrResHandle(), 0u);

  fs::create_directory("en-US");
  fs::copy_file(fs::path(binary_dir) / "lib" / "libkvres14.so", "en-US/libkvres14.so",
                fs::copy_options::overwrite_existing);
  uint64_t handle = GetKVErrResHandle();
  EXPECT_NE(handle, 0u);
  const char16_t* text = kv_message_text(handle, 54);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::u16string(text).substr(0, 4), u"The ");
  fs::remove_all("en-US");
}

TEST(MessagesFallback, TheHostsLanguageChoosesTheFolder) {
  ASSERT_TRUE(fs::exists("de-DE/libkvres14.so"));
  ASSERT_FALSE(fs::exists("en-US"));
  uint64_t handle = GetKVErrResHandle();
  ASSERT_NE(handle, 0u);
  const char16_t* text = kv_message_text(handle, 54);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::u16string(text), u"Der Typ des Werts passt nicht zur Eigenschaft.");
}

}  // namespace
