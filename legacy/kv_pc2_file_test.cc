// Copyright the kvstore authors.
//
// The PC2 and CFG readers through the KV_Object file operations.
#include "legacy/kv_pc2_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <streambuf>
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

// The key table as written for users of the format, transcribed by hand:
// "[section]" then "Key:type" with i int, d double, s string, b raw bytes;
// "=n" a default other than 0, "*n" an index range 1..n.
const char* const kTranscription[] = {
    "[PlotDriver] Configured:i Type:i External:i Alias:i QEV_Level:i MenuName:s PathName:s "
    "PlotterId:s Stream:s",
    "[Plotter/Device] ConfigRecord:i OptionFlags:i ModelIndex:i InterfaceType:i Pens:i "
    "MenuName:s ExecutableName:s DriverName:s DriverData:b",
    "[Plotter/Device/PenTable] Pens:i Color:i*255",
    "[Plotter/Device/WidthTable] Widths:i Color:d*255",
    "[Plotter/Device/SpeedTable] MaxSpeed:i Color:i*255",
    "[Plotter/Device/LineTypeTable] Types:i Color:i*255",
    "[Plotter/Port] Local:i Enabled:i Handshaking:i DeviceIndex:i IOType:i Link:i=-1 "
    "ReadTimeOut:i WriteTimeOut:i ReceiveTimeOut:i TransmitTimeOut:i PortName:s ServerName:s "
    "WinDeviceName:s WinDriver:s DCB:b",
    "[Plotter/User] DeviceDriverCell:i*2 BaudRate:i IsMetric:i OptimizationLevel:i MaxOptlevel:i "
    "PortType:i Parity:i DataBits:i StopBits:i Handshaking:i Flags:i PlotWidth:d PlotHeight:d "
    "MaxWidth:d MaxHeight:d UserWidth:d*5 UserHeight:d*5 WidthIncrement:d HeightIncrement:d "
    "WidthOrigin:d HeightOrigin:d LineWidth:d PlotScale:d DrawingScale:d LongPlotSize:d "
    "LongPlotXIncrement:d LongPlotYIncrement:d LongPlotReduction:d ViewCorner0:d ViewCorner1:d "
    "ViewCorner2:d ViewCorner3:d StandardSize:s DefaultExtension:s View:s ViewType:s",
    "[Plotter/DriverCustom] fDither:i=1 fUseDefaultPrn:i fDoSmartFills:i fUpdatePens:i "
    "dmOrientation:s dmPaperSize:i dmScale:i dmCopies:i dmDuplex:i dmPrintQuality:i "
    "dmTTOption:i dmFormName:s dmDeviceName:s dmDefaultSource:i dmSpecVersion:i "
    "dmDriverVersion:i dmDriverExtra:i dmFields:i dmSize:i dmPaperLength:d dmPaperWidth:d "
    "dmColor:s dmYResolution:i dmCollate:i dmLogPixels:i dmBitsPerPel:i dmPelsWidth:i "
    "dmPelsHeight:i dmDisplayFlags:i dmDisplayFrequency:i dmICMMethod:i dmICMIntent:i "
    "dmMediaType:i dmDitherType:i Opaque-A:s Opaque-B:s Opaque-C:s Opaque-D:s Opaque-E:s "
    "Opaque-F:s Opaque-G:s Opaque-H:s Opaque-I:s Opaque-J:s Opaque-K:s Opaque-L:s Opaque-M:s "
    "Opaque-N:s Opaque-O:s Opaque-P:s Opaque-Q:s Opaque-R:s Opaque-S:s Opaque-T:s Opaque-U:s "
    "Opaque-V:s Opaque-W:s Opaque-X:s Opaque-Y:s Opaque-Z:s PEN#:s*255",
    "[Plotter/DriverCustom/pen] count:i",
};

struct Row {
  std::u16string section, key;
  char type;
  int defaultValue, last;
};

