// Copyright the kvstore authors.
//
// The DPIA format through the KV_Object file operations. Files are read back
// with a parser of the test's own and section bodies with plain zlib; files
// that the reader is given are laid out by hand here, their sections
// compressed with plain zlib.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "kvstore/kv_exceptions.h"
#include "kvstore/kv_object.h"
#include "testutil/recording_handler.h"
#include "testutil/temp_dir.h"
#include "testutil/tree_values.h"

namespace {

constexpr char kSectionHeader[] = "PIAFILEVERSION_2.0,DPIA_SECTION_1.0,compress\r\n";

std::string le32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
  return s;
}

uint32_t get_le32(const std::string& s, std::size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s.at(at + i));
  return v;
}

struct Entry {
  std::string descriptor;  // UTF-8
  std::string info;
  uint32_t offset;
  uint32_t size;
};

struct Parsed {
  uint32_t version;
  std::vector<Entry> entries;
  std::size_t d;  // where the sections begin
};

Parsed parse(const std::string& file) {
  Parsed p{get_le32(file, 0), {}, 8};
  const uint32_t n = get_le32(file, 4);
  for (uint32_t i = 0; i < n; ++i) {
    Entry e;
    uint32_t l = get_le32(file, p.d);
    e.descriptor = file.substr(p.d + 4, l);
    p.d += 4 + l;
    if (p.version == 0x20000) {
      uint32_t m = get_le32(file, p.d);
      e.info = file.substr(p.d + 4, m);
      p.d += 4 + m;
    }
    e.offset = get_le32(file, p.d);
    e.size = get_le32(file, p.d + 4);
    p.d += 8;
    p.entries.push_back(e);
  }
  return p;
}

// The body text of a section, inflated by zlib itself.
std::string section_body(const std::string& section) {
  EXPECT_EQ(section.substr(0, sizeof kSectionHeader - 1), kSectionHeader);
  const std::string block = section.substr(sizeof kSectionHeader - 1);
  EXPECT_EQ(block.substr(0, 11), "kvzlibcodec");
  const uint32_t n = get_le32(block, 15);
  const uint32_t z = get_le32(block, 19);
  EXPECT_EQ(block.size(), 23u + z);
  std::string body(n, '\0');
  uLongf length = n;
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(body.data()), &length,
                       reinterpret_cast<const Bytef*>(block.data() + 23), z),
            Z_OK);
  return body;
}

// A section holding body, compressed by zlib itself.
std::string make_section(const std::string& body) {
  uLongf z = compressBound(body.size());
  std::string stream(z, '\0');
  compress2(reinterpret_cast<Bytef*>(stream.data()), &z,
            reinterpret_cast<const Bytef*>(body.data()), body.size(), 9);
  stream.resize(z);
  const uLong check = adler32(1, reinterpret_cast<const Bytef*>(stream.data()), z);
  return kSectionHeader + std::string("kvzlibcodec") + le32(check) + le32(body.size()) + le32(z) +
         stream;
}

struct Layout {
  std::string descriptor;
  std::string info;
  std::string section;
};

// A whole file laid out by hand: version word, directory, sections in order.
std::string make_file(uint32_t version, const std::vector<Layout>& sections) {
  std::string file = le32(version) + le32(sections.size());
  uint32_t offset = 0;
  for (const Layout& s : sections) {
    file += le32(s.descriptor.size()) + s.descriptor;
    if (version == 0x20000) file += le32(s.info.size()) + s.info;
    file += le32(offset) + le32(s.section.size());
    offset += s.section.size();
  }
  for (const Layout& s : sections) file += s.section;
  return file;
}

std::string save_dpia(const KV_Object& kv, const char16_t* path) {
  std::stringstream stream;
  kv.save(&stream, KV_Object::FT_DPIA, u"", path);
  return stream.str();
}

