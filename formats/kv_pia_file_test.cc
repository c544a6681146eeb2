// Copyright the kvstore authors.
//
// The PIA format through the KV_Object file operations.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "kvstore/kv_exceptions.h"
#include "kvstore/kv_object.h"
#include "kvstore/kv_platform.h"
#include "testutil/recording_handler.h"
#include "testutil/temp_dir.h"
#include "testutil/tree_values.h"
#include "testutil/tree_walk.h"
#include "tree/kv_alloc.h"

namespace {

constexpr char kExampleBody[] =
    "version=2\n"
    "name=\"Main\n"
    "media{\n"
    " width=210.0\n"
    " flag=TRUE\n"
    " tray{\n"
    "  id=\\01AB\\\n"
    " }\n"
    "}\n";

void build_example(KV_Object& kv, const char16_t* start) {
  std::u16string s(start);
  kv.SetProperty((s + u"\\version").c_str(), 2);
  kv.SetProperty((s + u"\\name").c_str(), u"Main");
  kv.SetProperty((s + u"\\media\\width").c_str(), 210.0);
  kv.SetProperty((s + u"\\media\\flag").c_str(), true);
  const unsigned char id[2] = {0x01, 0xAB};
  kv.setVoidProperty((s + u"\\media\\tray\\id").c_str(), id, 2);
}

// The id, source and argument ("<none>" when null) of the E that f raises.
using Raised = std::tuple<unsigned, std::u16string, std::u16string>;
template <typename E, typename F>
Raised raised(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return {e.id(), e.source(), e.argument() != nullptr ? e.argument() : u"<none>"};
  }
  return {0, u"<not raised>", u""};
}

std::string save_to_string(const KV_Object& kv, const char16_t* header, const char16_t* path,
                           bool utf8 = false) {
  std::stringstream stream;
  kv.save(&stream, KV_Object::FT_PIA, header, path, utf8);
  return stream.str();
}

void load_from_string(KV_Object& kv, const std::string& bytes, const char16_t* root) {
  load_text(kv, bytes, KV_Object::FT_PIA, root);
}

std::string plain(const std::string& body) {
  return "PIAFILEVERSION_2.0,\r\n" + body;
}

TEST(PiaFormat, ExampleTreeSavesToTheExactBytes) {
  KV_Object kv;
  build_example(kv, u"\\dev");
  std::string expected = plain(kExampleBody) + std::string(1, '\0');
  EXPECT_EQ(save_to_string(kv, u"", u"\\dev"), expected);

  TempDir dir;
  std::u16string file = dir.file("example.pia");
  kv.save(file.c_str(), KV_Object::FT_PIA, u"", u"\\dev");
  EXPECT_EQ(read_file(dir.path() / "example.pia"), expected);

  KV_Object back;
  back.load(file.c_str(), KV_Object::FT_PIA, u"\\dev");
  EXPECT_EQ(walk_tree(back, u"\\dev"), walk_tree(kv, u"\\dev"));
  EXPECT_EQ(get<int>(back, u"\\dev\\version"), 2);
}

TEST(PiaFormat, CompressedBodyIsAZlibStreamBehindTheHeader) {
  KV_Object kv;
  build_example(kv, u"\\dev");
  std::string bytes = save_to_string(kv, u"compress", u"\\dev");
  const std::string header = "PIAFILEVERSION_2.0,compress\r\n";
  ASSERT_EQ(bytes.compare(0, header.size(), header), 0);
  std::string block = bytes.substr(header.size());
  ASSERT_GE(block.size(), 23u);
  EXPECT_EQ(block.substr(0, 11), "kvzlibcodec");
  auto u32 = [&](std::size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, block.data() + at, 4);
    return v;
  };
  const uint32_t n = u32(15), z = u32(19);
  ASSERT_EQ(block.size(), 23u + z);
  // Inflate with plain zlib, not through the library.
  std::string body(n, '\x7f');
  uLongf produced = n;
  ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(body.data()), &produced,
                       reinterpret_cast<const Bytef*>(block.data() + 23), z),
            Z_OK);
  EXPECT_EQ(produced, n);
  EXPECT_EQ(body, std::string(kExampleBody) + std::string(1, '\0'));
  EXPECT_EQ(u32(11), adler32(1, reinterpret_cast<const Bytef*>(block.data() + 23), z));

  KV_Object back;
  load_from_string(back, bytes, u"\\dev");
  EXPECT_EQ(walk_tree(back, u"\\dev"), walk_tree(kv, u"\\dev"));
}

