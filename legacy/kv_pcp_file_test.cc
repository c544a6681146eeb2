// Copyright the kvstore authors.
//
// The PCP reader through the KV_Object file operations.
#include "legacy/kv_pcp_file.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "kvstore/kv_exceptions.h"
#include "kvstore/kv_object.h"
#include "testutil/recording_handler.h"
#include "testutil/temp_dir.h"
#include "testutil/tree_values.h"
#include "testutil/tree_walk.h"

namespace {

const std::string kHeader = ";Created by Orvane 3.0\n";

void load_pcp(KV_Object& kv, const std::string& text, const char16_t* root = u"\\") {
  load_text(kv, text, KV_Object::FT_PCP, root);
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

// "<source> <id> <line>" of every report, the line taken from the context.
std::vector<std::string> reports(const RecordingHandler& h) {
  std::vector<std::string> out;
  for (const auto& r : h.reports) {
    std::string line = narrow(r.argument);
    const std::size_t comma = line.find(", ");
    if (comma != std::string::npos) line = line.substr(comma + 2, line.rfind(", ") - comma - 2);
    out.push_back(narrow(r.source) + " " + std::to_string(r.id) + " " + line);
  }
  return out;
}

TEST(PcpClassify, ValueKinds) {
  const std::pair<const char16_t*, KV_PCPFile::ValueKind> cases[] = {
      {u"", KV_PCPFile::kInteger},      {u"-", KV_PCPFile::kInteger},
      {u"0", KV_PCPFile::kInteger},     {u"-12", KV_PCPFile::kInteger},
      {u"1.", KV_PCPFile::kReal},       {u".5", KV_PCPFile::kReal},
      {u".", KV_PCPFile::kReal},        {u"-2.25", KV_PCPFile::kReal},
      {u"1.2.3", KV_PCPFile::kInvalid}, {u"+5", KV_PCPFile::kInvalid},
      {u"1e5", KV_PCPFile::kInvalid},   {u"1 2", KV_PCPFile::kInvalid},
      {u"TRUE", KV_PCPFile::kBoolean},  {u"false", KV_PCPFile::kBoolean},
      {u"truely", KV_PCPFile::kText},   {u"out.plt", KV_PCPFile::kText},
      {u"*", KV_PCPFile::kText},        {u"\u00c4rger", KV_PCPFile::kText},
      {u"1abc", KV_PCPFile::kInvalid},  {u"\\x", KV_PCPFile::kInvalid},
      {u"\"q\"", KV_PCPFile::kInvalid}, {u"\u00d7", KV_PCPFile::kInvalid},
  };
  for (const auto& [text, kind] : cases) {
    EXPECT_EQ(KV_PCPFile::classify(text), kind) << narrow(text);
  }
}

TEST(PcpLoad, KeywordsStoreTheirValuesBelowTheRoot) {
  RecordingHandler handler;
  KV_Object kv(&handler);
  load_pcp(kv,
           kHeader +
               ";For the driver:   Pen plotters\r\n"
               ";for THE device: Model 7  \n"
               "VERSION=2.0\n"
               "version = 2.5\n"
               "ROTATE=90\n"
               "OPTIMIZE_LEVEL= =_3\n"
               "PEN_WIDTH=.5\n"
               "UNITS=_m\n"
               "HIDE=y\n"
               "FILL_ADJUST=N\n"
               "PLOT_FILE=out.plt\n"
               "ORIGIN=0.5, 1.25\n"
               "SIZE=USER:10,7.5\n"
               "SCALE=1=2.\n",
           u"\\dev");
  EXPECT_TRUE(handler.reports.empty()) << ::testing::PrintToString(reports(handler));
  const std::pair<const char16_t*, const char16_t*> texts[] = {
      {u"FAMILY", u"Pen plotters"}, {u"MODEL", u"Model 7"},     {u"UNITS", u"m"},  {u"HIDE", u"y"},
      {u"FILL_ADJUST", u"N"},       {u"PLOT_FILE", u"out.plt"}, {u"SIZE", u"USER"}};
  for (const auto& [name, text] : texts)
    EXPECT_EQ(get_text(kv, u"\\dev\\" + std::u16string(name)), text);
  const std::pair<const char16_t*, double> reals[] = {
      {u"VERSION", 2.0},       {u"version", 2.5},       {u"PEN_WIDTH", 0.5},
      {u"ORIGIN\\X", 0.5},     {u"ORIGIN\\Y", 1.25},    {u"SIZE\\USER\\X", 10.0},
      {u"SIZE\\USER\\Y", 7.5}, {u"SCALE\\MUNITS", 1.0}, {u"SCALE\\DUNITS", 2.0}};
  for (const auto& [name, value] : reals)
    EXPECT_EQ(get<double>(kv, u"\\dev\\" + std::u16string(name)), value);
  EXPECT_EQ(get<int>(kv, u"\\dev\\ROTATE"), 90);
  EXPECT_EQ(get<int>(kv, u"\\dev\\OPTIMIZE_LEVEL"), 3);
  EXPECT_EQ(walk_tree(kv).size(), 18u);
}

TEST(PcpLoad, ValuesOfTheWrongFormAreReported) {
  RecordingHandler handler;
  KV_Object kv(&handler);
  load_pcp(kv, kHeader +
                   "VERSION=2\n"       // an integer where a real is expected
                   "PLOT_FILE=true\n"  // a boolean where text is expected
                   "PLOT_FILE\n"       // no value
                   "HIDE=yes\n"
                   "UNITS=X\n"
                   "ORIGIN=0,0\n"    // integers are not reals
                   "ORIGIN=0.5\n"    // no second number
                   "ORIGIN=0.5,1\n"  // a second number that is no real
                   "SIZE=MAX\n"
                   "SIZE=A:x,1.0\n"
                   "SIZE=:3,4.5\n"  // no name: the numbers land in SIZE
                   "SIZE=B:1,2\n"
                   "SCALE=F\n"
                   "SCALE=1\n"
                   "=5\n"
                   "COLOR=5\n"
                   "ROTATE=\n"
                   "BEGIN_COLOR=red\n");
  const std::vector<std::string> expected = {
      "KV_PCPFile::load() 57 VERSION=2",
      "KV_PCPFile::load() 57 PLOT_FILE=true",
      "KV_PCPFile::load() 57 PLOT_FILE",
      "KV_PCPFile::pcpkeys() 57 HIDE=yes",
      "KV_PCPFile::pcpkeys() 57 UNITS=X",
      "KV_PCPFile::pcpkeys() 57 ORIGIN=0,0",
      "KV_PCPFile::pcpkeys() 57 ORIGIN=0.5",
      "KV_PCPFile::pcpkeys() 57 ORIGIN=0.5,1",
      "KV_PCPFile::pcpkeys() 57 SIZE=A:x,1.0",
      "KV_PCPFile::load() 57 SIZE=",
      "KV_PCPFile::pcpkeys() 57 SIZE=B:1,2",
      "KV_PCPFile::pcpkeys() 57 SCALE=1",
      "KV_PCPFile::load() 57 =5",
      "KV_PCPFile::pcpkeys() 57 COLOR=5",
      "KV_PCPFile::load() 57 ROTATE=",
      "KV_PCPFile::pcpkeys() 57 BEGIN_COLOR=red",
  };
  EXPECT_EQ(reports(handler), expected);
  for (const auto& r : handler.reports) EXPECT_EQ(r.operation, "warning");
  EXPECT_EQ(handler.reports[0].argument, u"\n2, VERSION=2, ");
  EXPECT_FALSE(kv.pathExists(u"\\VERSION"));
  EXPECT_FALSE(kv.pathExists(u"\\ORIGIN"));          // neither number without the other
  EXPECT_EQ(get_text(kv, u"\\SIZE"), u"B");          // every SIZE line stores its name
  EXPECT_EQ(get<double>(kv, u"\\SIZE\\B\\X"), 1.0);  // an integer is taken here
  EXPECT_FALSE(kv.pathExists(u"\\SIZE\\A"));
  EXPECT_EQ(get<double>(kv, u"\\SIZE\\X"), 3.0);
  EXPECT_EQ(get<double>(kv, u"\\SIZE\\Y"), 4.5);
  EXPECT_EQ(get_text(kv, u"\\SCALE"), u"F");
  EXPECT_EQ(get<double>(kv, u"\\SCALE\\MUNITS"), 1.0);
  EXPECT_FALSE(kv.pathExists(u"\\SCALE\\DUNITS"));
  EXPECT_FALSE(kv.pathExists(u"\\PLOT_FILE"));
  EXPECT_FALSE(kv.pathExists(u"\\HIDE"));
}

TEST(PcpLoad, PenBlocksAndTheDefaultBlock) {
  RecordingHandler handler;
  KV_Object kv(&handler);
  load_pcp(kv, kHeader +
                   "END_COLOR\n"  // no block open: stays at the root
                   "BEGIN_COLOR=3\n"
                   ";For the device: in pen 3\n"
                   "PEN_NUMBER=5\n"
                   "PEN_WEIGHT=0.25\n"
                   "END_COLOR\n"
                   "PEN_SPEED=40\n"
                   "BEGIN_COLOR=DEFAULT\n"
                   "PEN_NUMBER=MOD16\n"
                   "HW_LINETYPE=2x\n"
                   "PEN_WEIGHT=0.35\n"
                   "BEGIN_COLOR=9\n"  // ignored inside the default block
                   "END_COLOR\n"
                   "BEGIN_COLOR=DEFAULT\n"
                   "PEN_SPEED= 12\n"
                   "END_COLOR\n"
                   "BEGIN_COLOR=7\n"
                   "BEGIN_COLOR=DEFAULT\n"
                   "PEN_NUMBER=*\n"
                   "END_COLOR\n"
                   "END_COLOR\n"
                   "ROTATE=1\n");
  EXPECT_TRUE(handler.reports.empty()) << ::testing::PrintToString(reports(handler));
  EXPECT_EQ(get_text(kv, u"\\3\\MODEL"), u"in pen 3");
  EXPECT_EQ(get<int>(kv, u"\\PEN_SPEED"), 40);
  EXPECT_EQ(get<int>(kv, u"\\ROTATE"), 1);
  for (int pen = 1; pen <= 255; ++pen) {
    const std::u16string node = u"\\" + widen(std::to_string(pen)) + u"\\";
    SCOPED_TRACE(pen);
    EXPECT_EQ(get<int>(kv, node + u"PEN_NUMBER"), pen % 16 == 0 ? 16 : pen % 16);
    EXPECT_EQ(get<int>(kv, node + u"HW_LINETYPE"), 2);
    EXPECT_EQ(get<double>(kv, node + u"PEN_WEIGHT"), 0.35);
    EXPECT_EQ(get<int>(kv, node + u"PEN_SPEED"), 12);
    EXPECT_EQ(get<int>(kv, u"\\7" + node + u"PEN_NUMBER"), pen);
  }
  // Pen 3's own values came first; the default block overwrote them.
  EXPECT_EQ(get<int>(kv, u"\\3\\PEN_NUMBER"), 3);
  EXPECT_EQ(walk_tree(kv).size(), 3u + 255 * 5);
}

// Repeated all-pens lines of one block path and key: the tree ends as if
// every line had stored its 255 values at once, whatever comes between them
// and however the load ends.
TEST(PcpLoad, RepeatedAllPensLinesLeaveTheTreeOfEveryLineStored) {
  const std::string file = kHeader +
                           "BEGIN_COLOR=DEFAULT\n"
                           "PEN_SPEED=1\n"
                           "PEN_NUMBER=MOD16\n"
                           "PEN_SPEED=2\n"
                           "PEN_NUMBER=*\n"
                           "PEN_WEIGHT=0.5\n"
                           "pen_speed=6\n"  // another property
                           "ROTATE=90\n"
                           "PEN_WEIGHT=0.75\n"
                           "END_COLOR\n"
                           "BEGIN_COLOR=3\n"  // pen 3's own values follow the block's
                           "PEN_SPEED=9\n"
                           "END_COLOR\n"
                           "BEGIN_COLOR=003\n"  // another node than pen 3
                           "PEN_NUMBER=8\n"
                           "END_COLOR\n"
                           "BEGIN_COLOR=DEFAULT\n"
                           "PEN_NUMBER=7\n"
                           "END_COLOR\n"
                           "BEGIN_COLOR=4\n"
                           "PEN_NUMBER=11\n"
                           "BEGIN_COLOR=DEFAULT\n"  // below pen 4
                           "PEN_SPEED=3\n"
                           "PEN_SPEED=4\n"
                           "END_COLOR\n"
                           "PEN_SPEED=5\n"
                           "END_COLOR\n";
  auto check = [](const KV_Object& kv, bool whole) {
    for (int pen = 1; pen <= 255; ++pen) {
      const std::u16string node = u"\\" + widen(std::to_string(pen)) + u"\\";
      SCOPED_TRACE(pen);
      EXPECT_EQ(get<int>(kv, node + u"PEN_SPEED"), pen == 3 ? 9 : whole && pen == 4 ? 5 : 2);
      EXPECT_EQ(get<int>(kv, node + u"pen_speed"), 6);
      EXPECT_EQ(get<double>(kv, node + u"PEN_WEIGHT"), 0.75);
      if (!whole) continue;
      EXPECT_EQ(get<int>(kv, node + u"PEN_NUMBER"), pen == 4 ? 11 : 7);
      EXPECT_EQ(get<int>(kv, u"\\4" + node + u"PEN_SPEED"), 4);
    }
  };
  RecordingHandler handler;
  KV_Object kv(&handler);
  load_pcp(kv, file);
  EXPECT_TRUE(handler.reports.empty()) << ::testing::PrintToString(reports(handler));
  check(kv, true);
  EXPECT_EQ(get<int>(kv, u"\\003\\PEN_NUMBER"), 8);
  EXPECT_EQ(walk_tree(kv).size(), 1u + 255 * 4 + 1 + 255);

  // A load that ends early keeps what the lines before the end set: by a
  // cancelled report, by a report raised without a handler, by a failed read.
  const std::size_t cut = file.find("BEGIN_COLOR=003");
  const std::string early = file.substr(0, cut);
  RecordingHandler stop(0);
  KV_Object cancelled(&stop);
  EXPECT_THROW(load_pcp(cancelled, early + "ROTATE=x\nPEN_SPEED=8\n"), GX_Canceled_Error);
  check(cancelled, false);
  KV_Object strict;
  EXPECT_THROW(load_pcp(strict, early + "HIDE=x\n"), GX_Exception);
  check(strict, false);
  KV_Object failed;
  EXPECT_THROW(load_pcp(failed, early + std::string(1100, 'x') + "\n"), KV_Severe);
  check(failed, false);
}

TEST(PcpLoad, TheDefaultBlockFlagBelongsToOneReader) {
  // A file that ends inside the default block leaves no trace in the next
  // load, whichever object or reader it uses.
  KV_Object kv;
  load_pcp(kv, kHeader + "BEGIN_COLOR=DEFAULT\nPEN_SPEED=1\n", u"\\a");
  EXPECT_EQ(get<int>(kv, u"\\a\\200\\PEN_SPEED"), 1);
  load_pcp(kv, kHeader + "PEN_SPEED=2\nEND_COLOR\nBEGIN_COLOR=4\nPEN_SPEED=3\n", u"\\b");
  EXPECT_EQ(get<int>(kv, u"\\b\\PEN_SPEED"), 2);
  EXPECT_EQ(get<int>(kv, u"\\b\\4\\PEN_SPEED"), 3);
  int speed = 0;
  EXPECT_FALSE(kv.GetProperty(u"\\b\\1\\PEN_SPEED", speed));
}

TEST(PcpLoad, LinesBeforeTheHeaderAreRefusedOneByOne) {
  TempDir dir;
  write_file(dir.path() / "no-header.pcp",
             "; a comment\n\nVERSION=2.0\n;FOR THE DRIVER:Plotters\nROTATE=90\n  \n"
             ";For the device:M1\n");
  const std::u16string file = dir.file("no-header.pcp");
  RecordingHandler handler;
  KV_Object kv(&handler);
  kv.load(file.c_str(), KV_Object::FT_PCP, u"");
  ASSERT_EQ(handler.reports.size(), 2u);
  for (const auto& r : handler.reports) {
    EXPECT_EQ(r.operation, "error");
    EXPECT_EQ(r.id, 69u);
    EXPECT_EQ(r.source, u"KV_PCPFile::load()");
    EXPECT_EQ(r.argument, file);
  }
  EXPECT_EQ(walk_tree(kv).size(), 2u);
  EXPECT_EQ(get_text(kv, u"\\FAMILY"), u"Plotters");
  EXPECT_EQ(get_text(kv, u"\\MODEL"), u"M1");

  // Without a handler the first refusal ends the load.
  KV_Object strict;
  EXPECT_EQ(
      std::get<0>(raised<GX_Exception>([&] { strict.load(file.c_str(), KV_Object::FT_PCP, u""); })),
      69u);
  // A cancelling handler ends it the same way; what came before stays.
  RecordingHandler stop(0);
  KV_Object cancelled(&stop);
  const Raised r = raised<GX_Canceled_Error>(
      [&] { load_pcp(cancelled, kHeader + "ROTATE=1\nROTATE=x\nHIDE=Y\n"); });
  EXPECT_EQ(std::get<0>(r), 57u);
  EXPECT_EQ(std::get<2>(r), u"\n3, ROTATE=x, ");
  EXPECT_EQ(get<int>(cancelled, u"\\ROTATE"), 1);
  EXPECT_FALSE(cancelled.pathExists(u"\\HIDE"));
}

TEST(PcpLoad, LongLinesAndDeepPathsNeverOverrun) {
  RecordingHandler handler;
  KV_Object kv(&handler);
  std::string blocks;
  for (int i = 0; i < 300; ++i) blocks += "BEGIN_COLOR=1234567\n";
  // 127 blocks fit the path buffer of 1024 units; one is closed again so
  // that the keys below fit the store as well.
  load_pcp(kv, kHeader + std::string(600, 'K') + "=1\n" + blocks + "END_COLOR\nROTATE=2\n" +
                   "PLOT_FILE=" + std::string(1013, 'f') + "\n");
  ASSERT_EQ(handler.reports.size(), 1u + 300 - 127);
  EXPECT_EQ(handler.reports[0].source, u"KV_PCPFile::load()");
  EXPECT_EQ(handler.reports[1].source, u"KV_PCPFile::pcpkeys()");
  std::u16string path;
  for (int i = 0; i < 126; ++i) path += u"\\1234567";
  EXPECT_EQ(get<int>(kv, path + u"\\ROTATE"), 2);
  EXPECT_EQ(kv.getPropertySize((path + u"\\PLOT_FILE").c_str()), 2u * 1014);

  KV_Object tooLong;
  const Raised r = raised<KV_Severe>(
      [&] { load_pcp(tooLong, kHeader + "ROTATE=3\nPLOT_FILE=" + std::string(1014, 'f') + "\n"); });
  EXPECT_EQ(std::get<0>(r), 66u);
  EXPECT_EQ(std::get<1>(r), u"KV_PCPFile::load()");
  EXPECT_EQ(get<int>(tooLong, u"\\ROTATE"), 3);
}

TEST(PcpVersion, TheLastVersionLineWins) {
  for (const auto& [text, version] :
       {std::pair<std::string, std::u16string>{
            kHeader + "VERSION=1.0\nROTATE=1\n  version = 2.0  \r\n; VERSION=3\n", u"2.0"},
        {"ROTATE=1\n", u"untouched"}}) {
    std::stringstream stream(text);
    KV_PCPFile reader(nullptr);
    reader.setStream(&stream);
    char16_t buffer[16] = u"untouched";
    reader.getVersion(buffer, 16);
    EXPECT_EQ(std::u16string(buffer), version);
    EXPECT_EQ(reader.lineNumber(), 0);
  }
  char16_t untouched[16] = u"untouched";

  std::stringstream empty("\nVERSION=\n");
  RecordingHandler handler;
  KV_PCPFile reporting(&handler);
  reporting.setStream(&empty);
  reporting.getVersion(untouched, 16);
  ASSERT_EQ(handler.reports.size(), 1u);
  EXPECT_EQ(handler.reports[0].operation, "error");
  EXPECT_EQ(handler.reports[0].id, 57u);
  EXPECT_EQ(handler.reports[0].source, u"KV_PCPFile::getVersion()");
  EXPECT_EQ(handler.reports[0].argument, u"\n2, VERSION=, ");
  EXPECT_EQ(reporting.lineNumber(), 0);

  KV_PCPFile detached(nullptr);
  EXPECT_EQ(std::get<0>(raised<KV_Severe>([&] { detached.getVersion(untouched, 16); })), 56u);
}

}  // namespace
