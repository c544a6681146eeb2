// Copyright the kvstore authors.
//
// The compound file layer: the published test vectors (byte-exact through
// their SHA-256 sums), files checked by python3-olefile and libgsf's gsf,
// files of two other writers (our second writer script and gsf createole),
// damaged files, names and their order, locking, and hierarchies wide and
// deep enough to expose work that is not n log n.
#include "platform/compound_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "testutil/cfb_tools.h"
#include "testutil/sha256.h"
#include "testutil/temp_dir.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kEoc = 0xFFFFFFFE;
constexpr uint32_t kFree = 0xFFFFFFFF;

// ---- Building documents.

void put(kv_cfb_storage storage, const std::u16string& name, const std::string& data) {
  kv_cfb_stream s = storage.create_stream(name);
  ASSERT_TRUE(s.valid());
  ASSERT_TRUE(s.write(data.data(), data.size()));
}

std::string serialize(const std::function<void(kv_cfb_storage)>& fill) {
  auto doc = kv_compound_file::create_in_memory();
  fill(doc->root());
  std::string out;
  EXPECT_TRUE(doc->serialize(out));
  return out;
}

std::string pattern(std::size_t size, unsigned (*byte)(std::size_t)) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(byte(i));
  return s;
}

const std::string kVersionBytes("\x00\x00\x80\x3F", 4);
const std::string kIntFive("\x01\0\0\0\x04\0\0\0\x05\0\0\0", 12);

// The test vectors of the format notes (TV1 to TV6).
std::string tv1() {
  return serialize([](kv_cfb_storage) {});
}
std::string tv2() {
  return serialize([](kv_cfb_storage root) { put(root, u"Version", kVersionBytes); });
}
std::string tv3() {
  return serialize([](kv_cfb_storage root) {
    put(root.create_storage(u"a").create_storage(u"b"), u"x", kIntFive);
  });
}
std::string tv4() {
  return serialize([](kv_cfb_storage root) {
    put(root, u"Big", pattern(5000, [](std::size_t i) { return unsigned(i % 251); }));
  });
}
std::string tv5() {
  return serialize([](kv_cfb_storage root) {
    put(root, u"Version", kVersionBytes);
    for (const char16_t* name : {u"zeta", u"B", u"a", u"ab", u"AC", u"media"}) {
      const std::u16string n(name);
      put(root, n, std::string(n.begin(), n.end()));
    }
    put(root, u"Empty", "");
  });
}
std::string tv6() {
  return serialize([](kv_cfb_storage root) {
    put(root, u"s0", "");
    put(root, u"s64", pattern(64, [](std::size_t i) { return unsigned(i); }));
    put(root, u"s65", pattern(65, [](std::size_t i) { return unsigned(i); }));
    put(root, u"s4095", pattern(4095, [](std::size_t i) { return unsigned(i & 0xFF); }));
    put(root, u"s4096", pattern(4096, [](std::size_t i) { return unsigned(3 * i & 0xFF); }));
  });
}

uint32_t get32(const std::string& b, std::size_t at) {
  uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
void set32(std::string& b, std::size_t at, uint32_t v) {
  std::memcpy(&b[at], &v, 4);
}
void set16(std::string& b, std::size_t at, uint16_t v) {
  std::memcpy(&b[at], &v, 2);
}

// ---- Reading documents back.

std::unique_ptr<kv_compound_file> parse(const std::string& bytes, kv_cfb_status& status) {
  return kv_compound_file::parse(bytes.data(), bytes.size(), status);
}

kv_cfb_error parse_error(const std::string& bytes) {
  kv_cfb_status status;
  auto doc = parse(bytes, status);
  EXPECT_EQ(doc == nullptr, status.error != kv_cfb_error::none);
  return status.error;
}

// ---- The test vectors.

TEST(CompoundFile, WriterReproducesThePublishedTestVectorsAndReadsThemBackAsWritten) {
  ASSERT_EQ(sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  struct Vector {
    std::string bytes;
    std::size_t size;
    const char* sha;
  };
  const Vector vectors[] = {
      {tv1(), 1536, "443bdd7d94614d6181d9cacfedaaed619ca5d2f63eb76282721f82250a975b3e"},
      {tv2(), 2560, "ca55a3bb52fded021676dcf7a5e6b9d3da3106e690e36f0d873c288274c97884"},
      {tv3(), 2560, "85e9df13423a731b55fa5f1f03aa73c537accb6c90bc758f2968ee42159a50bb"},
      {tv4(), 6656, "d8d16b6ee627eb850d46bcf46ff11be04d86efe0616d2faeddda312833897340"},
      {tv5(), 3584, "3e60172342c82a43f2f3603dbe651c0c6fa1da469c48b1b86388c6965c9564ef"},
      {tv6(), 11264, "d5a0bdca08a0e9d0608fc326cf6a64b516448ab57905b89029c0f2908855abf4"},
  };
  kv_cfb_status status;
  for (const Vector& v : vectors) {
    EXPECT_EQ(v.bytes.size(), v.size);
    EXPECT_EQ(sha256_hex(v.bytes), v.sha);
    // A parsed document serializes to the very same bytes.
    auto again = parse(v.bytes, status);
    ASSERT_NE(again, nullptr);
    std::string out;
    ASSERT_TRUE(again->serialize(out));
    EXPECT_EQ(out, v.bytes);
  }
  EXPECT_EQ(cfb_listing_of(tv1()), "");
  EXPECT_EQ(cfb_listing_of(tv3()), "D a\nD a/b\nS a/b/x 12 " + sha256_hex(kIntFive) + "\n");
  // Enumeration is the format's name order.
  auto doc = parse(vectors[4].bytes, status);
  ASSERT_NE(doc, nullptr);
  std::vector<std::u16string> names;
  kv_cfb_enumerator it(doc->root());
  for (kv_cfb_entry e; it.next(e);) names.emplace_back(e.name);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"a", u"B", u"ab", u"AC", u"zeta", u"Empty",
                                                u"media", u"Version"}));
}

