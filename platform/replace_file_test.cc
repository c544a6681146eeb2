// Copyright the kvstore authors.
#include "platform/replace_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "testutil/temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::string native(const char16_t* name) {
  return kv_u16_to_utf8(name);
}

unsigned mode_of(const fs::path& path) {
  struct stat info;
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

TEST(ReplaceFile, ANewFileTakesTheOldOnesPlaceAndItsPermissionBits) {
  TempDir dir;
  const fs::path target = dir.path() / "device.pia";
  write_file(target, "old bytes");
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  struct stat before;
  ASSERT_EQ(::stat(target.c_str(), &before), 0);

  const std::u16string name = dir.file("device.pia");
  kv_replace_file replacement(name.c_str());
  ASSERT_FALSE(replacement.in_place());
  EXPECT_EQ(replacement.error(), 0);
  const std::string temp = native(replacement.write_name());
  // Beside the target, hidden, named after it, and private while written.
  EXPECT_EQ(fs::path(temp).parent_path(), dir.path());
  EXPECT_EQ(fs::path(temp).filename().string().rfind(".device.pia.", 0), 0u) << temp;
  EXPECT_EQ(fs::path(temp).filename().string().size(), std::string(".device.pia.").size() + 6);
  EXPECT_EQ(mode_of(temp), 0600u);
  EXPECT_EQ(read_file(target), "old bytes");  // untouched until the commit

  write_file(temp, "new bytes");
  EXPECT_EQ(replacement.commit(), 0);
  EXPECT_EQ(read_file(target), "new bytes");
  EXPECT_EQ(mode_of(target), 0640u);
  struct stat after;
  ASSERT_EQ(::stat(target.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);  // a new file, not the old one rewritten
  EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"device.pia"});
}

TEST(ReplaceFile, WhatIsNotCommittedIsRemovedAndTheTargetStays) {
  TempDir dir;
  const fs::path target = dir.path() / "keep.pia";
  write_file(target, "precious");
  const std::u16string name = dir.file("keep.pia");
  {
    kv_replace_file replacement(name.c_str());
    write_file(native(replacement.write_name()), "half writ");
  }
  {
    kv_replace_file replacement(name.c_str());
    replacement.abort();
    replacement.abort();                 // twice is harmless
    EXPECT_EQ(replacement.commit(), 0);  // nothing left to commit
  }
  EXPECT_EQ(read_file(target), "precious");
  EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"keep.pia"});

  // A target that does not exist yet is made as a plain write makes it.
  const mode_t mask = ::umask(027);
  const std::u16string fresh = dir.file("fresh.pia");
  {
    kv_replace_file replacement(fresh.c_str());
    ASSERT_FALSE(replacement.in_place());
    write_file(native(replacement.write_name()), "x");
    EXPECT_EQ(replacement.commit(), 0);
  }
  ::umask(mask);
  EXPECT_EQ(mode_of(dir.path() / "fresh.pia"), 0640u);
  EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"fresh.pia", "keep.pia"}));
}

TEST(ReplaceFile, LinksAreFollowedAndStayLinks) {
  TempDir dir;
  fs::create_directories(dir.path() / "real");
  fs::create_directories(dir.path() / "links");
  write_file(dir.path() / "real" / "file.pia", "old");
  // links/a -> b -> ../real/file.pia: a chain of relative links.
  fs::create_symlink("b", dir.path() / "links" / "a");
  fs::create_symlink("../real/file.pia", dir.path() / "links" / "b");
  const std::u16string name = dir.file("links/a");
  kv_replace_file replacement(name.c_str());
  ASSERT_FALSE(replacement.in_place());
  // The new file lies beside the file that the links name.
  EXPECT_EQ(fs::path(native(replacement.write_name())).parent_path(), dir.path() / "links/../real");
  write_file(native(replacement.write_name()), "new");
  EXPECT_EQ(replacement.commit(), 0);
  EXPECT_TRUE(fs::is_symlink(dir.path() / "links" / "a"));
  EXPECT_TRUE(fs::is_symlink(dir.path() / "links" / "b"));
  EXPECT_EQ(read_file(dir.path() / "real" / "file.pia"), "new");
  EXPECT_EQ(listing(dir.path() / "real"), std::vector<std::string>{"file.pia"});

  // A link to nothing: the file it names is made.
  fs::create_symlink("../real/later.pia", dir.path() / "links" / "dangling");
  const std::u16string dangling = dir.file("links/dangling");
  kv_replace_file later(dangling.c_str());
  ASSERT_FALSE(later.in_place());
  write_file(native(later.write_name()), "made");
  EXPECT_EQ(later.commit(), 0);
  EXPECT_EQ(read_file(dir.path() / "real" / "later.pia"), "made");
  EXPECT_TRUE(fs::is_symlink(dir.path() / "links" / "dangling"));

  // A loop of links is written in place, to fail as a plain write does.
  fs::create_symlink("loop2", dir.path() / "links" / "loop1");
  fs::create_symlink("loop1", dir.path() / "links" / "loop2");
  const std::u16string loop = dir.file("links/loop1");
  kv_replace_file looped(loop.c_str());
  EXPECT_TRUE(looped.in_place());
  EXPECT_EQ(looped.write_name(), loop.c_str());
}

TEST(ReplaceFile, WhatANewFileCannotReplaceIsWrittenInPlace) {
  TempDir dir;
  // Not a regular file.
  const std::u16string null_device = u"/dev/null";
  kv_replace_file device(null_device.c_str());
  EXPECT_TRUE(device.in_place());
  EXPECT_EQ(device.write_name(), null_device.c_str());
  // A folder; a file with further hard links, which keeps sharing its content
  // with them; a name without a folder to make a file in, and no name, which
  // fail as a plain write always did.
  fs::create_directories(dir.path() / "folder");
  write_file(dir.path() / "one", "shared");
  fs::create_hard_link(dir.path() / "one", dir.path() / "two");
  for (const char* name : {"folder", "one", "missing/file.pia", ""}) {
    const std::u16string path = name[0] != '\0' ? dir.file(name) : u"";
    EXPECT_TRUE(kv_replace_file(path.c_str()).in_place()) << name;
  }
  EXPECT_TRUE(kv_replace_file(nullptr).in_place());
  // A file that another open file holds locked (a compound document in use)
  // is met by the format's own lock, as before; unlocked, it is replaced.
  write_file(dir.path() / "held", "in use");
  const std::u16string held = dir.file("held");
  {
    const int fd = ::open((dir.path() / "held").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_TRUE(kv_replace_file(held.c_str()).in_place());
    ::close(fd);
  }
  EXPECT_FALSE(kv_replace_file(held.c_str()).in_place());
  EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"folder", "held", "one", "two"}));
}

TEST(ReplaceFile, LongNamesAreCutInTheNewFilesName) {
  TempDir dir;
  // 250 bytes: two-byte characters, cut between them, never inside one.
  std::string name;
  while (name.size() < 250) name += "\xC3\xA9";
  write_file(dir.path() / name, "old");
  const std::u16string wide = kv_utf8_to_u16((dir.path() / name).c_str());
  kv_replace_file replacement(wide.c_str());
  ASSERT_FALSE(replacement.in_place());
  const std::string temp = fs::path(native(replacement.write_name())).filename().string();
  EXPECT_EQ(temp.size(), 1 + 200 + 1 + 6u);
  EXPECT_EQ(temp.substr(1, 200), name.substr(0, 200));
  write_file(native(replacement.write_name()), "new");
  EXPECT_EQ(replacement.commit(), 0);
  EXPECT_EQ(read_file(dir.path() / name), "new");
}

}  // namespace
