// Copyright the kvstore authors.
//
// Saves to a file name: a new file beside the target takes its place only
// when it is complete, so a save that fails leaves the previous file byte
// for byte and no other file behind.
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "kvstore/kv_exceptions.h"
#include "kvstore/kv_object.h"
#include "testutil/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// The uid and gid that a root test drops to.
constexpr uid_t kNobody = 65534;
// Exit status of a child that cannot run its case.
constexpr int kCannotRun = 77;

ino_t inode_of(const fs::path& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// A tree whose PIA text is about 100 kB.
void fill(KV_Object& kv) {
  for (int i = 0; i < 4000; ++i) kv.SetProperty(u"\\pens\\*\\width", 0.25 + i, i);
}

// Runs body in a child process and returns its exit status (-1 when it did
// not exit). body returns the status; a failure is described on stderr.
int in_child(const std::function<int()>& body) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    int status = 100;
    try {
      status = body();
    } catch (...) {
      std::fprintf(stderr, "child: unexpected exception\n");
    }
    std::fflush(nullptr);
    ::_exit(status);
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// 0 when f throws an exception of class E with id, source and argument;
// otherwise a status that says what differed.
template <typename E, typename F>
int expect_error(F&& f, unsigned id, const std::u16string& source, const std::u16string& argument) {
  try {
    f();
    std::fprintf(stderr, "child: no exception\n");
    return 1;
  } catch (const E& e) {
    if (e.id() != id) {
      std::fprintf(stderr, "child: id %u\n", e.id());
      return 2;
    }
    if (source != e.source()) {
      std::fprintf(stderr, "child: another source\n");
      return 3;
    }
    if (e.argument() == nullptr || argument != e.argument()) {
      std::fprintf(stderr, "child: the argument does not name the caller's file\n");
      return 4;
    }
    return 0;
  } catch (const GX_Exception& e) {
    std::fprintf(stderr, "child: %s\n", e.what());
    return 5;
  }
}

TEST(KvObjectSave, ASaveReplacesTheFileKeepingItsBitsAndLinks) {
  TempDir dir;
  fs::create_directories(dir.path() / "real");
  const fs::path real = dir.path() / "real" / "device.pia";
  write_file(real, "an older configuration");
  ASSERT_EQ(::chmod(real.c_str(), 0604), 0);
  fs::create_symlink("real/device.pia", dir.path() / "link.pia");

  KV_Object kv;
  kv.SetProperty(u"\\media\\width", 210.0);
  const std::u16string link = dir.file("link.pia");
  for (const char16_t* header : {u"", u"compress"}) {
    kv.save(link.c_str(), KV_Object::FT_PIA, header, u"\\");
    KV_Object back;
    back.load(link.c_str(), KV_Object::FT_PIA, u"\\");
    double width = 0;
    EXPECT_TRUE(back.GetProperty(u"\\media\\width", width));
    EXPECT_EQ(width, 210.0);
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.pia"));
    struct stat info;
    ASSERT_EQ(::stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
    EXPECT_EQ(listing(dir.path() / "real"), std::vector<std::string>{"device.pia"});
  }
  // A folder that does not exist fails as a plain write does, naming the
  // caller's file.
  const std::u16string nowhere = dir.file("missing/device.pia");
  try {
    kv.save(nowhere.c_str(), KV_Object::FT_PIA, u"", u"\\");
    FAIL();
  } catch (const KV_Severe& e) {
    EXPECT_EQ(e.id(), 63u);
    EXPECT_EQ(std::u16string(e.source()), u"KV_PIAFile::open()");
    EXPECT_EQ(std::u16string(e.argument()), nowhere);
  }
}

TEST(KvObjectSave, ASaveBeyondTheFileSizeLimitLeavesTheOldBytes) {
  // RLIMIT_FSIZE makes every write past 4 kB fail with EFBIG (SIGXFSZ is
  // ignored), in a child, so that the limit binds nothing else.
  for (const char16_t* header : {u"", u"compress"}) {
    TempDir dir;
    const fs::path target = dir.path() / "device.pia";
    const std::string previous = "PIAFILEVERSION_2.0,\r\nversion=1\n";
    write_file(target, previous);
    const std::u16string name = dir.file("device.pia");
    const int status = in_child([&] {
      KV_Object kv;
      fill(kv);
      ::signal(SIGXFSZ, SIG_IGN);
      const struct rlimit limit = {4096, 4096};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return kCannotRun;
      // EFBIG is none of the stream check's codes: 82.
      return expect_error<KV_Severe>(
          [&] { kv.save(name.c_str(), KV_Object::FT_PIA, header, u"\\"); }, 82,
          u"KV_PIAFile::save()", name);
    });
    EXPECT_EQ(status, 0) << (*header != 0 ? "compressed" : "plain");
    EXPECT_EQ(read_file(target), previous);
    EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"device.pia"});
  }
}