TEST(PiaFormat, EveryTypeRoundTripsPlainAndCompressedByFileAndStream) {
  KV_Object kv;
  kv.SetProperty(u"\\s\\int", -2147483647 - 1);
  kv.SetProperty(u"\\s\\big", 2147483647);
  kv.SetProperty(u"\\s\\zero", 0.0);
  kv.SetProperty(u"\\s\\pi", 3.141592653589793);
  kv.SetProperty(u"\\s\\tiny", 4.9e-324);
  kv.SetProperty(u"\\s\\neg", -0.25);
  kv.SetProperty(u"\\s\\text", u"  leading blanks, = and { } and ; stay");
  kv.SetProperty(u"\\s\\empty", u"");
  kv.SetProperty(u"\\s\\yes", true);
  kv.SetProperty(u"\\s\\no", false);
  std::vector<unsigned char> raw(300);
  for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<unsigned char>(i * 7);
  kv.setVoidProperty(u"\\s\\raw", raw.data(), static_cast<unsigned>(raw.size()));
  for (int pen = 0; pen < 40; ++pen) kv.SetProperty(u"\\s\\pens\\*\\width", pen * 0.05, pen);
  kv.SetProperty(u"\\s\\a\\b\\c\\d\\deep", 1);
  const auto expected = walk_tree(kv, u"\\s");

  TempDir dir;
  for (const char16_t* header : {u"", u"compress", u"my header, compress, more"}) {
    for (bool utf8 : {false, true}) {
      KV_Object from_stream;
      load_from_string(from_stream, save_to_string(kv, header, u"\\s", utf8), u"\\s");
      EXPECT_EQ(walk_tree(from_stream, u"\\s"), expected);

      std::u16string file = dir.file("round.pia");
      kv.save(file.c_str(), KV_Object::FT_PIA, header, u"\\s", utf8);
      KV_Object from_file;
      from_file.load(file.c_str(), KV_Object::FT_PIA, u"\\s");
      EXPECT_EQ(walk_tree(from_file, u"\\s"), expected);
    }
  }
}

TEST(PiaFormat, TheUtf8FlagDecidesHowTextIsEncoded) {
  KV_Object kv;
  kv.SetProperty(u"\\t\\caf\u00E9", u"na\u00EFve \u20AC");
  EXPECT_EQ(save_to_string(kv, u"", u"\\t", true),
            plain("caf\xC3\xA9=\"na\xC3\xAFve \xE2\x82\xAC\n") + '\0');
  EXPECT_EQ(save_to_string(kv, u"", u"\\t", false), plain("caf\xE9=\"na\xEFve \x80\n") + '\0');
  // Files are read in the ANSI code page: UTF-8 bytes come back as pairs.
  KV_Object back;
  load_from_string(back, save_to_string(kv, u"", u"\\t", true), u"\\t");
  EXPECT_EQ(get_text(back, u"\\t\\caf\u00C3\u00A9"), u"na\u00C3\u00AFve \u00E2\u201A\u00AC");
  // Characters that the code page lacks become "?".
  KV_Object cjk;
  cjk.SetProperty(u"\\t\\v", u"\u4E2D");
  EXPECT_EQ(save_to_string(cjk, u"", u"\\t"), plain("v=\"?\n") + '\0');
}