// The sub-tree at path as plain PIA body text, without the closing zero.
std::string pia_text(const KV_Object& kv, const char16_t* path) {
  std::stringstream stream;
  kv.save(&stream, KV_Object::FT_PIA, u"", path, true);
  std::string text = stream.str();
  text.erase(0, text.find("\r\n") + 2);
  text.pop_back();
  return text;
}

// The id, source and argument of the GX_Exception that f throws.
template <typename F>
std::tuple<unsigned, std::u16string, std::u16string> failure(F&& f) {
  try {
    f();
  } catch (const GX_Exception& e) {
    return {e.id(), e.source(), e.argument() != nullptr ? e.argument() : u"<none>"};
  }
  return {0, u"", u""};
}

class DpiaFile : public ::testing::Test {
 protected:
  std::u16string write(const std::string& name, const std::string& bytes) {
    write_file(dir.path() / name, bytes);
    return dir.file(name);
  }

  TempDir dir;
};

TEST_F(DpiaFile, OneSectionHasTheDocumentedLayout) {
  KV_Object kv;
  kv.SetProperty(u"\\P\\A\\info", u"x");
  kv.SetProperty(u"\\P\\A\\data\\count", 7);
  kv.SetProperty(u"\\P\\A\\data\\tray\\name", u"Main");
  const std::u16string file = dir.file("one.dpia");
  kv.save(file.c_str(), KV_Object::FT_DPIA, u"", u"\\P");
  const std::string bytes = read_file(dir.path() / "one.dpia");
  ASSERT_GT(bytes.size(), 26u);
  const std::string head = std::string("\x00\x00\x02\x00", 4) + le32(1) + le32(1) + "A" + le32(1) +
                           "x" + le32(0) + le32(bytes.size() - 26);
  EXPECT_EQ(bytes.substr(0, 26), head);
  EXPECT_EQ(section_body(bytes.substr(26)),
            "count=7\ntray{\n name=\"Main\n}\n" + std::string(1, '\0'));

  KV_Object back;
  back.load_section(file.c_str(), KV_Object::FT_DPIA, u"\\got", u"A");
  EXPECT_EQ(pia_text(back, u"\\got"), "count=7\ntray{\n name=\"Main\n}\n");
  // The stream forms write and read the same bytes.
  EXPECT_EQ(save_dpia(kv, u"\\P"), bytes);
}

TEST_F(DpiaFile, TwoSectionsLoadOneByOne) {
  KV_Object kv;
  kv.SetProperty(u"\\P\\a\\info", u"first");
  kv.SetProperty(u"\\P\\a\\data\\x", 1);
  kv.SetProperty(u"\\P\\b\\info", u"second");
  kv.SetProperty(u"\\P\\b\\data\\x", 2);
  kv.SetProperty(u"\\P\\b\\data\\sub\\on", true);
  kv.SetProperty(u"\\P\\b\\other", 5);  // not part of the section
  const std::u16string file = write("two.dpia", save_dpia(kv, u"\\P"));
  const std::string bytes = read_file(dir.path() / "two.dpia");
  const Parsed p = parse(bytes);
  EXPECT_EQ(p.version, 0x20000u);
  ASSERT_EQ(p.entries.size(), 2u);
  EXPECT_EQ(p.entries[0].descriptor, "a");
  EXPECT_EQ(p.entries[0].info, "first");
  EXPECT_EQ(p.entries[1].descriptor, "b");
  EXPECT_EQ(p.entries[1].info, "second");
  EXPECT_EQ(p.entries[0].offset, 0u);
  EXPECT_EQ(p.entries[1].offset, p.entries[0].size);
  EXPECT_EQ(p.d + p.entries[1].offset + p.entries[1].size, bytes.size());
  EXPECT_EQ(section_body(bytes.substr(p.d, p.entries[0].size)), std::string("x=1\n", 5));
  EXPECT_EQ(section_body(bytes.substr(p.d + p.entries[1].offset)),
            std::string("x=2\nsub{\n on=TRUE\n}\n", 21));

  KV_Object back;
  back.load_section(file.c_str(), KV_Object::FT_DPIA, u"\\into\\b", u"b");
  EXPECT_EQ(pia_text(back, u"\\"), "into{\n b{\n  x=2\n  sub{\n   on=TRUE\n  }\n }\n}\n");
  back.load_section(file.c_str(), KV_Object::FT_DPIA, u"\\into\\a", u"a");
  EXPECT_EQ(pia_text(back, u"\\into\\a"), "x=1\n");

  // load brings in the directory and nothing else.
  KV_Object directory;
  directory.load(file.c_str(), KV_Object::FT_DPIA, u"\\P");
  EXPECT_EQ(pia_text(directory, u"\\"),
            "P{\n DPIA_directory{\n  0{\n   descriptor=\"a\n   info=\"first\n  }\n"
            "  1{\n   descriptor=\"b\n   info=\"second\n  }\n }\n}\n");
  // A descriptor that differs in case only, or not at all present.
  for (const char16_t* wrong : {u"B", u"A", u"c", u"", u"b "}) {
    EXPECT_EQ(failure([&] { back.load_section(file.c_str(), KV_Object::FT_DPIA, u"\\", wrong); }),
              std::make_tuple(83u, std::u16string(u"load_section"), std::u16string(wrong)));
  }
  EXPECT_EQ(failure([&] { back.load_section(file.c_str(), KV_Object::FT_DPIA, u"\\", nullptr); }),
            std::make_tuple(83u, std::u16string(u"load_section"), std::u16string(u"<none>")));
}

