// Copyright the kvstore authors.
//
// The DOC format through KV_Object's file operations: the layout byte for
// byte (against the compound-file test vectors and olefile), every value type
// and its limits, the edge cases of loading, damaged and hostile documents,
// and documents written by other writers.
#include "formats/kv_doc_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "kvstore/kv_exceptions.h"
#include "kvstore/kv_iterator.h"
#include "kvstore/kv_object.h"
#include "kvstore/kv_platform.h"
#include "platform/codepage.h"
#include "platform/compound_file.h"
#include "testutil/cfb_tools.h"
#include "testutil/recording_handler.h"
#include "testutil/sha256.h"
#include "testutil/temp_dir.h"
#include "testutil/tree_values.h"
#include "tree/kv_property.h"

namespace {

namespace fs = std::filesystem;

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

// A property stream: type, count, data.
std::string prop_stream(uint32_t type, const std::string& data, int count = -1) {
  const uint32_t n = count < 0 ? static_cast<uint32_t>(data.size()) : static_cast<uint32_t>(count);
  std::string s(8, '\0');
  std::memcpy(&s[0], &type, 4);
  std::memcpy(&s[4], &n, 4);
  return s + data;
}

const std::string kVersion = bytes({0x00, 0x00, 0x80, 0x3F});

// Every property of the sub-tree at path as "path type hex", in walk order.
std::string dump(const KV_Object& kv, const char16_t* start = u"\\") {
  std::unique_ptr<KV_Iterator> it(kv.newIterator(start, 0));
  if (it == nullptr) return "<no iterator>";
  std::string out;
  std::vector<std::string> path;
  auto props = [&]() {
    char* data = nullptr;
    std::size_t size = 0;
    PropType type;
    while (const char16_t* name = it->nextProp(data, size, type)) {
      std::string line;
      for (const std::string& p : path) line += "\\" + p;
      line += "\\" + kv_u16_to_utf8(name) + " " + std::to_string(it->currentProp()->m_type) + " ";
      const KV_Property* prop = it->currentProp();
      static constexpr char kHex[] = "0123456789ABCDEF";
      for (std::size_t i = 0; i < prop->size(); ++i) {
        line.push_back(kHex[prop->data()[i] >> 4]);
        line.push_back(kHex[prop->data()[i] & 15]);
      }
      out += line + "\n";
    }
    if (data != nullptr && size != 0) KV_Mem_Obj::operator delete(data);
  };
  props();
  KV_Object::NodeType move;
  while (const char16_t* name = it->nextNode(move)) {
    if (move == KV_Object::NODE_UP) {
      if (!path.empty()) path.pop_back();
      continue;
    }
    if (move == KV_Object::NODE_NEXT && !path.empty()) path.pop_back();
    path.push_back(kv_u16_to_utf8(name));
    props();
  }
  return out;
}

// The id, class and source of what f throws; the argument is checked when
// given.
struct Thrown {
  unsigned id = 0;
  int severity = 0;
  std::u16string source;
  std::u16string argument;
  bool operator==(const Thrown& o) const {
    return id == o.id && severity == o.severity && source == o.source && argument == o.argument;
  }
};

std::ostream& operator<<(std::ostream& os, const Thrown& t) {
  return os << "id " << t.id << " severity " << t.severity << " source "
            << kv_u16_to_utf8(t.source.c_str()) << " argument "
            << kv_u16_to_utf8(t.argument.c_str());
}

template <typename F>
Thrown thrown(F&& f) {
  try {
    f();
  } catch (const GX_Exception& e) {
    return {e.id(), e.severity(), e.source() ? e.source() : u"",
            e.argument() ? e.argument() : u"<null>"};
  }
  return {};
}

class DocFormat : public ::testing::Test {
 protected:
  std::u16string file(const std::string& name) const { return m_dir.file(name); }
  fs::path native(const std::string& name) const { return m_dir.path() / name; }