TEST(PiaFormat, ValueFormsAreRecognisedByTheirFirstCharacters) {
  KV_Object kv;
  RecordingHandler handler;
  KV_Object tolerant(&handler);
  const std::string body =
      "a=True\nb=TRUEX\nc=truely\nd=False\n"
      "e=-\nf=12 34\ng= 7\nh=-12\ni=2.50\nj=-0.5\n"
      "k=\"  text with trailing blanks   \nl=\"\r\nm=\\0a1B\\\n"
      "n==5\n";
  load_from_string(tolerant, plain(body), u"\\r");
  EXPECT_TRUE(handler.reports.empty());
  EXPECT_TRUE(get<bool>(tolerant, u"\\r\\a"));
  EXPECT_TRUE(get<bool>(tolerant, u"\\r\\b"));
  EXPECT_TRUE(get<bool>(tolerant, u"\\r\\c"));
  EXPECT_FALSE(get<bool>(tolerant, u"\\r\\d"));
  for (const auto& [name, value] :
       {std::pair<const char16_t*, int>{u"e", 0}, {u"f", 12}, {u"g", 7}, {u"h", -12}, {u"n", 5}})
    EXPECT_EQ(get<int>(tolerant, u"\\r\\" + std::u16string(name)), value);
  for (const auto& [name, value] : {std::pair<const char16_t*, double>{u"i", 2.5}, {u"j", -0.5}})
    EXPECT_EQ(get<double>(tolerant, u"\\r\\" + std::u16string(name)), value);
  EXPECT_EQ(get_text(tolerant, u"\\r\\k"), u"  text with trailing blanks");
  EXPECT_EQ(get_text(tolerant, u"\\r\\l"), u"\r");  // a CR LF line keeps its CR
  unsigned char raw[2] = {};
  EXPECT_TRUE(tolerant.getVoidProperty(u"\\r\\m", raw, 2));
  EXPECT_EQ(raw[0], 0x2A);  // lower-case digits pass the test but not the decoder
  EXPECT_EQ(raw[1], 0x1B);
  // The number forms are read literally: what the form allows before the
  // digits may begin the value.
  load_from_string(tolerant, plain("p=.5\nq=\t5\nr=\t.25\ns=-.5\nt=\t\nu=\t-5\nv=.\nw=5 .5\n"),
                   u"\\f");
  EXPECT_EQ(get<double>(tolerant, u"\\f\\p"), 0.5);
  EXPECT_EQ(get<int>(tolerant, u"\\f\\q"), 5);
  EXPECT_EQ(get<double>(tolerant, u"\\f\\r"), 0.25);
  EXPECT_EQ(get<double>(tolerant, u"\\f\\s"), -0.5);
  EXPECT_EQ(get<int>(tolerant, u"\\f\\t"), 0);  // tabs alone, like "-"
  std::vector<std::string> seen;
  for (const auto& r : handler.reports) seen.push_back(r.operation + std::to_string(r.id));
  // "\t-5" has its "-" after a tab: no form; "." and "5 .5" are doubles that
  // the conversion refuses.
  EXPECT_EQ(seen, (std::vector<std::string>{"warning88", "warning57", "warning57"}));
  EXPECT_EQ(handler.reports[0].source, u"u=\t-5");
  EXPECT_EQ(handler.reports[1].argument, u"\n8, v=., ");
  for (const char16_t* missing : {u"\\f\\u", u"\\f\\v", u"\\f\\w"}) {
    EXPECT_EQ(tolerant.getPropertySize(missing), 0u);
  }
  handler.reports.clear();
  // Integers beyond 32 bits saturate.
  load_from_string(tolerant, plain("big=99999999999\nsmall=-99999999999\n"), u"\\r");
  EXPECT_EQ(get<int>(tolerant, u"\\r\\big"), 2147483647);
  EXPECT_EQ(get<int>(tolerant, u"\\r\\small"), -2147483647 - 1);
}

TEST(PiaFormat, UnreadableValuesAreReportedAndReadingGoesOn) {
  RecordingHandler handler;
  KV_Object kv(&handler);
  const std::string body =
      "a=yes\n"      // no type: 88 with the line as source
      "b=+5\n"       // 88
      "c=1e5\n"      // 88
      "d=12\r\n"     // a CR makes the number untyped: 88
      "e=1.5x\n"     // a double that does not convert: 57 (warning)
      "f=\\\\\n"     // no hexadecimal digits: 57 (warning)
      "g=\\0A1\\\n"  // odd number of digits: 57 (warning)
      "=3\n"         // empty name: 57 (warning)
      "h=\n"         // empty value: 57 (error)
      "ok=1\n";
  load_from_string(kv, plain(body), u"\\r");
  std::vector<std::string> seen;
  for (const auto& r : handler.reports) seen.push_back(r.operation + std::to_string(r.id));
  EXPECT_EQ(seen, (std::vector<std::string>{"warning88", "warning88", "warning88", "warning88",
                                            "warning57", "warning57", "warning57", "warning57",
                                            "error57"}));
  EXPECT_EQ(handler.reports[0].source, u"a=yes");
  EXPECT_EQ(handler.reports[0].argument, u"");
  EXPECT_EQ(handler.reports[3].source, u"d=12\r");
  EXPECT_EQ(handler.reports[4].source, u"KV_PIAFile::load()");
  EXPECT_EQ(handler.reports[4].argument, u"\n6, e=1.5x, ");  // line 1 is the header
  EXPECT_EQ(get<int>(kv, u"\\r\\ok"), 1);
  for (const char16_t* missing : {u"\\r\\a", u"\\r\\e", u"\\r\\g", u"\\r\\h"}) {
    EXPECT_EQ(kv.getPropertySize(missing), 0u);
  }
}