// ---- Damaged files.

TEST(CompoundFile, DamagedFilesFailWithTheirCause) {
  using E = kv_cfb_error;
  // A test vector (0: no bytes) with one change: cut at `at` ('r'), a 32-bit
  // ('4'), 16-bit ('2') or byte ('1') value put at `at`, and a second 32-bit
  // value when at2 is not 0.
  const struct {
    const char* name;
    int tv;
    E expected;
    char change;
    std::size_t at;
    uint32_t value;
    std::size_t at2 = 0;
    uint32_t value2 = 0;
  } cases[] = {
      {"C1 truncated mini stream", 2, E::truncated, 'r', 2048, 0},
      {"C2 directory incomplete", 1, E::truncated, 'r', 1535, 0},
      {"C3 directory out of range", 1, E::truncated, 'r', 1024, 0},
      {"C4 directory cycle", 2, E::bad_chain, '4', 0x204, 1},
      {"C5 entry reached twice", 3, E::bad_directory, '4', 0x5C4, 1},
      {"C6 id out of range", 3, E::bad_directory, '4', 0x54C, 7},
      {"C7 larger than the file", 2, E::bad_stream, '4', 0x4F8, 5000},
      {"C8 mini chain too short", 2, E::bad_stream, '4', 0x4F8, 100},
      {"C9 no FAT", 2, E::bad_header, '4', 0x2C, 0},
      {"C10 FAT sector free", 2, E::bad_header, '4', 0x4C, kFree},
      {"C11 name length 66", 2, E::bad_name, '2', 0x4C0, 66},
      {"C12 odd name length", 2, E::bad_name, '2', 0x4C0, 15},
      {"C13 slash in a name", 3, E::bad_name, '2', 0x480, u'/'},
      {"C14 unused entry in the tree", 2, E::bad_directory, '1', 0x4C2, 0},
      {"C15 no root", 2, E::bad_directory, '1', 0x442, 1},
      {"C16 mini chain cycle", 2, E::bad_chain, '4', 0x600, 0},
      {"C17 mini stream too short", 2, E::bad_stream, '4', 0x478, 0x10000},
      {"C18 cycle after the needed sectors", 4, E::bad_chain, '4', 0x22C, 2},
      {"C19 broken chain", 4, E::bad_chain, '4', 0x214, kFree},
      {"C20 start out of range", 4, E::bad_chain, '4', 0x4F4, 0x7FFFFFFF},
      {"C21 no signature", 1, E::not_compound, '1', 0, 0xD1},
      {"C22 4096-byte sectors", 1, E::unsupported, '2', 0x1E, 12},
      {"C23 the root reached again", 2, E::bad_directory, '4', 0x44C, 0},
      {"C24 FAT count beyond the file", 2, E::bad_header, '4', 0x2C, 0x7FFFFFFF},
      {"C25 DIFAT count that the FAT does not need", 2, E::bad_header, '4', 0x48, 1, 0x44, 1},
      {"C26 names a and A", 5, E::duplicate_name, '2', 0x500, u'A'},
      {"C27 stream with a child", 3, E::bad_directory, '4', 0x5CC, 2},
      // Beyond the published list.
      {"empty input", 0, E::not_compound, 'r', 0, 0},
      {"header only", 1, E::bad_header, 'r', 512, 0},
      {"version 4", 1, E::unsupported, '2', 0x1A, 4},
      {"big-endian mark", 1, E::unsupported, '2', 0x1C, 0xFEFF},
      {"cutoff 512", 1, E::unsupported, '4', 0x38, 512},
      {"FAT sector used twice", 2, E::bad_chain, '4', 0x30, 0},
      {"directory empty", 2, E::bad_directory, '4', 0x30, kEoc},
      {"a second root in the tree", 2, E::bad_directory, '1', 0x4C2, 5},
      {"name without units", 2, E::bad_name, '2', 0x4C0, 2},
      {"NUL inside a name", 2, E::bad_name, '2', 0x482, 0},
      {"mini stream chain through the FAT", 2, E::bad_chain, '4', 0x474, 0},
      {"large stream truncated", 4, E::truncated, 'r', 6000, 0},
      {"mini sector beyond the root's size", 2, E::bad_stream, '4', 0x478, 2},
  };
  const std::string vectors[] = {"", tv1(), tv2(), tv3(), tv4(), tv5()};
  for (const auto& c : cases) {
    std::string b = vectors[c.tv];
    if (c.change == 'r') b.resize(c.at);
    if (c.change == '4') set32(b, c.at, c.value);
    if (c.change == '2') set16(b, c.at, static_cast<uint16_t>(c.value));
    if (c.change == '1') b[c.at] = static_cast<char>(c.value);
    if (c.at2 != 0) set32(b, c.at2, c.value2);
    EXPECT_EQ(parse_error(b), c.expected)
        << c.name << ": got " << kv_cfb_error_name(parse_error(b));
  }
}