TEST_F(DpiaFile, VersionOneFilesAndUnknownVersions) {
  const std::string file = make_file(0x10000, {{"one", "", make_section(std::string("v=1\n", 5))},
                                               {"two", "", make_section("t{\nv=2\n}\n")}});
  const std::u16string path = write("v1.dpia", file);
  KV_Object kv;
  kv.load(path.c_str(), KV_Object::FT_DPIA, u"");
  EXPECT_EQ(pia_text(kv, u"\\"),
            "DPIA_directory{\n 0{\n  descriptor=\"one\n }\n 1{\n  descriptor=\"two\n }\n}\n");
  kv.load_section(path.c_str(), KV_Object::FT_DPIA, u"\\s", u"two");
  EXPECT_EQ(pia_text(kv, u"\\s"), "t{\n v=2\n}\n");

  // 0x30000 is reported as 69; a handler that goes on gets nothing loaded.
  std::string unknown = file;
  unknown[2] = 3;
  const std::u16string bad = write("v3.dpia", unknown);
  RecordingHandler handler(1);
  KV_Object tolerant(&handler);
  tolerant.load(bad.c_str(), KV_Object::FT_DPIA, u"\\");
  tolerant.load_section(bad.c_str(), KV_Object::FT_DPIA, u"\\s", u"two");
  ASSERT_EQ(handler.reports.size(), 2u);
  EXPECT_EQ(handler.reports[0].operation, "error");
  EXPECT_EQ(handler.reports[0].id, 69u);
  EXPECT_EQ(handler.reports[0].source, u"KV_DPIAFile::getVersion()");
  EXPECT_EQ(handler.reports[0].argument, bad);
  EXPECT_EQ(pia_text(tolerant, u"\\"), "");
  KV_Object strict;
  EXPECT_EQ(failure([&] { strict.load(bad.c_str(), KV_Object::FT_DPIA, u"\\"); }),
            std::make_tuple(69u, std::u16string(u"KV_DPIAFile::getVersion()"), bad));
}

