// Copyright the kvstore authors.
//
// The dispatch of KV_Object's file operations and the error path that every
// format shares.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "formats/kv_file.h"
#include "kvstore/kv_exceptions.h"
#include "kvstore/kv_object.h"
#include "testutil/recording_handler.h"
#include "testutil/temp_dir.h"

namespace {

// The id and source of the KV_Warning that f throws (0 and "" when none).
template <typename F>
std::pair<unsigned, std::u16string> warning(F&& f) {
  try {
    f();
  } catch (const KV_Warning& e) {
    EXPECT_EQ(e.argument(), nullptr);
    return {e.id(), e.source()};
  }
  return {0, u""};
}

TEST(KvObjectFiles, TypesAnOperationDoesNotServeAreRefusedBeforeAnyFileIsTouched) {
  TempDir dir;
  KV_Object kv;
  kv.SetProperty(u"\\a\\x", 1);
  const std::u16string missing = dir.file("missing");
  const std::u16string target = dir.file("target");
  const std::pair<unsigned, std::u16string> load{67, u"KV_Object::load()"};
  const std::pair<unsigned, std::u16string> save{67, u"KV_Object::save()"};
  for (int type : {7, -1, 100}) {
    auto t = static_cast<KV_Object::FileType>(type);
    EXPECT_EQ(warning([&] { kv.load(missing.c_str(), t, u"\\"); }), load);
    EXPECT_EQ(warning([&] { kv.save(target.c_str(), t, u"", u"\\a"); }), save);
  }
  for (auto t : {KV_Object::FT_PCP, KV_Object::FT_PC2, KV_Object::FT_PDT, KV_Object::FT_CFG}) {
    EXPECT_EQ(warning([&] { kv.save(target.c_str(), t, u"", u"\\a"); }), save);
    std::stringstream stream;
    EXPECT_EQ(warning([&] { kv.save(&stream, t, u"", u"\\a"); }), save);
  }
  std::stringstream stream;
  EXPECT_EQ(warning([&] { kv.load(&stream, KV_Object::FT_DOC, u"\\"); }), load);
  EXPECT_EQ(warning([&] { kv.save(&stream, KV_Object::FT_DOC, u"", u"\\a"); }), save);
  for (int type = 0; type <= 7; ++type) {
    auto t = static_cast<KV_Object::FileType>(type);
    if (t != KV_Object::FT_DPIA) {
      EXPECT_EQ(warning([&] { kv.load_section(missing.c_str(), t, u"\\", u"s"); }), load);
    }
    if (t != KV_Object::FT_CFG) {
      EXPECT_EQ(warning([&] { kv.load_cfg_section(missing.c_str(), t, u"\\", 1); }), load);
    }
  }
  char16_t version[32];
  EXPECT_EQ(warning([&] { kv.getFileVersion(missing.c_str(), version, KV_Object::FT_PIA); }),
            (std::pair<unsigned, std::u16string>{67, u"KV_Object::getFileVersion()"}));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "target"));
}

TEST(KvObjectFiles, AVersionQueryReadsThePiaHeaderLine) {
  TempDir dir;
  write_file(dir.path() / "plot.pcp", "PCP-VERSION 2\r\nrest\n");
  write_file(dir.path() / "plot.pia", "\n PIAFILEVERSION_2.0,anything\r\nrest\n");
  KV_Object kv;
  char16_t version[32];
  const std::u16string pia = dir.file("plot.pia");
  kv.getFileVersion(pia.c_str(), version, 32, KV_Object::FT_PCP);
  EXPECT_EQ(std::u16string(version), u"PIAFILEVERSION_2.0,anything");
  // The PIA reader serves the query and insists on its own header line;
  // a query has no handler, so the report raises.
  const std::u16string pcp = dir.file("plot.pcp");
  try {
    kv.getFileVersion(pcp.c_str(), version, 32, KV_Object::FT_PCP);
    FAIL();
  } catch (const GX_Exception& e) {
    EXPECT_EQ(e.id(), 89u);
    EXPECT_EQ(std::u16string(e.argument()), pcp);
  }
}