TEST(PiaFormat, WithoutAHandlerTheFirstReportRaisesAndWhatCameBeforeStays) {
  KV_Object kv;
  try {
    load_from_string(kv, plain("first=1\nbad=yes\nlast=2\n"), u"\\r");
    FAIL();
  } catch (const KV_Warning&) {
    FAIL() << "a report raises a plain GX_Exception";
  } catch (const GX_Exception& e) {
    EXPECT_EQ(e.id(), 88u);
    EXPECT_EQ(std::u16string(e.source()), u"bad=yes");
  }
  EXPECT_EQ(get<int>(kv, u"\\r\\first"), 1);
  EXPECT_EQ(kv.getPropertySize(u"\\r\\last"), 0u);

  RecordingHandler stop(0);
  KV_Object canceled(&stop);
  const Raised r = raised<GX_Canceled_Error>(
      [&] { load_from_string(canceled, plain("first=1\nbad=yes\nlast=2\n"), u"\\r"); });
  EXPECT_EQ(std::get<0>(r), 88u);
  EXPECT_EQ(std::get<1>(r), u"bad=yes");
  EXPECT_EQ(stop.reports.size(), 1u);
}

TEST(PiaFormat, BracesMoveThroughThePath) {
  KV_Object kv;
  // More closes than opens climb above the root path.
  load_from_string(kv, plain("a{\nx=1\n}\n}\ny=2\n"), u"\\top\\sub");
  EXPECT_EQ(get<int>(kv, u"\\top\\sub\\a\\x"), 1);
  EXPECT_EQ(get<int>(kv, u"\\top\\y"), 2);
  // A close at an empty path is ignored; the root path "" is the tree root.
  load_from_string(kv, plain("}\nz=3\nn{\nw=4\n"), u"");
  EXPECT_EQ(get<int>(kv, u"\\z"), 3);
  EXPECT_EQ(get<int>(kv, u"\\n\\w"), 4);  // a missing close is not reported
  // A close on a path without a backslash cannot climb.
  EXPECT_EQ(std::get<0>(raised<KV_Error>([&] { load_from_string(kv, plain("}\n"), u"plain"); })),
            57u);
}

TEST(PiaFormat, SyntaxErrorsOfNodesRaiseEvenWithAHandler) {
  RecordingHandler handler;
  KV_Object kv(&handler);
  for (const char* body : {"abc\n", "{\n", "my node{\n", "a*b{\n", "q\"{\n"}) {
    const Raised r = raised<KV_Error>([&] {
      load_from_string(kv, plain(std::string("before=1\n") + body + "after=2\n"), u"\\r");
    });
    EXPECT_EQ(std::get<0>(r), 57u) << body;
    EXPECT_EQ(std::get<1>(r), u"KV_PIAFile::load()");
    EXPECT_EQ(std::get<2>(r).substr(0, 4), u"\n3, ");
    EXPECT_EQ(kv.getPropertySize(u"\\r\\after"), 0u);
  }
  EXPECT_TRUE(handler.reports.empty());
}