TEST(CompoundFile, EveryPrefixOfAFileFailsCleanlyOrReadsWhole) {
  // Truncation at every sector boundary and inside the last sector: nothing
  // but the whole file (or one that only loses padding) reads.
  const std::string whole = tv6();
  const std::string expected = cfb_listing_of(whole);
  for (std::size_t size = 0; size < whole.size(); size += 97) {
    const std::string prefix = whole.substr(0, size);
    kv_cfb_status status;
    auto doc = parse(prefix, status);
    if (doc != nullptr) {
      EXPECT_EQ(cfb_listing(*doc), expected) << size;
    } else {
      EXPECT_NE(status.error, kv_cfb_error::none);
    }
  }
}

// ---- Independent readers.

// A hierarchy with what the format has edges for: nesting, an empty storage,
// streams at the cutoff boundaries, names in other scripts and cases, and a
// storage wide enough for a sibling tree of several levels.
unsigned mixed_byte(std::size_t i) {
  return unsigned(i * 7 + 3);
}
const std::string kWidth("\x02\0\0\0\x08\0\0\0\0\0\0\0\0\x40\x6A\x40", 16);

void fill_mixed(kv_cfb_storage root) {
  put(root, u"Version", kVersionBytes);
  kv_cfb_storage media = root.create_storage(u"media");
  put(media, u"width", kWidth);
  put(media, u"\u00C9t\u00E9 \u00DF\u00FF", "accented");
  put(media, u"\u0424\u0430\u0439\u043B", "cyrillic");
  put(media, u"\u4E2D\u6587", "han");
  media.create_storage(u"empty");
  kv_cfb_storage sizes = root.create_storage(u"sizes");
  for (std::size_t n : {0, 1, 63, 64, 65, 4095, 4096, 4097, 9000}) {
    put(sizes, u"s" + kv_utf8_to_u16(std::to_string(n).c_str()), pattern(n, mixed_byte));
  }
  kv_cfb_storage wide = root.create_storage(u"pens");
  for (int i = 0; i < 300; ++i) {
    kv_cfb_storage pen = wide.create_storage(kv_utf8_to_u16(std::to_string(i).c_str()));
    put(pen, u"color", std::string(4, static_cast<char>(i)));
  }
  put(root, u"" + std::u16string(31, u'L'), "longest name");
}

TEST(CompoundFile, WrittenFilesOpenInOlefileWithTheSameContent) {
  KV_REQUIRE_OLEFILE();
  TempDir dir;
  int i = 0;
  for (const std::string& bytes :
       {tv1(), tv2(), tv3(), tv4(), tv5(), tv6(), serialize(fill_mixed)}) {
    const fs::path file = dir.path() / ("doc" + std::to_string(i++) + ".cfb");
    write_file(file, bytes);
    EXPECT_EQ(olefile_listing(file), cfb_listing_of(bytes)) << file;
  }
}