TEST(KvObjectSave, AFolderThatCannotTakeANewFileIsWrittenInPlace) {
  // Permissions bind only a user without privileges: as root, the case runs
  // in a child that becomes nobody.
  TempDir dir;
  const bool root = ::geteuid() == 0;
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  const fs::path locked = dir.path() / "locked";
  const fs::path open = dir.path() / "open";
  fs::create_directories(locked);
  fs::create_directories(open);
  const std::string previous = "PIAFILEVERSION_2.0,\r\nversion=1\n";
  write_file(locked / "device.pia", previous);
  write_file(open / "readonly.pia", previous);
  if (root) {
    for (const fs::path& p : {locked / "device.pia", open / "readonly.pia", open}) {
      ASSERT_EQ(::chown(p.c_str(), kNobody, kNobody), 0);
    }
  }
  ASSERT_EQ(::chmod((locked / "device.pia").c_str(), 0644), 0);
  ASSERT_EQ(::chmod((open / "readonly.pia").c_str(), 0444), 0);
  ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
  const ino_t before = inode_of(locked / "device.pia");
  const std::u16string in_locked = dir.file("locked/device.pia");
  const std::u16string readonly = dir.file("open/readonly.pia");

  const int status = in_child([&] {
    if (root &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
      return kCannotRun;
    }
    if (::access(dir.path().c_str(), X_OK) != 0) return kCannotRun;
    KV_Object kv;
    kv.SetProperty(u"\\version", 2);
    // The folder takes no new file: the file is written in place, as
    // before.
    kv.save(in_locked.c_str(), KV_Object::FT_PIA, u"", u"\\");
    KV_Object back;
    back.load(in_locked.c_str(), KV_Object::FT_PIA, u"\\");
    int version = 0;
    if (!back.GetProperty(u"\\version", version) || version != 2) return 10;
    // A file that the caller may not write is refused as before, though its
    // folder would take a new file.
    return expect_error<KV_Severe>(
        [&] { kv.save(readonly.c_str(), KV_Object::FT_PIA, u"", u"\\"); }, 61,
        u"KV_PIAFile::open()", readonly);
  });
  ::chmod(locked.c_str(), 0755);
  if (status == kCannotRun) {
    GTEST_SKIP() << "cannot run as a user without privileges (setuid to " << kNobody
                 << " failed, or the temporary folder is closed to that user)";
  }
  EXPECT_EQ(status, 0);
  EXPECT_EQ(inode_of(locked / "device.pia"), before);  // the same file, rewritten
  EXPECT_EQ(listing(locked), std::vector<std::string>{"device.pia"});
  EXPECT_EQ(read_file(open / "readonly.pia"), previous);
  EXPECT_EQ(listing(open), std::vector<std::string>{"readonly.pia"});
}

TEST(KvObjectSave, EveryFormatSavedToAFileNameLeavesTheOldBytesWhenItFails) {
  // The dispatch replaces the file for every format: each writes the name it
  // is given, fails at the file size limit its own way, and names the
  // caller's file, never the new one beside it.
  for (KV_Object::FileType type : {KV_Object::FT_DPIA, KV_Object::FT_DOC}) {
    TempDir dir;
    const fs::path target = dir.path() / "device.dat";
    const std::string previous = "the previous configuration";
    write_file(target, previous);
    const std::u16string name = dir.file("device.dat");
    const int status = in_child([&] {
      // Raw values of bytes that do not compress, so that DPIA's compressed
      // sections pass the limit too.
      KV_Object kv;
      uint32_t state = 12345;
      for (int i = 0; i < 2000; ++i) {
        unsigned char bytes[32];
        for (unsigned char& b : bytes) {
          state = state * 1103515245u + 12345u;
          b = static_cast<unsigned char>(state >> 24);
        }
        kv.setVoidProperty(u"\\s*\\id", bytes, sizeof(bytes), i);
      }
      ::signal(SIGXFSZ, SIG_IGN);
      const struct rlimit limit = {4096, 4096};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return kCannotRun;
      try {
        kv.save(name.c_str(), type, u"", u"\\");
        std::fprintf(stderr, "child: no exception\n");
        return 1;
      } catch (const GX_Exception& e) {
        if (e.argument() != nullptr &&
            std::u16string(e.argument()).find(u".device.dat.") != std::u16string::npos) {
          std::fprintf(stderr, "child: the argument names the new file\n");
          return 2;
        }
        return 0;
      }
    });
    EXPECT_EQ(status, 0) << "type " << type;
    EXPECT_EQ(read_file(target), previous) << "type " << type;
    EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"device.dat"}) << "type " << type;
  }
}

}  // namespace