TEST(PiaFormat, HeaderLines) {
  KV_Object kv;
  // CR LF header and an empty body: nothing loaded, nothing reported.
  load_from_string(kv, "PIAFILEVERSION_2.0,\r\n", u"\\r");
  EXPECT_FALSE(kv.pathExists(u"\\r"));
  // Leading blank lines and blanks, other letter case, version 1.0.
  load_from_string(kv, "\n\n  piafileversion_1.0,\nx=1\n", u"\\r");
  EXPECT_EQ(get<int>(kv, u"\\r\\x"), 1);
  // A header that is the last line without a line feed fails the stream
  // check: only the end of the stream explains it.
  // A stream has no file name.
  EXPECT_EQ(raised<KV_Severe>([&] { load_from_string(kv, "PIAFILEVERSION_2.0,", u"\\r"); }),
            (Raised{82, u"KV_PIAFile::getVersion()", u"<none>"}));
  // Not a PIA header: 89 is reported, and with a handler reading goes on.
  EXPECT_EQ(
      std::get<0>(raised<GX_Exception>([&] { load_from_string(kv, "HELLO\nx=1\n", u"\\r"); })),
      89u);
  RecordingHandler handler;
  KV_Object tolerant(&handler);
  load_from_string(tolerant, "HELLO\nx=1\n", u"\\r");
  EXPECT_EQ(get<int>(tolerant, u"\\r\\x"), 1);
  ASSERT_EQ(handler.reports.size(), 1u);
  EXPECT_EQ(handler.reports[0].operation, "error");
  // "compress" with neither exact version: nothing is decoded or loaded.
  load_from_string(tolerant, "piafileversion_2.0,compress\ny=1\n", u"\\r");
  EXPECT_EQ(tolerant.getPropertySize(u"\\r\\y"), 0u);
}

TEST(PiaFormat, VersionQueriesAndFileErrors) {
  TempDir dir;
  KV_Object kv;
  build_example(kv, u"\\dev");
  std::u16string file = dir.file("v.pia");
  kv.save(file.c_str(), KV_Object::FT_PIA, u"compress, made by a test", u"\\dev");
  char16_t version[64];
  kv.getFileVersion(file.c_str(), version, KV_Object::FT_PCP);
  EXPECT_EQ(std::u16string(version), u"PIAFILEVERSION_2.0,compress, made by a test");
  kv.getFileVersion(file.c_str(), version, 11, KV_Object::FT_PCP);
  EXPECT_EQ(std::u16string(version), u"PIAFILEVER");
  version[0] = u'x';
  kv.getFileVersion(file.c_str(), version, 0, KV_Object::FT_PCP);
  EXPECT_EQ(version[0], 0);  // size 0 reads nothing and leaves the text empty

  std::u16string missing = dir.file("missing.pia");
  EXPECT_EQ(raised<KV_Severe>([&] { kv.load(missing.c_str(), KV_Object::FT_PIA, u"\\r"); }),
            (Raised{63, u"KV_PIAFile::load()", missing}));
  // A folder exists but cannot be read as a file.
  std::u16string folder = dir.file("");
  EXPECT_THROW(kv.load(folder.c_str(), KV_Object::FT_PIA, u"\\r"), KV_Severe);
  // Writing into a folder that does not exist.
  std::u16string nowhere = dir.file("no/such/folder.pia");
  const Raised r =
      raised<KV_Severe>([&] { kv.save(nowhere.c_str(), KV_Object::FT_PIA, u"", u"\\dev"); });
  EXPECT_EQ(std::get<0>(r), 63u);
  EXPECT_EQ(std::get<1>(r), u"KV_PIAFile::open()");
}

TEST(PiaFormat, DamagedCompressedBodiesFailWithDecompressionError) {
  KV_Object kv;
  build_example(kv, u"\\dev");
  std::string bytes = save_to_string(kv, u"compress", u"\\dev");
  RecordingHandler handler;
  KV_Object target(&handler);
  std::string damaged = bytes;
  damaged[damaged.size() - 3] ^= 0x55;  // breaks the zlib trailer
  EXPECT_EQ(raised<KV_Severe>([&] { load_from_string(target, damaged, u"\\r"); }),
            (Raised{84, u"kvpia", u"decompression of PIA data failed"}));
  ASSERT_EQ(handler.reports.size(), 1u);  // the codec's own error came first
  EXPECT_EQ(handler.reports[0].id, 97u);
  // A header that says "compress" over a plain body.
  EXPECT_THROW(load_from_string(target, "PIAFILEVERSION_2.0,compress\r\nx=1\n", u"\\r"), KV_Severe);
}