TEST(CompoundFile, WrittenFilesListAndDumpInGsf) {
  KV_REQUIRE_GSF();
  TempDir dir;
  const fs::path file = dir.path() / "mixed.cfb";
  write_file(file, serialize(fill_mixed));
  // Exit 0 and nothing on stderr: gsf warns about what it repairs.
  EXPECT_EQ(gsf_complaints(file), "");
  RunResult list = run_command("gsf list " + shell_quote(file));
  ASSERT_EQ(list.exit_code, 0);
  // One line per element after the heading: kind, size right-aligned in
  // columns 24 to 33, path from 35.
  std::vector<std::string> lines;
  std::istringstream in(list.out.substr(list.out.find('\n') + 1));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  auto has = [&](const std::string& kind, const std::string& size, const std::string& path) {
    const std::string columns = std::string(10 - size.size(), ' ') + size;
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
      return line.size() > 35 && line.compare(0, 1, kind) == 0 &&
             line.compare(24, 10, columns) == 0 && line.substr(35) == path;
    });
  };
  EXPECT_TRUE(has("f", "4", "Version"));
  EXPECT_TRUE(has("d", "0", "media"));
  EXPECT_TRUE(has("f", "0", "media/empty"));  // an empty storage shows as a file
  EXPECT_TRUE(has("f", "8", "media/\xC3\x89t\xC3\xA9 \xC3\x9F\xC3\xBF"));
  EXPECT_TRUE(has("f", "4095", "sizes/s4095"));
  EXPECT_TRUE(has("f", "9000", "sizes/s9000"));
  EXPECT_TRUE(has("f", "4", "pens/299/color"));
  EXPECT_EQ(lines.size(), 1 + 1 + 1 + 4 + 1 + 1 + 9 + 1 + 600 + 1u);
  // The bytes, through gsf cat (raw) and gsf dump (hexadecimal).
  const std::pair<const char*, std::string> streams[] = {{"sizes/s4095", pattern(4095, mixed_byte)},
                                                         {"sizes/s4096", pattern(4096, mixed_byte)},
                                                         {"sizes/s9000", pattern(9000, mixed_byte)},
                                                         {"media/width", kWidth}};
  for (const auto& [name, data] : streams) {
    const RunResult cat = run_command("gsf cat " + shell_quote(file) + " " + name);
    EXPECT_EQ(cat.exit_code, 0);
    EXPECT_EQ(cat.out, data) << name;
  }
  const RunResult dump = run_command("gsf dump " + shell_quote(file) + " media/width");
  EXPECT_EQ(dump.exit_code, 0);
  EXPECT_NE(dump.out.find("02 00 00 00 08 00 00 00"), std::string::npos) << dump.out;
}

TEST(CompoundFile, LargeFilesKeepTheirFatInDifatSectors) {
  // 16,000,000 bytes need 247 FAT sectors: 109 in the header, the rest in two
  // DIFAT sectors, which follow the FAT.
  const std::string big = pattern(16000000, [](std::size_t i) { return unsigned(i * 13 >> 3); });
  const std::string bytes = serialize([&](kv_cfb_storage root) {
    put(root, u"Version", kVersionBytes);
    put(root, u"big", big);
  });
  const uint32_t fat = get32(bytes, 0x2C);
  ASSERT_EQ(fat, 247u);
  ASSERT_EQ(get32(bytes, 0x48), 2u);
  EXPECT_EQ(get32(bytes, 0x44), fat);                       // the first DIFAT sector
  EXPECT_EQ(get32(bytes, (fat + 1) * 512 + 508), fat + 1);  // links to the second
  EXPECT_EQ(get32(bytes, (fat + 2) * 512 + 4 * (fat - 109 - 127)), kFree);  // after the last
  const std::string expected =
      "S Version 4 " + sha256_hex(kVersionBytes) + "\nS big 16000000 " + sha256_hex(big) + "\n";
  EXPECT_EQ(cfb_listing_of(bytes), expected);
  // A DIFAT sector out of range, or one that the file lacks.
  std::string bad = bytes;
  set32(bad, 0x44, 0x00FFFFFF);
  EXPECT_EQ(parse_error(bad), kv_cfb_error::bad_header);
  bad = bytes;
  set32(bad, (fat + 1) * 512 + 508, fat);  // the first DIFAT sector again
  EXPECT_EQ(parse_error(bad), kv_cfb_error::bad_header);
  EXPECT_EQ(parse_error(bytes.substr(0, (fat + 2) * 512 + 100)), kv_cfb_error::truncated);
  if (have_olefile()) {
    TempDir dir;
    write_file(dir.path() / "big.cfb", bytes);
    EXPECT_EQ(olefile_listing(dir.path() / "big.cfb"), expected);
  }
}