TEST(KvObjectFiles, SectionedFilesServeEveryOperationByFileAndStream) {
  TempDir dir;
  KV_Object kv;
  kv.SetProperty(u"\\P\\s\\info", u"one");
  kv.SetProperty(u"\\P\\s\\data\\x", 1);
  std::stringstream stream;
  kv.save(&stream, KV_Object::FT_DPIA, u"", u"\\P");
  const std::u16string file = dir.file("s.dpia");
  kv.save(file.c_str(), KV_Object::FT_DPIA, u"", u"\\P");
  EXPECT_EQ(read_file(dir.path() / "s.dpia"), stream.str());

  KV_Object back;
  back.load(&stream, KV_Object::FT_DPIA, u"\\from_stream");
  back.load(file.c_str(), KV_Object::FT_DPIA, u"\\from_file");
  back.load_section(file.c_str(), KV_Object::FT_DPIA, u"\\section", u"s");
  char16_t text[8] = {};
  EXPECT_TRUE(back.GetProperty(u"\\from_stream\\DPIA_directory\\0\\info", text, sizeof text));
  EXPECT_EQ(std::u16string(text), u"one");
  EXPECT_TRUE(back.GetProperty(u"\\from_file\\DPIA_directory\\0\\descriptor", text, sizeof text));
  EXPECT_EQ(std::u16string(text), u"s");
  int x = 0;
  EXPECT_TRUE(back.GetProperty(u"\\section\\x", x));
  EXPECT_EQ(x, 1);
  // The version query is not served for sectioned files.
  char16_t version[32];
  EXPECT_EQ(warning([&] { back.getFileVersion(file.c_str(), version, KV_Object::FT_DPIA); }),
            (std::pair<unsigned, std::u16string>{67, u"KV_Object::getFileVersion()"}));
}

TEST(KvFile, ReportWithoutHandlerRaisesAPlainCopy) {
  class Probe : public KV_File {
   public:
    using KV_File::KV_File;
    void load(KV_Object*, const char16_t*, KV_Object::FileType) override {}
    void save(const KV_Object*, const char16_t*, KV_Object::FileType, const char16_t*) override {}
    void setStream(std::iostream*) override {}
    void open(const char16_t*, int) override {}
    void close() override {}
    void getVersion(char16_t*, std::size_t) override {}
  };
  Probe silent(nullptr);
  try {
    silent.report(KV_Warning(57, u"KV_PIAFile::load()", u"\n2, x, f", u"rev"));
    FAIL();
  } catch (const KV_Warning&) {
    FAIL() << "the copy is a GX_Exception, not a KV_Warning";
  } catch (const GX_Exception& e) {
    EXPECT_EQ(e.id(), 57u);
    EXPECT_EQ(e.severity(), 2);
    EXPECT_EQ(std::u16string(e.argument()), u"\n2, x, f");
    EXPECT_EQ(std::u16string(e.file()), u"rev");
  }

  RecordingHandler go_on(1);
  Probe tolerant(&go_on);
  tolerant.report(KV_Error(57, u"s", nullptr, u"rev"));
  ASSERT_EQ(go_on.reports.size(), 1u);
  EXPECT_EQ(go_on.reports[0].operation, "error");

  RecordingHandler stop(0);
  Probe strict(&stop);
  std::u16string line = u"x=yes";
  KV_Warning untyped(88, line.c_str(), u"", u"rev");
  untyped.own_source();
  try {
    strict.report(untyped);
    FAIL();
  } catch (const GX_Canceled_Error& e) {
    EXPECT_EQ(e.id(), 88u);
    EXPECT_EQ(std::u16string(e.source()), u"x=yes");
    EXPECT_NE(e.source(), untyped.source());  // its own copy
    EXPECT_EQ(std::u16string(e.argument()), u"");
  }
  // A severe error reported to a handler goes on whatever it answers.
  strict.report(KV_Severe(63, u"s", nullptr, u"rev"));
}

}  // namespace