TEST(PiaFormat, SavesRefuseValuesThatCannotBeWritten) {
  RecordingHandler handler;
  KV_Object kv(&handler);
  const unsigned char raw[1] = {1};
  kv.setVoidProperty(u"\\s\\raw", raw, 1);
  kv.setVoidProperty(u"\\s\\raw", raw, 0);
  std::stringstream stream;
  EXPECT_EQ(
      std::get<0>(raised<KV_Error>([&] { kv.save(&stream, KV_Object::FT_PIA, u"", u"\\s"); })),
      53u);
  kv.deletePath(u"\\s\\raw");
  kv.setVoidProperty(u"\\s\\never", raw, 0);
  EXPECT_EQ(std::get<0>(raised<KV_Warning>(
                [&] { kv.save(&stream, KV_Object::FT_PIA, u"compress", u"\\s"); })),
            59u);
  EXPECT_TRUE(handler.reports.empty());
}

TEST(PiaFormat, LongLinesAndLongNames) {
  KV_Object kv;
  std::u16string long_text(100000, u'x');
  long_text[99999] = u'!';
  kv.setVoidProperty(u"\\s\\blob", long_text.data(), 200000);
  std::string bytes = save_to_string(kv, u"", u"\\s");
  KV_Object back;
  std::string body =
      "text=\"" + std::string(50000, 'y') + "\n" + "p" + std::string(2000, 'n') + "=1\n";
  RecordingHandler handler;
  KV_Object tolerant(&handler);
  load_from_string(tolerant, plain(body), u"\\r");
  EXPECT_EQ(tolerant.getPropertySize(u"\\r\\text"), 50001u * 2);
  ASSERT_EQ(handler.reports.size(), 1u);  // the 2001-character name
  EXPECT_EQ(handler.reports[0].id, 57u);
  EXPECT_EQ(handler.reports[0].argument.size(), std::u16string(u"\n3, ").size() + 1023 + 2);
  load_from_string(back, bytes, u"\\s");
  EXPECT_EQ(back.getPropertySize(u"\\s\\blob"), 200000u);
  // Compressed bodies are read from memory when small and from a temporary
  // file when large (this one is 1.2 MB of text).
  std::vector<unsigned char> big(600000);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<unsigned char>(i * 31 + i / 7);
  kv.setVoidProperty(u"\\s\\big", big.data(), static_cast<unsigned>(big.size()));
  KV_Object packed;
  load_from_string(packed, save_to_string(kv, u"compress", u"\\s"), u"\\s");
  std::vector<unsigned char> big_back(big.size());
  EXPECT_TRUE(
      packed.getVoidProperty(u"\\s\\big", big_back.data(), static_cast<unsigned>(big.size())));
  EXPECT_EQ(big_back, big);
  EXPECT_EQ(walk_tree(packed, u"\\s"), walk_tree(kv, u"\\s"));
}

TEST(PiaFormat, PropertyPathsBeyondTheStoreLimitAreReportedAndSkipped) {
  // Below a node of 1018 letters, x and xy give paths of 1021 and 1022
  // units, the longest that the store takes; xyz (1023 units) and y* (1022,
  // but the store widens "*" to "-1") are reported, and reading goes on.
  RecordingHandler handler;
  KV_Object kv(&handler);
  load_from_string(kv, plain(std::string(1018, 'a') + "{\nx=1\nxy=2\nxyz=3\ny*=4\n}\nafter=5\n"),
                   u"");
  const std::u16string node = u"\\" + std::u16string(1018, u'a') + u"\\";
  EXPECT_EQ(get<int>(kv, (node + u"x").c_str()), 1);
  EXPECT_EQ(get<int>(kv, (node + u"xy").c_str()), 2);
  EXPECT_EQ(get<int>(kv, u"\\after"), 5);
  ASSERT_EQ(handler.reports.size(), 2u);
  EXPECT_EQ(handler.reports[0].id, 57u);
  EXPECT_EQ(handler.reports[0].argument.substr(0, 4), u"\n5, ");
  EXPECT_EQ(handler.reports[1].id, 57u);
  EXPECT_EQ(handler.reports[1].argument.substr(0, 4), u"\n6, ");
}

}  // namespace