// ---- Files of other writers.

// The second writer's element list (JSON in UTF-8; our names need no escapes).
struct LayoutItem {
  std::vector<std::u16string> path;
  bool storage;
  std::string data;
};

std::string layout_json(const std::vector<LayoutItem>& items) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "[";
  for (const LayoutItem& item : items) {
    out += out.size() > 1 ? ",\n{\"path\": [" : "{\"path\": [";
    for (std::size_t i = 0; i < item.path.size(); ++i) {
      out += (i ? ", \"" : "\"") + kv_u16_to_utf8(item.path[i].c_str()) + "\"";
    }
    out += item.storage ? "], \"storage\": true}" : "], \"hex\": \"";
    if (item.storage) continue;
    for (unsigned char c : item.data) {
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
    out += "\"}";
  }
  return out + "]\n";
}

std::string layout_listing(const std::vector<LayoutItem>& items) {
  std::vector<std::string> lines;
  for (const LayoutItem& item : items) {
    std::string path;
    for (const std::u16string& name : item.path) {
      path += (path.empty() ? "" : "/") + kv_u16_to_utf8(name.c_str());
    }
    lines.push_back(item.storage ? "D " + path
                                 : "S " + path + " " + std::to_string(item.data.size()) + " " +
                                       sha256_hex(item.data));
  }
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

std::vector<LayoutItem> second_writer_items() {
  std::vector<LayoutItem> items = {
      {{u"Version"}, false, kVersionBytes},
      {{u"media"}, true, ""},
      {{u"media", u"width"}, false, kWidth},
      {{u"media", u"\u00DCn\u00EFcode \u00DF"}, true, ""},
      {{u"media", u"\u00DCn\u00EFcode \u00DF", u"x"}, false, "\x01"},
      {{u"empty"}, true, ""},
      {{u"zero"}, false, ""},
      {{u"large"}, false, pattern(9000, [](std::size_t i) { return unsigned(i * 7); })},
      {{u"boundary"}, false, pattern(4096, [](std::size_t i) { return unsigned(i + 1); })},
      {{u"mini"}, false, pattern(4095, [](std::size_t i) { return unsigned(i ^ 0x5A); })},
      {{u"pens"}, true, ""},
  };
  for (int i = 0; i < 40; ++i) {
    const std::u16string n = kv_utf8_to_u16(std::to_string(i).c_str());
    items.push_back({{u"pens", n}, true, ""});
    items.push_back({{u"pens", n, u"color"}, false, std::string(1 + i % 70, char('A' + i % 26))});
  }
  return items;
}

TEST(CompoundFile, ReadsTheSecondWritersLayouts) {
  KV_REQUIRE_OLEFILE();  // the script runs on the same interpreter
  TempDir dir;
  const std::vector<LayoutItem> items = second_writer_items();
  const std::string expected = layout_listing(items);
  const fs::path layout = dir.path() / "layout.json";
  write_file(layout, layout_json(items));
  for (int seed = 1; seed <= 4; ++seed) {
    const fs::path file = dir.path() / ("second" + std::to_string(seed) + ".cfb");
    const RunResult r = run_command(
        "/usr/bin/python3 " +
        shell_quote(source_dir() + "/platform/testdata/cfb_second_writer.py") + " " +
        shell_quote(layout) + " " + shell_quote(file) + " " + std::to_string(seed) + " 2>&1");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    // The script's file is sound for olefile, and reads the same here.
    EXPECT_EQ(olefile_listing(file), expected) << seed;
    EXPECT_EQ(cfb_listing_of(read_file(file)), expected) << seed;
  }
}

TEST(CompoundFile, ReadsFilesThatGsfCreates) {
  KV_REQUIRE_GSF();
  TempDir dir;
  // gsf createole takes a folder tree: it writes degenerate all-black sibling
  // chains, zeroed unused entries and the FAT at the end of the file.
  const fs::path tree = dir.path() / "tree";
  fs::create_directories(tree / "media" / "trays");
  write_file(tree / "Version", kVersionBytes);
  write_file(tree / "media" / "width", "210 mm");
  const std::string big = pattern(6000, [](std::size_t i) { return unsigned(i % 13); });
  write_file(tree / "media" / "trays" / "big", big);
  for (int i = 0; i < 30; ++i) write_file(tree / "media" / ("p" + std::to_string(i)), "x");
  const fs::path file = dir.path() / "gsf.ole";
  const RunResult r = run_command("cd " + shell_quote(tree) + " && gsf createole " +
                                  shell_quote(file) + " Version media 2>&1");
  ASSERT_EQ(r.exit_code, 0) << r.out;
  const std::string got = cfb_listing_of(read_file(file));
  EXPECT_NE(got.find("D media/trays\n"), std::string::npos) << got;
  EXPECT_NE(got.find("S media/trays/big 6000 " + sha256_hex(big)), std::string::npos) << got;
  EXPECT_NE(got.find("S media/width 6 " + sha256_hex("210 mm")), std::string::npos);
  EXPECT_NE(got.find("S media/p29 1 "), std::string::npos);
  if (have_olefile()) {
    EXPECT_EQ(olefile_listing(file), got);
  }
}

// ---- Names, order and editing.

TEST(CompoundFile, NamesOrderAndUpperCase) {
  // The division sign has no case, sharp s's upper case is two letters (kept),
  // FF41 is the table's last pair, and a surrogate stays.
  const char16_t upper[][2] = {
      {u'a', u'A'},           {u'Z', u'Z'},           {u'{', u'{'},
      {u'\u00E9', u'\u00C9'}, {u'\u00F7', u'\u00F7'}, {u'\u00FF', u'\u0178'},
      {u'\u00B5', u'\u039C'}, {u'\u00DF', u'\u00DF'}, {u'\u0444', u'\u0424'},
      {u'\uFF41', u'\uFF21'}, {0xD801, 0xD801}};
  for (const auto& pair : upper) EXPECT_EQ(kv_cfb_upper(pair[0]), pair[1]) << unsigned(pair[0]);

  EXPECT_LT(kv_cfb_compare_names(u"zz", u"aaa"), 0);  // length first
  EXPECT_LT(kv_cfb_compare_names(u"B", u"ab"), 0);
  EXPECT_LT(kv_cfb_compare_names(u"ab", u"AC"), 0);
  EXPECT_EQ(kv_cfb_compare_names(u"Version", u"VERSION"), 0);
  EXPECT_GT(kv_cfb_compare_names(u"_", u"a"), 0);  // "_" (5F) after "A" (41)

  EXPECT_TRUE(kv_cfb_valid_name(std::u16string(31, u'x')));
  EXPECT_FALSE(kv_cfb_valid_name(std::u16string(32, u'x')));
  EXPECT_FALSE(kv_cfb_valid_name(u""));
  for (char16_t bad : {u'/', u'\\', u':', u'!', u'\0'}) {
    EXPECT_FALSE(kv_cfb_valid_name(std::u16string(u"a") + bad + u"b"));
  }
  EXPECT_TRUE(kv_cfb_valid_name(std::u16string(1, char16_t{0xD800}) + u" unpaired"));

  auto doc = kv_compound_file::create_in_memory();
  EXPECT_FALSE(doc->root().create_stream(u"a/b").valid());
  EXPECT_EQ(doc->status().error, kv_cfb_error::bad_name);
  EXPECT_FALSE(doc->root().create_storage(std::u16string(32, u'x')).valid());
}

TEST(CompoundFile, CreateReplacesAnEqualNameWithItsSubtree) {
  auto doc = kv_compound_file::create_in_memory();
  kv_cfb_storage root = doc->root();
  kv_cfb_storage media = root.create_storage(u"media");
  put(media, u"width", "210");
  put(root, u"Version", "v1");
  // Another spelling of the same name replaces the element and keeps the new
  // spelling; a stream may replace a storage and the other way round.
  put(root, u"VERSION", "v2");
  kv_cfb_stream replaced = media.create_stream(u"width");
  EXPECT_EQ(root.create_stream(u"MEDIA").size(), 0u);
  EXPECT_FALSE(root.open_storage(u"media").valid());
  EXPECT_EQ(doc->status().error, kv_cfb_error::not_found);
  EXPECT_TRUE(root.open_stream(u"Media").valid());
  // Handles into the replaced sub-tree still work, on a detached copy.
  EXPECT_TRUE(replaced.write("x", 1));
  EXPECT_TRUE(media.create_stream(u"more").valid());
  root.create_storage(u"Version");
  EXPECT_FALSE(root.open_stream(u"version").valid());
  EXPECT_TRUE(root.open_storage(u"version").valid());
  EXPECT_EQ(root.child_count(), 2u);

  std::string bytes;
  ASSERT_TRUE(doc->serialize(bytes));
  EXPECT_EQ(cfb_listing_of(bytes), "D Version\nS MEDIA 0 " + sha256_hex("") + "\n");

  // Wide storages look names up through an index; replacing works there too.
  kv_cfb_storage wide = root.create_storage(u"wide");
  for (int i = 0; i < 100; ++i) put(wide, kv_utf8_to_u16(("n" + std::to_string(i)).c_str()), "1");
  put(wide, u"N7", "22");
  EXPECT_EQ(wide.child_count(), 100u);
  EXPECT_EQ(wide.open_stream(u"n7").size(), 2u);
  EXPECT_FALSE(wide.open_stream(u"n100").valid());
}

TEST(CompoundFile, StreamsReadWriteAndSeek) {
  auto doc = kv_compound_file::create_in_memory();
  kv_cfb_stream s = doc->root().create_stream(u"s");
  ASSERT_TRUE(s.write("hello", 5));
  s.seek(8);
  ASSERT_TRUE(s.write("!", 1));  // a gap of zero bytes
  EXPECT_EQ(s.size(), 9u);
  s.seek(1);
  char buffer[16] = {};
  EXPECT_EQ(s.read(buffer, sizeof(buffer)), 8u);
  EXPECT_EQ(std::string(buffer, 8), std::string("ello\0\0\0!", 8));
  EXPECT_EQ(s.read(buffer, 1), 0u);
  // The size limit is checked before anything is allocated.
  s.seek(kCfbMaxFileSize);
  EXPECT_FALSE(s.write("x", 1));
  EXPECT_EQ(doc->status().error, kv_cfb_error::too_large);
  EXPECT_EQ(s.size(), 9u);

  // A stream of an opened document is read from the file's bytes and copied
  // on its first write.
  std::string bytes;
  ASSERT_TRUE(doc->serialize(bytes));
  kv_cfb_status status;
  auto opened = parse(bytes, status);
  ASSERT_NE(opened, nullptr);
  kv_cfb_stream t = opened->root().open_stream(u"S");
  t.seek(4);
  ASSERT_TRUE(t.write("O", 1));
  t.seek(0);
  EXPECT_EQ(t.read(buffer, sizeof(buffer)), 9u);
  EXPECT_EQ(std::string(buffer, 5), "hellO");
}

// ---- Files and locks.

TEST(CompoundFile, CreateWritesAtCommitAndClose) {
  TempDir dir;
  const std::u16string path = dir.file("new.cfb");
  write_file(dir.path() / "new.cfb", std::string(5000, 'z'));  // replaced
  kv_cfb_status status;
  auto doc = kv_compound_file::create(path.c_str(), status);
  ASSERT_NE(doc, nullptr) << kv_cfb_error_name(status.error);
  EXPECT_EQ(fs::file_size(dir.path() / "new.cfb"), 0u);  // truncated at once
  put(doc->root(), u"Version", kVersionBytes);
  ASSERT_TRUE(doc->commit());
  EXPECT_EQ(read_file(dir.path() / "new.cfb"), tv2());
  put(doc->root().create_storage(u"a").create_storage(u"b"), u"x", kIntFive);
  doc->root().create_stream(u"Version");
  doc.reset();  // the destructor writes what changed
  const std::string written = read_file(dir.path() / "new.cfb");
  EXPECT_EQ(cfb_listing_of(written), "D a\nD a/b\nS Version 0 " + sha256_hex("") + "\nS a/b/x 12 " +
                                         sha256_hex(kIntFive) + "\n");

  // Opening: a text file and a short file are not compound files.
  write_file(dir.path() / "text", "PIAFILEVERSION_2.0,\r\n");
  EXPECT_FALSE(kv_compound_file::is_compound_file(dir.file("text").c_str()));
  write_file(dir.path() / "short", tv1().substr(0, 511));
  EXPECT_FALSE(kv_compound_file::is_compound_file(dir.file("short").c_str()));
  EXPECT_FALSE(kv_compound_file::is_compound_file(dir.file("missing").c_str()));
  EXPECT_TRUE(kv_compound_file::is_compound_file(path.c_str()));
  EXPECT_EQ(kv_compound_file::open(dir.file("missing").c_str(), status), nullptr);
  EXPECT_EQ(status.error, kv_cfb_error::io);
  EXPECT_EQ(status.os_error, ENOENT);
  EXPECT_EQ(kv_compound_file::create(dir.file("no/such/folder").c_str(), status), nullptr);
  EXPECT_EQ(status.error, kv_cfb_error::io);
  EXPECT_EQ(kv_compound_file::open(dir.file("short").c_str(), status), nullptr);
  EXPECT_EQ(status.error, kv_cfb_error::not_compound);

  // An opened document is never written back.
  auto opened = kv_compound_file::open(path.c_str(), status);
  ASSERT_NE(opened, nullptr);
  put(opened->root(), u"extra", "not saved");
  EXPECT_TRUE(opened->close());
  EXPECT_EQ(read_file(dir.path() / "new.cfb"), written);
}

TEST(CompoundFile, AnOpenDocumentLocksItsFileAgainstOtherOpens) {
  TempDir dir;
  const std::u16string path = dir.file("locked.cfb");
  write_file(dir.path() / "locked.cfb", tv2());
  kv_cfb_status status;
  auto first = kv_compound_file::open(path.c_str(), status);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(kv_compound_file::open(path.c_str(), status), nullptr);
  EXPECT_EQ(status.error, kv_cfb_error::locked);
  // Creating over a held file fails and leaves it as it was.
  EXPECT_EQ(kv_compound_file::create(path.c_str(), status), nullptr);
  EXPECT_EQ(status.error, kv_cfb_error::locked);
  EXPECT_EQ(read_file(dir.path() / "locked.cfb"), tv2());
  // Another process is kept out as well.
  const std::string native = (dir.path() / "locked.cfb").string();
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    kv_cfb_status s;
    const std::u16string p = kv_utf8_to_u16(native.c_str());
    auto doc = kv_compound_file::open(p.c_str(), s);
    ::_exit(doc == nullptr && s.error == kv_cfb_error::locked ? 0 : 1);
  }
  int wait_status = 0;
  ASSERT_EQ(::waitpid(child, &wait_status, 0), child);
  EXPECT_TRUE(WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0);
  first.reset();
  EXPECT_NE(kv_compound_file::open(path.c_str(), status), nullptr);

  auto created = kv_compound_file::create(path.c_str(), status);
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(kv_compound_file::open(path.c_str(), status), nullptr);
  EXPECT_EQ(status.error, kv_cfb_error::locked);
  EXPECT_TRUE(created->close());
  EXPECT_NE(kv_compound_file::open(path.c_str(), status), nullptr);
}