  // Saves kv from path as DOC and checks the file with the independent
  // readers: olefile lists it as our reader does, gsf lists it silently.
  std::string save(const KV_Object& kv, const std::string& name, const char16_t* path = u"\\") {
    kv.save(file(name).c_str(), KV_Object::FT_DOC, u"", path);
    const std::string written = read_file(native(name));
    if (have_olefile()) {
      EXPECT_EQ(olefile_listing(native(name)), cfb_listing_of(written)) << name;
    }
    if (have_gsf()) {
      EXPECT_EQ(gsf_complaints(native(name)), "") << name;
    }
    return written;
  }

  // Writes a document of our own making: fill gets its root storage.
  void write_doc(const std::string& name, const std::function<void(kv_cfb_storage)>& fill) {
    kv_cfb_status status;
    auto doc = kv_compound_file::create(file(name).c_str(), status);
    ASSERT_NE(doc, nullptr);
    fill(doc->root());
    ASSERT_TRUE(doc->close());
  }

  static void put(kv_cfb_storage storage, const std::u16string& name, const std::string& data) {
    kv_cfb_stream s = storage.create_stream(name);
    ASSERT_TRUE(s.valid());
    ASSERT_TRUE(s.write(data.data(), data.size()));
  }

  TempDir m_dir;
};

// ---- The layout.

TEST_F(DocFormat, AnEmptyTreeIsTheVersionStreamAlone) {
  KV_Object kv;
  const std::string written = save(kv, "empty.doc");
  // The compound-file test vector of a root holding "Version" = 00 00 80 3F.
  EXPECT_EQ(sha256_hex(written),
            "ca55a3bb52fded021676dcf7a5e6b9d3da3106e690e36f0d873c288274c97884");
  KV_Object loaded;
  loaded.load(file("empty.doc").c_str(), KV_Object::FT_DOC, u"\\");
  EXPECT_EQ(dump(loaded), "");
  char16_t version[32];
  loaded.getFileVersion(file("empty.doc").c_str(), version, 32, KV_Object::FT_DOC);
  EXPECT_EQ(std::u16string(version), u"1.000000");
}

TEST_F(DocFormat, EachNodeIsAStorageAndEachPropertyAStream) {
  KV_Object kv;
  kv.SetProperty(u"\\a\\b\\x", 5);
  kv.SetProperty(u"\\s", u"abc");
  const std::string written = save(kv, "tree.doc");
  EXPECT_EQ(cfb_listing_of(written),
            "D a\nD a/b\nS Version 4 " + sha256_hex(kVersion) + "\nS a/b/x 12 " +
                sha256_hex(bytes({1, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0})) + "\nS s 11 " +
                sha256_hex(bytes({3, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c'})) + "\n");
  // Loaded below another node.
  KV_Object copy;
  copy.SetProperty(u"\\copy\\kept", 1);
  copy.load(file("tree.doc").c_str(), KV_Object::FT_DOC, u"\\copy");
  EXPECT_EQ(get<int>(copy, u"\\copy\\a\\b\\x"), 5);
  EXPECT_EQ(get_text(copy, u"\\copy\\s"), u"abc");
  EXPECT_EQ(copy.getPropertySize(u"\\copy\\s"), 8u);  // wide, with its terminator
  EXPECT_EQ(get<int>(copy, u"\\copy\\kept"), 1);
  // Saving a sub-tree makes its node the root storage; gsf agrees on the bytes.
  save(kv, "sub.doc", u"\\a");
  KV_Object sub;
  sub.load(file("sub.doc").c_str(), KV_Object::FT_DOC, u"");
  EXPECT_EQ(dump(sub), "\\b\\x 1 05000000\n");
  if (have_gsf()) {
    const RunResult cat = run_command("gsf cat " + shell_quote(native("tree.doc")) + " s");
    EXPECT_EQ(cat.out, bytes({3, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c'}));
  }
}

TEST_F(DocFormat, EveryValueTypeComesBackExactly) {
  KV_Object kv;
  kv.SetProperty(u"\\int\\min", std::numeric_limits<int>::min());
  kv.SetProperty(u"\\int\\max", std::numeric_limits<int>::max());
  kv.SetProperty(u"\\double\\negative zero", -0.0);
  kv.SetProperty(u"\\double\\tiny", 4.9e-324);
  kv.SetProperty(u"\\double\\infinity", std::numeric_limits<double>::infinity());
  const uint64_t nan_bits = 0x7FF8000000000123;
  double nan;
  std::memcpy(&nan, &nan_bits, 8);
  kv.SetProperty(u"\\double\\nan", nan);
  kv.SetProperty(u"\\bool\\yes", true);
  kv.SetProperty(u"\\bool\\no", false);
  kv.SetProperty(u"\\string\\empty", u"");
  kv.SetProperty(u"\\string\\latin", u"Gr\u00FC\u00DFe \u20AC");
  kv.SetProperty(u"\\string\\longest", std::u16string(511, u'x').c_str());
  const std::string raw = bytes({0, 1, 0xFF, 0x80});
  kv.setVoidProperty(u"\\raw\\four", raw.data(), 4);
  const std::string full(1024, '\x5A');
  kv.setVoidProperty(u"\\raw\\full", full.data(), 1024);
  save(kv, "types.doc");
  KV_Object loaded;
  loaded.load(file("types.doc").c_str(), KV_Object::FT_DOC, u"\\");
  // Names come back in the document's order (shorter names first), so the
  // dumps are compared line by line as sets.
  auto lines = [](const std::string& text) {
    std::vector<std::string> v;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) v.push_back(line);
    std::sort(v.begin(), v.end());
    return v;
  };
  EXPECT_EQ(lines(dump(loaded)), lines(dump(kv)));
  // The euro sign is byte 80 in the default code page.
  kv_cfb_status status;
  auto doc = kv_compound_file::open(file("types.doc").c_str(), status);
  ASSERT_NE(doc, nullptr);
  kv_cfb_stream latin = doc->root().open_storage(u"string").open_stream(u"latin");
  std::string data(static_cast<std::size_t>(latin.size()), '\0');
  latin.read(data.data(), data.size());
  EXPECT_EQ(data, prop_stream(3,
                              "Gr\xFC\xDF"
                              "e \x80"));
}

TEST_F(DocFormat, ValuesBeyond1024BytesAreRefusedOnSaving) {
  // 1025 raw bytes; 512 characters and the terminator (1026 bytes stored);
  // 400 euro signs, which fit the store but take 1200 bytes in UTF-8.
  const struct {
    const char16_t* name;
    std::u16string text;  // empty: the raw bytes
    unsigned codepage;
    const char16_t* source;  // nullptr: the id alone is checked
  } cases[] = {{u"big", u"", 1252, u"KV_Property::GetData()"},
               {u"text", std::u16string(512, u'x'), 1252, nullptr},
               {u"euro", std::u16string(400, u'\u20AC'), 65001, u"KV_DOCFile::save()"}};
  for (const auto& c : cases) {
    KV_Object kv;
    const std::u16string path = u"\\" + std::u16string(c.name);
    const std::string raw(1025, 'r');
    if (c.text.empty()) {
      kv.setVoidProperty(path.c_str(), raw.data(), raw.size());
    } else {
      kv.SetProperty(path.c_str(), c.text.c_str());
    }
    ASSERT_TRUE(kv_set_ansi_codepage(c.codepage));
    const Thrown t =
        thrown([&] { kv.save(file("big.doc").c_str(), KV_Object::FT_DOC, u"", u"\\"); });
    kv_set_ansi_codepage(1252);
    EXPECT_EQ(t.id, 58u) << narrow(path);
    if (c.source != nullptr) {
      EXPECT_EQ(t, (Thrown{58, 1, c.source, c.name}));
    }
  }
  // The format writes in place: what was written before the failure stays in
  // the document, the Version stream, the property written first and the
  // type of the refused one. (A save through KV_Object writes beside the file
  // and leaves no document at all: the name stays as it was.)
  KV_Object kv;
  kv.SetProperty(u"\\a", 1);
  const std::string raw(2000, 'r');
  kv.setVoidProperty(u"\\b", raw.data(), 2000);
  EXPECT_EQ(thrown([&] { kv.save(file("partial.doc").c_str(), KV_Object::FT_DOC, u"", u"\\"); }).id,
            58u);
  EXPECT_FALSE(std::filesystem::exists(native("partial.doc")));
  EXPECT_EQ(thrown([&] {
              KV_DOCFile doc(nullptr);
              doc.open(file("partial.doc").c_str(), 1);
              doc.save(&kv, u"\\", KV_Object::FT_DOC, u"");
            }).id,
            58u);
  EXPECT_EQ(cfb_listing_of(read_file(native("partial.doc"))),
            "S Version 4 " + sha256_hex(kVersion) + "\nS a 12 " +
                sha256_hex(prop_stream(1, bytes({1, 0, 0, 0}))) + "\nS b 4 " +
                sha256_hex(bytes({5, 0, 0, 0})) + "\n");
}

TEST_F(DocFormat, UnmappableCharactersBecomeTheReplacementCharacter) {
  KV_Object kv;
  kv.SetProperty(u"\\t", u"a\u4E2Db");
  save(kv, "unmappable.doc");
  KV_Object loaded;
  loaded.load(file("unmappable.doc").c_str(), KV_Object::FT_DOC, u"\\");
  EXPECT_EQ(get_text(loaded, u"\\t"), u"a?b");
}

TEST_F(DocFormat, VersionIsSkippedAtEveryLevelAndNamesMeetAsTheDocumentComparesThem) {
  KV_Object kv;
  kv.SetProperty(u"\\n\\Version", 7);
  kv.SetProperty(u"\\n\\VERSION\\deep", 8);  // a node named like it, replaced by it
  kv.SetProperty(u"\\n\\kept", 9);
  kv.SetProperty(u"\\p\\item", 1);
  kv.SetProperty(u"\\p\\ITEM", 2);  // the same element: the later one stays
  kv.SetProperty(u"\\q", 3);
  kv.SetProperty(u"\\Q\\x", 4);  // a child node replaces its parent's property
  const std::string written = save(kv, "names.doc");
  EXPECT_NE(cfb_listing_of(written).find("D n/VERSION\n"), std::string::npos);
  KV_Object loaded;
  loaded.load(file("names.doc").c_str(), KV_Object::FT_DOC, u"\\");
  EXPECT_EQ(dump(loaded), "\\n\\kept 1 09000000\n\\p\\ITEM 1 02000000\n\\Q\\x 1 04000000\n");

  // At the top, "Version" is written after the version stream and replaces
  // it: a property leaves its type word as the float (1.4e-45), a node
  // leaves no version stream at all.
  KV_Object top;
  top.SetProperty(u"\\version", 1);
  save(top, "top.doc");
  char16_t version[16];
  top.getFileVersion(file("top.doc").c_str(), version, KV_Object::FT_DOC);
  EXPECT_EQ(std::u16string(version), u"0.000000");
  KV_Object node;
  node.SetProperty(u"\\VERSION\\x", 1);
  save(node, "node.doc");
  EXPECT_EQ(thrown([&] { node.load(file("node.doc").c_str(), KV_Object::FT_DOC, u"\\"); }),
            (Thrown{66, 4, u"KV_DOCFile::getVersion()", file("node.doc")}));
}

TEST_F(DocFormat, NamesTheDocumentCannotHoldFailTheSaveAndKeepWhatCameBefore) {
  for (const char16_t* bad :
       {u"\\a\\b/c", u"\\a\\x:y", u"\\a\\wow!", u"\\a\\this name is longer than 31 units"}) {
    KV_Object kv;
    kv.SetProperty(u"\\a\\first", 1);
    kv.SetProperty(bad, 2);
    const std::string name = "bad.doc";
    std::filesystem::remove(native(name));
    EXPECT_EQ(thrown([&] { kv.save(file(name).c_str(), KV_Object::FT_DOC, u"", u"\\"); }),
              (Thrown{60, 4, u"KV_DOCFile::save()", file(name)}));
    EXPECT_FALSE(std::filesystem::exists(native(name)));  // written beside, then removed
    // The format itself keeps what came before the bad name.
    EXPECT_EQ(thrown([&] {
                KV_DOCFile doc(nullptr);
                doc.open(file(name).c_str(), 1);
                doc.save(&kv, u"\\", KV_Object::FT_DOC, u"");
              }),
              (Thrown{60, 4, u"KV_DOCFile::save()", file(name)}));
    EXPECT_EQ(cfb_listing_of(read_file(native(name))),
              "D a\nS Version 4 " + sha256_hex(kVersion) + "\nS a/first 12 " +
                  sha256_hex(prop_stream(1, bytes({1, 0, 0, 0}))) + "\n");
  }
  // A node name can be as bad.
  KV_Object kv;
  kv.SetProperty(u"\\a:b\\x", 1);
  EXPECT_EQ(thrown([&] { kv.save(file("node.doc").c_str(), KV_Object::FT_DOC, u"", u"\\"); }).id,
            60u);
}

TEST_F(DocFormat, SaveStartsWhereThePathPoints) {
  KV_Object kv;
  kv.SetProperty(u"\\a\\x", 1);
  kv.SetProperty(u"\\other", 2);
  // A path of known names without a node: an empty document.
  save(kv, "missing.doc", u"\\a\\other");
  EXPECT_EQ(sha256_hex(read_file(native("missing.doc"))),
            "ca55a3bb52fded021676dcf7a5e6b9d3da3106e690e36f0d873c288274c97884");
  // A name the tree does not hold: no iterator.
  EXPECT_EQ(thrown([&] { kv.save(file("none.doc").c_str(), KV_Object::FT_DOC, u"", u"\\zz"); }),
            (Thrown{55, 4, u"KV_DOCFile::save()", u"piter"}));
}

// ---- Opening and versions.

TEST_F(DocFormat, FilesThatAreNoDocumentFailToOpenWith56) {
  write_file(native("text.pia"), "PIAFILEVERSION_2.0,\r\nx=1\n");
  {
    KV_Object kv;
    save(kv, "good.doc");
    std::string damaged = read_file(native("good.doc"));
    damaged[0x204] = 1;  // the directory chain loops
    write_file(native("loop.doc"), damaged);
  }
  fs::create_directory(native("folder"));
  for (const std::string name : {"missing.doc", "text.pia", "loop.doc", "folder"}) {
    KV_Object kv;
    const std::u16string path = file(name);
    EXPECT_EQ(thrown([&] { kv.load(path.c_str(), KV_Object::FT_DOC, u"\\"); }),
              (Thrown{56, 4, u"KV_DOCFile::open()", path}))
        << name;
    char16_t version[16];
    EXPECT_EQ(thrown([&] { kv.getFileVersion(path.c_str(), version, KV_Object::FT_DOC); }).id, 56u);
  }
  KV_Object kv;
  const std::u16string nowhere = file("no/such/folder.doc");
  EXPECT_EQ(thrown([&] { kv.save(nowhere.c_str(), KV_Object::FT_DOC, u"", u"\\"); }),
            (Thrown{56, 4, u"KV_DOCFile::open()", nowhere}));
}

TEST_F(DocFormat, ADocumentInUseCannotBeOpenedAgain) {
  KV_Object kv;
  kv.SetProperty(u"\\x", 1);
  save(kv, "held.doc");
  KV_DOCFile holder(nullptr);
  holder.open(file("held.doc").c_str(), 0);
  KV_Object other;
  EXPECT_EQ(thrown([&] { other.load(file("held.doc").c_str(), KV_Object::FT_DOC, u"\\"); }).id,
            56u);
  EXPECT_EQ(thrown([&] { kv.save(file("held.doc").c_str(), KV_Object::FT_DOC, u"", u"\\"); }).id,
            56u);
  holder.close();
  other.load(file("held.doc").c_str(), KV_Object::FT_DOC, u"\\");
  EXPECT_EQ(dump(other), "\\x 1 01000000\n");
  // A second open of the same object changes nothing.
  KV_DOCFile twice(nullptr);
  twice.open(file("held.doc").c_str(), 0);
  twice.open(file("missing.doc").c_str(), 0);
  EXPECT_EQ(std::u16string(twice.fileName()), file("held.doc"));
}

TEST_F(DocFormat, TheVersionStreamDecidesTheVersionText) {
  write_doc("v25.doc", [](kv_cfb_storage root) {
    put(root, u"VERSION", bytes({0, 0, 0x20, 0x40}));
  });
  write_doc("short.doc", [](kv_cfb_storage root) { put(root, u"Version", bytes({0, 0, 0x80})); });
  write_doc("none.doc", [](kv_cfb_storage root) { put(root, u"x", prop_stream(1, "\1\0\0\0")); });
  write_doc("storage.doc", [](kv_cfb_storage root) { root.create_storage(u"Version"); });
  KV_Object kv;
  char16_t version[16];
  kv.getFileVersion(file("v25.doc").c_str(), version, KV_Object::FT_DOC);
  EXPECT_EQ(std::u16string(version), u"2.500000");
  kv.getFileVersion(file("v25.doc").c_str(), version, 4, KV_Object::FT_DOC);
  EXPECT_EQ(std::u16string(version), u"2.5");
  for (const char* name : {"short.doc", "none.doc", "storage.doc"}) {
    EXPECT_EQ(thrown([&] { kv.getFileVersion(file(name).c_str(), version, KV_Object::FT_DOC); }),
              (Thrown{66, 4, u"KV_DOCFile::getVersion()", file(name)}))
        << name;
    // A load asks for the version first.
    EXPECT_EQ(thrown([&] { kv.load(file(name).c_str(), KV_Object::FT_DOC, u"\\"); }).source,
              u"KV_DOCFile::getVersion()");
  }
  EXPECT_EQ(dump(kv), "");
}

// ---- Streams a load refuses.

TEST_F(DocFormat, StreamsOfAnotherTypeOrCountFailTheLoadAndKeepWhatCameBefore) {
  struct Case {
    const char* name;
    std::string stream;
  };
  const Case cases[] = {
      {"type 0", prop_stream(0, "")},
      {"type 6", prop_stream(6, "x")},
      {"int of 3 bytes", prop_stream(1, "abc")},
      {"double of 4 bytes", prop_stream(2, "abcd")},
      {"bool of 2 bytes", prop_stream(4, "ab")},
      {"count 1025", prop_stream(5, std::string(1025, 'x'))},
      {"count beyond the stream", prop_stream(5, "abc", 10)},
      {"header cut short", bytes({1, 0, 0, 0, 4, 0})},
      {"empty stream", ""},
  };
  for (const Case& c : cases) {
    write_doc("bad.doc", [&](kv_cfb_storage root) {
      put(root, u"Version", kVersion);
      put(root, u"a", prop_stream(1, bytes({7, 0, 0, 0})));  // "a" comes before "zz"
      put(root.create_storage(u"zz"), u"bad", c.stream);
    });
    RecordingHandler handler;  // nothing is reported: the load simply ends
    KV_Object kv(&handler);
    EXPECT_EQ(thrown([&] { kv.load(file("bad.doc").c_str(), KV_Object::FT_DOC, u"\\"); }),
              (Thrown{66, 4, u"KV_DOCFile::load()", file("bad.doc")}))
        << c.name;
    EXPECT_EQ(dump(kv), "\\a 1 07000000\n") << c.name;
    EXPECT_TRUE(handler.reports.empty());
  }
  // The limits themselves are fine; longer streams are read to their count.
  write_doc("limits.doc", [&](kv_cfb_storage root) {
    put(root, u"Version", kVersion);
    put(root, u"full", prop_stream(5, std::string(1024, 'x')));
    put(root, u"text", prop_stream(3, std::string(1024, 'y')));
    put(root, u"more", prop_stream(1, bytes({1, 0, 0, 0})) + "trailing bytes");
    put(root, u"zero", prop_stream(3, ""));
  });
  KV_Object kv;
  kv.load(file("limits.doc").c_str(), KV_Object::FT_DOC, u"\\");
  EXPECT_EQ(kv.getPropertySize(u"\\full"), 1024u);
  EXPECT_EQ(kv.getPropertySize(u"\\text"), 2050u);
  EXPECT_EQ(kv.getPropertySize(u"\\zero"), 2u);
  EXPECT_EQ(get<int>(kv, u"\\more"), 1);
}

TEST_F(DocFormat, PathsTheTreeCannotHoldFailTheLoad) {
  // An int "x" below depth storages named "d", or of 30 units when wide.
  auto nested = [&](const std::string& name, int depth, bool wide) {
    write_doc(name, [&](kv_cfb_storage root) {
      put(root, u"Version", kVersion);
      kv_cfb_storage s = root;
      for (int i = 0; i < depth; ++i) {
        s = s.create_storage(wide ? std::u16string(30, u'a' + i % 26) : u"d");
      }
      put(s, u"x", prop_stream(1, bytes({1, 0, 0, 0})));
    });
  };
  // 300 storages deep, and names long enough to pass 1023 units.
  nested("deep.doc", 300, false);
  nested("long.doc", 40, true);
  for (const char* name : {"deep.doc", "long.doc"}) {
    KV_Object kv;
    EXPECT_EQ(thrown([&] { kv.load(file(name).c_str(), KV_Object::FT_DOC, u"\\"); }).id, 66u)
        << name;
  }
  // Exactly 256 components still load.
  nested("256.doc", 254, false);
  KV_Object kv;
  kv.load(file("256.doc").c_str(), KV_Object::FT_DOC, u"\\r");
  std::u16string path = u"\\r";
  for (int i = 0; i < 254; ++i) path += u"\\d";
  EXPECT_EQ(kv.getPropertySize((path + u"\\x").c_str()), 4u);
  KV_Object one_more;
  EXPECT_EQ(
      thrown([&] { one_more.load(file("256.doc").c_str(), KV_Object::FT_DOC, u"\\r\\s"); }).id,
      66u);
}

TEST_F(DocFormat, EmptyStoragesAndEmptyRawValuesCreateNothingToSave) {
  write_doc("empty.doc", [&](kv_cfb_storage root) {
    put(root, u"Version", kVersion);
    root.create_storage(u"hollow");
    put(root, u"raw", prop_stream(5, ""));
  });
  KV_Object kv;
  kv.load(file("empty.doc").c_str(), KV_Object::FT_DOC, u"\\");
  EXPECT_FALSE(kv.pathExists(u"\\hollow"));
  // A raw value of no bytes is a property without value, which no save takes.
  EXPECT_EQ(kv.getPropertySize(u"\\raw"), 0u);
  EXPECT_EQ(thrown([&] { kv.save(file("again.doc").c_str(), KV_Object::FT_DOC, u"", u"\\"); }).id,
            59u);
}

// ---- Documents of other writers.

TEST_F(DocFormat, LoadsDocumentsOfTheSecondWriter) {
  KV_REQUIRE_OLEFILE();
  // The second writer's element list: the same tree as a DOC document.
  const std::string layout =
      "[{\"path\": [\"Version\"], \"hex\": \"0000803f\"},\n"
      " {\"path\": [\"media\"], \"storage\": true},\n"
      " {\"path\": [\"media\", \"width\"], \"hex\": \"0200000008000000000000000040 6a40\"},\n"
      " {\"path\": [\"media\", \"name\"], \"hex\": \"03000000060000004973 6f20 41 34\"},\n"
      " {\"path\": [\"media\", \"trays\"], \"storage\": true},\n"
      " {\"path\": [\"media\", \"trays\", \"count\"], \"hex\": \"010000000400000003000000\"},\n"
      " {\"path\": [\"media\", \"trays\", \"Version\"], \"hex\": \"01000000040000000900 0000\"},\n"
      " {\"path\": [\"duplex\"], \"hex\": \"040000000100000001\"},\n"
      " {\"path\": [\"id\"], \"hex\": \"050000000300000001ab ff\"}]\n";
  write_file(native("layout.json"), layout);
  for (int seed = 1; seed <= 3; ++seed) {
    const RunResult r =
        run_command(std::string(debian_python()) + " " +
                    shell_quote(source_dir() + "/platform/testdata/cfb_second_writer.py") + " " +
                    shell_quote(native("layout.json")) + " " + shell_quote(native("second.doc")) +
                    " " + std::to_string(seed) + " 2>&1");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    ASSERT_EQ(olefile_listing(native("second.doc")).substr(0, 6), "D medi");
    KV_Object kv;
    kv.load(file("second.doc").c_str(), KV_Object::FT_DOC, u"\\");
    // In the document's order of names; the inner Version stream is skipped.
    EXPECT_EQ(dump(kv),
              "\\id 5 01ABFF\n"
              "\\duplex 4 01\n"
              "\\media\\name 3 490073006F002000410034000000\n"
              "\\media\\width 2 0000000000406A40\n"
              "\\media\\trays\\count 1 03000000\n")
        << seed;
  }
}

TEST_F(DocFormat, LoadsDocumentsThatGsfBuildsFromFiles) {
  KV_REQUIRE_GSF();
  const fs::path tree = native("tree");
  fs::create_directories(tree / "pens" / "1");
  write_file(tree / "Version", kVersion);
  write_file(tree / "pens" / "1" / "width", prop_stream(2, bytes({0, 0, 0, 0, 0, 0, 0xE0, 0x3F})));
  write_file(tree / "pens" / "1" / "color", prop_stream(1, bytes({0xFF, 0, 0, 0})));
  write_file(tree / "label", prop_stream(3, "plotter"));
  const RunResult r = run_command("cd " + shell_quote(tree) + " && gsf createole " +
                                  shell_quote(native("gsf.doc")) + " Version pens label 2>&1");
  ASSERT_EQ(r.exit_code, 0) << r.out;
  KV_Object kv;
  kv.load(file("gsf.doc").c_str(), KV_Object::FT_DOC, u"\\");
  EXPECT_EQ(dump(kv),
            "\\label 3 70006C006F007400740065007200"
            "0000\n"
            "\\pens\\1\\color 1 FF000000\n"
            "\\pens\\1\\width 2 000000000000E03F\n");
}

// ---- The format object itself.

TEST_F(DocFormat, AttachedDocumentsLoadWithoutAFile) {
  auto doc = kv_compound_file::create_in_memory();
  put(doc->root(), u"Version", kVersion);
  put(doc->root(), u"x", prop_stream(4, "\1"));
  KV_DOCFile format(nullptr);
  format.attach(std::move(doc), u"memory");
  KV_Object kv;
  format.load(&kv, u"\\m", KV_Object::FT_DOC);
  EXPECT_EQ(dump(kv), "\\m\\x 4 01\n");
  format.setStream(nullptr);  // does nothing
  format.close();
  EXPECT_EQ(thrown([&] { format.load(&kv, u"\\", KV_Object::FT_DOC); }),
            (Thrown{66, 4, u"KV_DOCFile::getVersion()", u"memory"}));
}

}  // namespace