TEST_F(DpiaFile, DescriptorsAndInfosKeepTheirText) {
  KV_Object kv;
  const std::u16string name = u"Gr\u00f6\u00dfe \u20ac \U0001F5A8";
  kv.SetProperty((u"\\P\\" + name + u"\\info").c_str(), u"\u00e9t\u00e9");
  kv.SetProperty((u"\\P\\" + name + u"\\data\\v").c_str(), 3);
  kv.SetProperty(u"\\P\\plain\\data\\v", 4);  // no info: M = 0
  const std::u16string file = write("utf8.dpia", save_dpia(kv, u"\\P"));
  const Parsed p = parse(read_file(dir.path() / "utf8.dpia"));
  ASSERT_EQ(p.entries.size(), 2u);
  EXPECT_EQ(p.entries[0].descriptor,
            "Gr\xC3\xB6\xC3\x9F"
            "e \xE2\x82\xAC \xF0\x9F\x96\xA8");
  EXPECT_EQ(p.entries[0].info, "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(p.entries[1].info, "");

  KV_Object back;
  back.load(file.c_str(), KV_Object::FT_DPIA, u"\\");
  EXPECT_EQ(get_text(back, u"\\DPIA_directory\\0\\descriptor"), name);
  EXPECT_EQ(get_text(back, u"\\DPIA_directory\\0\\info"), u"\u00e9t\u00e9");
  EXPECT_EQ(get_text(back, u"\\DPIA_directory\\1\\info"), u"");
  back.load_section(file.c_str(), KV_Object::FT_DPIA, u"\\s", name.c_str());
  EXPECT_EQ(get<int>(back, u"\\s\\v"), 3);

  // Descriptors are compared as decoded text: an invalid byte reads as
  // U+FFFD, and a lone surrogate asked for is not the U+FFFD of a file.
  const std::string section = make_section(std::string("v=5\n", 5));
  const std::u16string odd =
      write("odd.dpia", make_file(0x20000, {{"\xFF", "", section}, {"\xEF\xBF\xBD", "", section}}));
  KV_Object kv2;
  kv2.load_section(odd.c_str(), KV_Object::FT_DPIA, u"\\s", u"\uFFFD");
  EXPECT_EQ(get<int>(kv2, u"\\s\\v"), 5);
  const char16_t lone[] = {0xD800, 0};
  EXPECT_EQ(std::get<0>(
                failure([&] { kv2.load_section(odd.c_str(), KV_Object::FT_DPIA, u"\\t", lone); })),
            83u);
}

TEST_F(DpiaFile, PathsWithoutChildrenAndChildrenWithoutData) {
  KV_Object kv;
  kv.SetProperty(u"\\leaf\\x", 1);
  EXPECT_EQ(save_dpia(kv, u"\\leaf"), le32(0x20000) + le32(0));

  // A child with info only gets a section with an empty body.
  kv.SetProperty(u"\\P\\bare\\info", u"nothing inside");
  const std::string bytes = save_dpia(kv, u"\\P");
  const Parsed p = parse(bytes);
  ASSERT_EQ(p.entries.size(), 1u);
  EXPECT_EQ(section_body(bytes.substr(p.d)), std::string(1, '\0'));
  const std::u16string file = write("bare.dpia", bytes);
  KV_Object back;
  back.load_section(file.c_str(), KV_Object::FT_DPIA, u"\\s", u"bare");
  EXPECT_EQ(pia_text(back, u"\\"), "");

  // A path that is not in the tree at all.
  EXPECT_EQ(failure([&] { save_dpia(kv, u"\\nowhere"); }),
            std::make_tuple(55u, std::u16string(u"KV_DPIAFile::save()"), std::u16string(u"pIter")));
  // A missing file.
  const std::u16string missing = dir.file("missing.dpia");
  EXPECT_EQ(failure([&] { back.load(missing.c_str(), KV_Object::FT_DPIA, u"\\"); }),
            std::make_tuple(63u, std::u16string(u"KV_DPIAFile::load()"), missing));
}

TEST_F(DpiaFile, HostileDirectoriesAreRefusedBeforeReading) {
  const std::string good_section = make_section(std::string("v=1\n", 5));
  const std::string good = make_file(0x20000, {{"a", "i", good_section}});
  const std::size_t d = 8 + 4 + 1 + 4 + 1 + 8;
  ASSERT_EQ(parse(good).d, d);
  auto with = [&](std::size_t at, uint32_t value) {
    std::string s = good;
    s.replace(at, 4, le32(value));
    return s;
  };
  struct Case {
    const char* what;
    std::string file;
  };
  const Case directory_cases[] = {
      {"count past the end", with(4, 2)},
      {"count in the billions", with(4, 0xFFFFFFFF)},
      {"L past the end", with(8, 0x7FFFFFF0)},
      {"L one past", with(8, static_cast<uint32_t>(good.size()))},
      {"M past the end", with(13, 0xFFFFFFFF)},
      {"cut in the directory", good.substr(0, 20)},
      {"cut in the version word", good.substr(0, 3)},
  };
  for (const Case& c : directory_cases) {
    SCOPED_TRACE(c.what);
    const std::u16string file = write("hostile.dpia", c.file);
    RecordingHandler handler(1);
    KV_Object kv(&handler);
    const auto expected = std::make_tuple(
        82u,
        std::u16string(c.file.size() < 4 ? u"KV_DPIAFile::getVersion()" : u"KV_DPIAFile::load()"),
        file);
    EXPECT_EQ(failure([&] { kv.load(file.c_str(), KV_Object::FT_DPIA, u"\\"); }), expected);
    EXPECT_EQ(failure([&] { kv.load_section(file.c_str(), KV_Object::FT_DPIA, u"\\", u"a"); }),
              expected);
    EXPECT_EQ(pia_text(kv, u"\\"), "");
  }

  // A section outside the file is refused when it is asked for; the
  // directory and the other sections stay readable.
  const std::string two = make_file(0x20000, {{"a", "", good_section}, {"b", "", good_section}});
  const std::size_t d2 = 8 + 2 * (4 + 1 + 4 + 8);
  const std::size_t b_offset = 8 + (4 + 1 + 4 + 8) + 4 + 1 + 4;
  const Case section_cases[] = {
      {"offset past the end",
       two.substr(0, b_offset) + le32(0x7FFFFFFF) + two.substr(b_offset + 4)},
      {"size past the end",
       two.substr(0, b_offset + 4) + le32(good_section.size() + 1) + two.substr(b_offset + 8)},
      {"cut in the last section", two.substr(0, two.size() - 1)},
  };
  for (const Case& c : section_cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(parse(c.file).d, d2);
    const std::u16string file = write("section.dpia", c.file);
    KV_Object kv;
    EXPECT_EQ(failure([&] { kv.load_section(file.c_str(), KV_Object::FT_DPIA, u"\\b", u"b"); }),
              std::make_tuple(82u, std::u16string(u"load_section"), std::u16string(u"b")));
    kv.load(file.c_str(), KV_Object::FT_DPIA, u"\\");
    kv.load_section(file.c_str(), KV_Object::FT_DPIA, u"\\a", u"a");
    EXPECT_EQ(pia_text(kv, u"\\a"), "v=1\n");
    EXPECT_EQ(get_text(kv, u"\\DPIA_directory\\1\\descriptor"), u"b");
  }

  // A damaged section does not stop another from loading: each is read alone.
  const std::string garbage = "garbage\r\n" + std::string(40, '\xFF');
  const std::string damaged = make_file(0x20000, {{"a", "", garbage}, {"b", "", good_section}});
  const std::u16string file = write("damaged.dpia", damaged);
  KV_Object kv;
  kv.load_section(file.c_str(), KV_Object::FT_DPIA, u"\\b", u"b");
  EXPECT_EQ(pia_text(kv, u"\\b"), "v=1\n");
  EXPECT_EQ(std::get<0>(
                failure([&] { kv.load_section(file.c_str(), KV_Object::FT_DPIA, u"\\a", u"a"); })),
            89u);
}

}  // namespace