std::vector<Row> transcribed_rows() {
  std::vector<Row> rows;
  for (const char* line : kTranscription) {
    std::istringstream words(line);
    std::string section, word;
    words >> section;
    section = section.substr(1, section.size() - 2);
    while (words >> word) {
      Row row{widen(section), widen(word.substr(0, word.find(':'))), word[word.find(':') + 1], 0,
              0};
      if (word.find('=') != std::string::npos)
        row.defaultValue = std::stoi(word.substr(word.find('=') + 1));
      if (word.find('*') != std::string::npos)
        row.last = std::stoi(word.substr(word.find('*') + 1));
      rows.push_back(row);
    }
  }
  return rows;
}

std::string pc2(const std::string& body) {
  return "PC2Version 2.1\r\n" + body;
}

void load_pc2(KV_Object& kv, const std::string& text, const char16_t* root = u"\\") {
  load_text(kv, text, KV_Object::FT_PC2, root);
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

std::vector<unsigned> ids(const RecordingHandler& h) {
  std::vector<unsigned> out;
  for (const auto& r : h.reports) out.push_back(r.id);
  return out;
}

TEST(Pc2Load, AVersionLineAloneGivesExactlyTheDefaults) {
  for (const char16_t* root : {u"\\", u"", u"\\dev", u"\\dev\\"}) {
    const std::u16string prefix =
        std::u16string(root).empty() || std::u16string(root) == u"\\" ? u"" : u"\\dev";
    KV_Object kv;
    load_pc2(kv, "PC2Version\n", root);
    const auto tree = walk_tree(kv);
    EXPECT_EQ(tree.size(), 1418u);
    std::size_t expected = 0;
    for (const Row& row : transcribed_rows()) {
      std::vector<std::u16string> names;
      if (row.last == 0) {
        std::u16string name = row.key;
        if (row.type == 's' && name.find(u'-') != std::u16string::npos) {
          name[name.find(u'-')] = u'_';
        }
        names.push_back(name);
      }
      for (int i = 1; i <= row.last; ++i) names.push_back(row.key + widen(std::to_string(i)));
      for (const std::u16string& name : names) {
        const std::u16string path = prefix + u"\\" + row.section + u"\\" + name;
        SCOPED_TRACE(narrow(path));
        ++expected;
        switch (row.type) {
          case 'i':
            EXPECT_EQ(get<int>(kv, path), row.defaultValue);
            break;
          case 'd':
            EXPECT_EQ(get<double>(kv, path), row.defaultValue);
            break;
          case 's':
            EXPECT_EQ(get_text(kv, path), u"");
            EXPECT_EQ(kv.getPropertySize(path.c_str()), 2u);
            break;
          default: {
            unsigned char byte = 0xFF;
            EXPECT_TRUE(kv.getVoidProperty(path.c_str(), &byte, 1));
            EXPECT_EQ(byte, 0);
            EXPECT_EQ(kv.getPropertySize(path.c_str()), 1u);
          }
        }
      }
    }
    EXPECT_EQ(expected, 1418u);
  }
}

TEST(Pc2Load, KeysAndSectionsCompareWithoutCaseAndKeepTheirSpelling) {
  RecordingHandler handler;
  KV_Object kv(&handler);
  load_pc2(kv, pc2("; a comment\n"
                   "[PlotDriver]\n"
                   "Configured=1\n"
                   "Type =7\n"
                   "External= =3\n"
                   "\t  Alias=  4  \r\n"
                   "[plotdriver]\n"
                   "qev_level=5\n"
                   "Unknown=9\n"
                   "[Plotter/Device/PenTable]\n"
                   "Color17=12\n"
                   "color300=5\n"
                   "Pens=-8\n"
                   "[Plotter/User]\n"
                   "UserWidth2=1.5\n"
                   "PlotWidth=-0.75\n"
                   "BaudRate=+9600\n"
                   "UserHeight\\x=2.5\n"
                   "[Plotter/User\\UserWidth]\n"
                   "3=4.5\n"
                   "[PLOTTER/DEVICE/PENTABLE]\n"
                   "color=6\n"
                   "[Plotter/DriverCustom]\n"
                   "pen#=\"all\"\n"));
  EXPECT_TRUE(handler.reports.empty());
  // Ranged rows match their name with any tail, backslashes included.
  EXPECT_EQ(get<double>(kv, u"\\Plotter/User\\UserHeight\\x"), 2.5);
  EXPECT_EQ(get<double>(kv, u"\\Plotter/User\\UserWidth\\3"), 4.5);
  EXPECT_EQ(get<int>(kv, u"\\PLOTTER/DEVICE/PENTABLE\\color"), 6);
  EXPECT_EQ(get_text(kv, u"\\Plotter/DriverCustom\\pen#"), u"all");
  EXPECT_EQ(get<int>(kv, u"\\PlotDriver\\Configured"), 1);
  EXPECT_EQ(get<int>(kv, u"\\PlotDriver\\Type"), 0);  // "Type " matches no row
  EXPECT_FALSE(kv.pathExists(u"\\PlotDriver\\Type "));
  EXPECT_EQ(get<int>(kv, u"\\PlotDriver\\External"), 3);
  EXPECT_EQ(get<int>(kv, u"\\PlotDriver\\Alias"), 4);
  EXPECT_EQ(get<int>(kv, u"\\plotdriver\\qev_level"), 5);
  EXPECT_EQ(get<int>(kv, u"\\PlotDriver\\QEV_Level"), 0);
  EXPECT_FALSE(kv.pathExists(u"\\plotdriver\\Unknown"));
  EXPECT_EQ(get<int>(kv, u"\\Plotter/Device/PenTable\\Color17"), 12);
  EXPECT_EQ(get<int>(kv, u"\\Plotter/Device/PenTable\\color300"), 5);
  EXPECT_EQ(get<int>(kv, u"\\Plotter/Device/PenTable\\Pens"), -8);
  EXPECT_EQ(get<double>(kv, u"\\Plotter/User\\UserWidth2"), 1.5);
  EXPECT_EQ(get<double>(kv, u"\\Plotter/User\\PlotWidth"), -0.75);
  EXPECT_EQ(get<int>(kv, u"\\Plotter/User\\BaudRate"), 9600);
  EXPECT_EQ(walk_tree(kv).size(), 1418u + 6);  // qev_level, color300 and the four above
}

TEST(Pc2Load, ValuesConvertByTheRowType) {
  RecordingHandler handler;
  KV_Object kv(&handler);
  load_pc2(kv, pc2("[Plotter/DriverCustom]\n"
                   "dmFields=ff\n"
                   "dmScale=12abc\n"
                   "dmCopies=99999999999\n"
                   "Opaque-Q=\"abc\"\n"
                   "opaque-r=\"\n"
                   "Opaque-S=\"half\n"
                   "PEN#3=\"pen three\"\n"
                   "dmPaperLength=297.0\n"
                   "dmPaperWidth=0.30000000000 (-#,S,S,STS_8[P)\n"
                   "[Plotter/Port]\n"
                   "DCB=\"-#,S,S,STS_8[P\"\n"
                   "PortName=LPT1\n"
                   "Link=-2147483649\n"));
  EXPECT_TRUE(handler.reports.empty());
  const std::u16string custom = u"\\Plotter/DriverCustom\\";
  EXPECT_EQ(get<int>(kv, custom + u"dmFields"), 255);
  EXPECT_EQ(get<int>(kv, custom + u"dmScale"), 12);
  EXPECT_EQ(get<int>(kv, custom + u"dmCopies"), 2147483647);
  EXPECT_EQ(get_text(kv, custom + u"Opaque_Q"), u"abc");
  EXPECT_EQ(get_text(kv, custom + u"opaque_r"), u"");
  EXPECT_EQ(get_text(kv, custom + u"Opaque_S"), u"\"half");
  EXPECT_FALSE(kv.pathExists((custom + u"Opaque-Q").c_str()));
  EXPECT_EQ(get_text(kv, custom + u"PEN#3"), u"pen three");
  EXPECT_EQ(get<double>(kv, custom + u"dmPaperLength"), 297.0);
  // The exact text of a double: 0.1 + 0.2, not 0.3.
  EXPECT_EQ(get<double>(kv, custom + u"dmPaperWidth"), 0.1 + 0.2);
  const unsigned char expected[8] = {0x34, 0x33, 0x33, 0x33, 0x33, 0x33, 0xD3, 0x3F};
  unsigned char bytes[8] = {};
  EXPECT_TRUE(kv.getVoidProperty(u"\\Plotter/Port\\DCB", bytes, 8));
  EXPECT_EQ(std::memcmp(bytes, expected, 8), 0);
  EXPECT_EQ(kv.getPropertySize(u"\\Plotter/Port\\DCB"), 8u);
  EXPECT_EQ(get_text(kv, u"\\Plotter/Port\\PortName"), u"LPT1");
  EXPECT_EQ(get<int>(kv, u"\\Plotter/Port\\Link"), -2147483647 - 1);
  // Every default that no line replaced is still there.
  EXPECT_EQ(get_text(kv, custom + u"Opaque_A"), u"");
  EXPECT_EQ(walk_tree(kv).size(), 1418u + 1);  // opaque_r
}

TEST(Pc2Load, BadLinesAreReportedWithTheirContextAndKeepTheDefault) {
  TempDir dir;
  write_file(dir.path() / "bad.pc2",
             pc2("Configured=1\n"  // 2: before any section, no row
                 "[PlotDriver]\n"
                 "Configured\n"  // 4: no "="
                 "Type=\n"       // 5: empty value
                 "External=2\n"
                 "Alias=x1\n"  // 7: not a number
                 "[]\n"        // 8: empty section name
                 "QEV_Level=5\n"
                 "[Plotter/DriverCustom]\n"
                 "dmFields=zz\n"          // 11: 99
                 "dmScale=zz\n"           // 12: 57
                 "dmPaperLength=12abc\n"  // 13: not a double
                 "[Plotter/Port]\n"
                 "DCB=not raw\n"  // 15: not check-summed text
                 "DCB=P,$\n"      // 16: no bytes
                 "Nothing=\n"));  // unknown: silent even when empty
  const std::u16string file = dir.file("bad.pc2");
  RecordingHandler handler;
  KV_Object kv(&handler);
  kv.load(file.c_str(), KV_Object::FT_PC2, u"\\");
  const std::vector<std::pair<unsigned, std::u16string>> expected = {
      {57, u"\n4, Configured, "},
      {57, u"\n5, Type=, "},
      {57, u"\n7, Alias=x1, "},
      {57, u"\n8, [], "},
      {99, u"\n11, dmFields=zz, "},
      {57, u"\n12, dmScale=zz, "},
      {57, u"\n13, dmPaperLength=12abc, "},
      {57, u"\n15, DCB=not raw, "},
      {57, u"\n16, DCB=P,$, "}};
  ASSERT_EQ(handler.reports.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(handler.reports[i].operation, "warning");
    EXPECT_EQ(handler.reports[i].id, expected[i].first);
    EXPECT_EQ(handler.reports[i].source, u"KV_PC2File::load()");
    EXPECT_EQ(handler.reports[i].argument, expected[i].second + file);
  }
  EXPECT_EQ(get<int>(kv, u"\\PlotDriver\\Configured"), 0);
  EXPECT_EQ(get<int>(kv, u"\\PlotDriver\\Type"), 0);
  EXPECT_EQ(get<int>(kv, u"\\PlotDriver\\External"), 2);   // the line after a bad one
  EXPECT_EQ(get<int>(kv, u"\\PlotDriver\\QEV_Level"), 5);  // "[]" kept the section
  EXPECT_EQ(get<int>(kv, u"\\Plotter/DriverCustom\\dmFields"), 0);
  EXPECT_EQ(kv.getPropertySize(u"\\Plotter/Port\\DCB"), 1u);
  EXPECT_EQ(walk_tree(kv).size(), 1418u);
}

TEST(Pc2Load, ACancellingHandlerEndsTheLoadAndKeepsWhatWasStored) {
  RecordingHandler handler(0);
  KV_Object kv(&handler);
  EXPECT_EQ(raised<GX_Canceled_Error>(
                [&] { load_pc2(kv, pc2("[PlotDriver]\nConfigured=1\nType=x\nExternal=2\n")); }),
            (Raised{57, u"KV_PC2File::load()", u"\n4, Type=x, "}));
  EXPECT_EQ(get<int>(kv, u"\\PlotDriver\\Configured"), 1);
  EXPECT_EQ(get<int>(kv, u"\\PlotDriver\\External"), 0);
  EXPECT_EQ(walk_tree(kv).size(), 1418u);

  // Without a handler the report is raised as a plain GX_Exception.
  KV_Object strict;
  try {
    load_pc2(strict, pc2("[PlotDriver]\nType=x\n"));
    FAIL();
  } catch (const KV_Warning&) {
    FAIL() << "raised as the reported class";
  } catch (const GX_Exception& e) {
    EXPECT_EQ(e.id(), 57u);
  }
}

TEST(Pc2Version, TheFirstSignificantLineIsTheVersion) {
  struct Case {
    std::string text;
    std::u16string version;
    std::vector<unsigned> reports;
  };
  const Case cases[] = {
      {"PC2Version 2.1  \r\n", u"PC2Version 2.1", {}},
      {"\n;comment\npc2version x\n", u"pc2version x", {}},
      {"  PC2Version 3\n", u"PC2Version 3", {69}},
      {"\tPC2Version 3\n", u"PC2Version 3", {69}},
      {" ;not a comment\n", u";not a comment", {69}},
      {"Version 2\n", u"Version 2", {69}},
      {"   \n", u"", {69, 57}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::stringstream stream(c.text);
    RecordingHandler handler;
    KV_PC2File reader(&handler);
    reader.setStream(&stream);
    char16_t buffer[64] = u"untouched";
    reader.getVersion(buffer, 64);
    EXPECT_EQ(std::u16string(buffer), c.version.empty() ? u"untouched" : c.version);
    EXPECT_EQ(ids(handler), c.reports);
    for (const auto& r : handler.reports) {
      EXPECT_EQ(r.operation, "error");
      EXPECT_EQ(r.source, u"KV_PC2File::getVersion()");
    }
  }
  // Cut to the buffer; the stream stays after the version line.
  std::stringstream stream("\n\nPC2Version 2.1\nrest\n");
  KV_PC2File reader(nullptr);
  reader.setStream(&stream);
  char16_t small[5] = {};
  reader.getVersion(small, 5);
  EXPECT_EQ(std::u16string(small), u"PC2V");
  EXPECT_EQ(reader.lineNumber(), 3);
  std::string next;
  std::getline(stream, next);
  EXPECT_EQ(next, "rest");
}

TEST(Pc2Version, AVersionLineThatEndsTheFileOrNoneAtAllFailsTheLoad) {
  for (const std::string& text :
       std::vector<std::string>{"PC2Version 2.1", "", ";only\n\n", std::string(1100, 'P') + "\n"}) {
    SCOPED_TRACE(text.substr(0, 20));
    RecordingHandler handler;
    KV_Object kv(&handler);
    // A stream has no file name.
    EXPECT_EQ(raised<KV_Severe>([&] { load_pc2(kv, text); }),
              (Raised{66, u"KV_PC2File::getVersion()", u"<none>"}));
    EXPECT_TRUE(walk_tree(kv).empty());
  }
}

// A stream buffer that fails with a given errno once its text is read.
class FailingBuf : public std::streambuf {
 public:
  FailingBuf(std::string text, int error) : m_text(std::move(text)), m_error(error) {
    setg(m_text.data(), m_text.data(), m_text.data() + m_text.size());
  }

 protected:
  pos_type seekpos(pos_type pos, std::ios::openmode) override {
    if (pos != pos_type(0)) return pos_type(-1);
    setg(m_text.data(), m_text.data(), m_text.data() + m_text.size());
    return pos;
  }
  pos_type seekoff(off_type off, std::ios::seekdir dir, std::ios::openmode which) override {
    return dir == std::ios::beg ? seekpos(pos_type(off), which) : pos_type(-1);
  }
  int_type underflow() override {
    errno = m_error;
    throw std::ios_base::failure("read failed");
  }

 private:
  std::string m_text;
  int m_error;
};

TEST(Pc2Load, ReadFailuresEndTheLoadWithAnIdByTheSystemError) {
  const std::pair<int, unsigned> cases[] = {{ENOMEM, 64}, {EACCES, 61}, {EIO, 66}};
  for (const auto& [error, id] : cases) {
    FailingBuf buffer(pc2("[PlotDriver]\nConfigured=3\nType=4"), error);
    std::iostream stream(&buffer);
    KV_Object kv;
    const Raised r = raised<KV_Severe>([&] { kv.load(&stream, KV_Object::FT_PC2, u"\\"); });
    EXPECT_EQ(std::get<0>(r), id);
    EXPECT_EQ(std::get<1>(r), u"KV_PC2File::load()");
    EXPECT_EQ(get<int>(kv, u"\\PlotDriver\\Configured"), 3);
  }
}

TEST(Pc2Load, LongLinesAreRefusedWithoutOverrun) {
  RecordingHandler handler;
  KV_Object kv(&handler);
  const std::string longSection = "[" + std::string(600, 'S') + "]\n";
  const std::string longKey = "Color" + std::string(600, '1') + "=1\n";
  const std::string line1023 = "Widths=" + std::string(1016, '7');  // exactly 1023 bytes
  load_pc2(kv, pc2(longSection + "Configured=1\n[Plotter/Device/PenTable]\n" + longKey +
                   "[Plotter/Device/WidthTable]\n" + line1023 + "\n"));
  EXPECT_EQ(ids(handler), (std::vector<unsigned>{57, 57}));
  EXPECT_EQ(handler.reports[0].argument.size(), 1u + 1 + 2 + 602 + 2);
  EXPECT_EQ(get<int>(kv, u"\\Plotter/Device/WidthTable\\Widths"), 2147483647);
  EXPECT_EQ(walk_tree(kv).size(), 1418u);

  KV_Object tooLong(&handler);
  const Raised r = raised<KV_Severe>([&] {
    load_pc2(tooLong,
             pc2("[PlotDriver]\nConfigured=1\nPathName=" + std::string(1020, 'p') + "\nType=2\n"));
  });
  EXPECT_EQ(std::get<0>(r), 66u);
  EXPECT_EQ(std::get<1>(r), u"KV_PC2File::load()");
  EXPECT_EQ(get<int>(tooLong, u"\\PlotDriver\\Configured"), 1);
}

TEST(Pc2Dispatch, FilesAndStreamsLoadAndMissingFilesRaise) {
  TempDir dir;
  write_file(dir.path() / "p.pc2", pc2("[PlotDriver]\nConfigured=1\n"));
  KV_Object kv;
  kv.load(dir.file("p.pc2").c_str(), KV_Object::FT_PC2, u"\\dev");
  EXPECT_EQ(get<int>(kv, u"\\dev\\PlotDriver\\Configured"), 1);
  EXPECT_EQ(std::get<0>(raised<KV_Severe>(
                [&] { kv.load(dir.file("missing.pc2").c_str(), KV_Object::FT_PC2, u"\\"); })),
            63u);
}

// ---- CFG

std::string cfg_file() {
  return "CfgVersion=1\n"
         "[PlotDriver#1]\nConfigured=1\n"
         "[PlotDriver#2]\nConfigured=2\nPathName=\"two\"\n"
         "[Plotter#2/Device/PenTable]\nColor5=3\n"
         "[Plotter/Device#2]\nPens=9\n"
         "[Plotter/Port]\nLocal=1\n"
         "[Plotter#2/DriverCustom]\ndmFields=255\nOpaque-B=b\n"
         "[Plotter#1/DriverCustom]\ndmFields=ff\n"
         "[Plotter# /Device]\nPens=4\n";
}

TEST(CfgLoad, OneInstanceAndTheSectionsWithoutANumberAreRead) {
  TempDir dir;
  write_file(dir.path() / "multi.cfg", cfg_file());
  const std::u16string file = dir.file("multi.cfg");
  struct Case {
    int instance;
    int configured, color5, local, fields, devicePens;
    std::vector<unsigned> reports;
  };
  const Case cases[] = {
      {2, 2, 3, 1, 255, 0, {}},
      {3, 0, 0, 1, 0, 0, {}},
      {1, 1, 0, 1, 0, 0, {57}},  // dmFields=ff read as decimal
      {0, 0, 0, 1, 0, 4, {}},    // "#" followed by no digits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.instance);
    RecordingHandler handler;
    KV_Object kv(&handler);
    kv.load_cfg_section(file.c_str(), KV_Object::FT_CFG, u"\\cfg", c.instance);
    EXPECT_EQ(get<int>(kv, u"\\cfg\\PlotDriver\\Configured"), c.configured);
    EXPECT_EQ(get<int>(kv, u"\\cfg\\Plotter/Device/PenTable\\Color5"), c.color5);
    EXPECT_EQ(get<int>(kv, u"\\cfg\\Plotter/Port\\Local"), c.local);
    EXPECT_EQ(get<int>(kv, u"\\cfg\\Plotter/DriverCustom\\dmFields"), c.fields);
    EXPECT_EQ(get<int>(kv, u"\\cfg\\Plotter/Device\\Pens"), c.devicePens);
    EXPECT_FALSE(kv.pathExists(u"\\cfg\\Plotter/Device/Device#2"));
    EXPECT_EQ(ids(handler), c.reports);
    if (!handler.reports.empty()) {
      EXPECT_EQ(handler.reports[0].source, u"KV_PC2File::load()");
      EXPECT_EQ(handler.reports[0].argument, u"\n17, dmFields=ff, " + file);
    }
  }
  KV_Object two;
  two.load_cfg_section(file.c_str(), KV_Object::FT_CFG, u"\\", 2);
  EXPECT_EQ(get_text(two, u"\\PlotDriver\\PathName"), u"two");
  EXPECT_EQ(get_text(two, u"\\Plotter/DriverCustom\\Opaque_B"), u"b");
  EXPECT_EQ(walk_tree(two).size(), 1418u);
}

TEST(CfgLoad, EveryLineWithABracketIsASectionLine) {
  RecordingHandler handler;
  KV_Object kv(&handler);
  TempDir dir;
  write_file(dir.path() / "b.cfg",
             "[Plotter/Port]\nPortName=[LPT1]\nLocal=5\nno equals\n[]\n[PlotDriver#2]\n"
             "Configured=7\n");
  kv.load_cfg_section(dir.file("b.cfg").c_str(), KV_Object::FT_CFG, u"", 2);
  // "PortName=[LPT1]" made the section "ortName=[LPT1", so Local matches nothing.
  EXPECT_EQ(get_text(kv, u"\\Plotter/Port\\PortName"), u"");
  EXPECT_EQ(get<int>(kv, u"\\Plotter/Port\\Local"), 0);
  EXPECT_EQ(get<int>(kv, u"\\PlotDriver\\Configured"), 7);
  EXPECT_EQ(ids(handler), (std::vector<unsigned>{57, 57}));
  EXPECT_EQ(handler.reports[0].argument.substr(0, 15), u"\n4, no equals, ");
  EXPECT_EQ(handler.reports[1].source, u"KV_PC2File::load()");
  // A CFG file is no PC2 file: it has no version line.
  KV_Object strict;
  EXPECT_EQ(std::get<0>(raised<GX_Exception>(
                [&] { strict.load(dir.file("b.cfg").c_str(), KV_Object::FT_PC2, u"\\pc2"); })),
            69u);
}

TEST(CfgLoad, AnEmptyFileGivesTheDefaultsAndAFailedReadRaises) {
  TempDir dir;
  write_file(dir.path() / "empty.cfg", "");
  KV_Object kv;
  kv.load_cfg_section(dir.file("empty.cfg").c_str(), KV_Object::FT_CFG, u"\\", 1);
  EXPECT_EQ(walk_tree(kv).size(), 1418u);
  write_file(dir.path() / "long.cfg", "[PlotDriver]\n" + std::string(2000, 'x') + "\n");
  EXPECT_EQ(raised<KV_Severe>([&] {
              kv.load_cfg_section(dir.file("long.cfg").c_str(), KV_Object::FT_CFG, u"\\", 1);
            }),
            (Raised{66, u"KV_CFGFile::load_section()", dir.file("long.cfg")}));
}

}  // namespace