// ---- Scale.

TEST(CompoundFile, WideDeepAndDegenerateHierarchiesStayFast) {
  // 40,000 streams in one storage, and storages nested 20,000 deep: any
  // work quadratic in the children or recursive in the depth shows here.
  auto doc = kv_compound_file::create_in_memory();
  kv_cfb_storage wide = doc->root().create_storage(u"wide");
  for (int i = 0; i < 40000; ++i) {
    kv_cfb_stream s = wide.create_stream(kv_utf8_to_u16(std::to_string(i * 7919 % 40000).c_str()));
    ASSERT_TRUE(s.write("v", 1));
  }
  kv_cfb_storage deep = doc->root().create_storage(u"deep");
  for (int i = 0; i < 20000; ++i) deep = deep.create_storage(u"d");
  put(deep, u"bottom", "end");
  std::string bytes;
  ASSERT_TRUE(doc->serialize(bytes));
  kv_cfb_status status;
  auto back = parse(bytes, status);
  ASSERT_NE(back, nullptr) << kv_cfb_error_name(status.error);
  EXPECT_EQ(back->root().open_storage(u"wide").child_count(), 40000u);
  kv_cfb_storage s = back->root().open_storage(u"deep");
  for (int i = 0; i < 20000; ++i) s = s.open_storage(u"D");
  EXPECT_EQ(s.open_stream(u"bottom").size(), 3u);

  // 40,000 root streams as one degenerate sibling chain, as some writers
  // link them: through the right pointers in ascending order, or through the
  // left pointers in descending order.
  auto flat = kv_compound_file::create_in_memory();
  for (int i = 0; i < 40000; ++i) put(flat->root(), kv_utf8_to_u16(std::to_string(i).c_str()), "");
  std::string chain;
  ASSERT_TRUE(flat->serialize(chain));
  const std::size_t dir = (get32(chain, 0x30) + 1) * 512;  // the directory is contiguous
  for (bool right : {true, false}) {
    set32(chain, dir + 0x4C, right ? 1 : 40000);
    for (uint32_t k = 1; k <= 40000; ++k) {
      const std::size_t e = dir + 128 * std::size_t{k};
      set32(chain, e + 0x44, !right && k > 1 ? k - 1 : kFree);
      set32(chain, e + 0x48, right && k < 40000 ? k + 1 : kFree);
      chain[e + 0x43] = 1;
    }
    auto linked = parse(chain, status);
    ASSERT_NE(linked, nullptr) << kv_cfb_error_name(status.error);
    EXPECT_EQ(linked->root().child_count(), 40000u);
    EXPECT_TRUE(linked->root().open_stream(u"39999").valid());
  }
}

}  // namespace
