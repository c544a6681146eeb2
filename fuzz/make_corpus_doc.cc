// Copyright the kvstore authors.
//
// Seeds of the compound file and DOC targets (cfb_read, doc_load): documents
// written by the library (the compound-file test vectors, trees of every
// value type), the same damaged in the ways the reader must catch, hostile
// DOC contents, and documents of the second writer
// (platform/testdata/cfb_second_writer.py, run when /usr/bin/python3 is
// there), whose layouts the library never writes itself.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "kvstore/kv_object.h"
#include "platform/compound_file.h"

namespace {

namespace fs = std::filesystem;

struct Seeds {
  fs::path root;
  std::size_t files = 0;
  std::size_t bytes = 0;

  void write(const std::string& target, const std::string& name, const std::string& data) {
    const fs::path folder = root / target;
    fs::create_directories(folder);
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write %s/%s\n", target.c_str(), name.c_str());
      std::exit(1);
    }
    ++files;
    bytes += data.size();
  }
};

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void put(kv_cfb_storage storage, const std::u16string& name, const std::string& data) {
  storage.create_stream(name).write(data.data(), data.size());
}

std::string document(const std::function<void(kv_cfb_storage)>& fill) {
  auto doc = kv_compound_file::create_in_memory();
  fill(doc->root());
  std::string out;
  if (!doc->serialize(out)) std::exit(1);
  return out;
}

std::string prop(uint32_t type, const std::string& data, int count = -1) {
  const uint32_t n = count < 0 ? static_cast<uint32_t>(data.size()) : static_cast<uint32_t>(count);
  std::string s(8, '\0');
  std::memcpy(&s[0], &type, 4);
  std::memcpy(&s[4], &n, 4);
  return s + data;
}

void set32(std::string& b, std::size_t at, uint32_t v) {
  std::memcpy(&b[at], &v, 4);
}

const std::string kVersion("\x00\x00\x80\x3F", 4);

// A tree that a DOC document can carry: every value type and its limits.
void fill_tree(KV_Object& o) {
  o.SetProperty(u"\\version", 2);
  o.SetProperty(u"\\name", u"Main");
  o.SetProperty(u"\\negative", -2147483647 - 1);
  o.SetProperty(u"\\empty", u"");
  o.SetProperty(u"\\media\\width", 210.0);
  o.SetProperty(u"\\media\\tiny", 4.9e-324);
  o.SetProperty(u"\\media\\flag", true);
  o.SetProperty(u"\\media\\off", false);
  o.SetProperty(u"\\media\\text", u"\u00fc\u20ac \u4E2D");
  const unsigned char raw[] = {0x01, 0xAB, 0x00, 0xFF};
  o.setVoidProperty(u"\\media\\tray\\id", raw, sizeof raw);
  o.SetProperty(u"\\media\\tray\\Version", 9);
  o.SetProperty(u"\\pens\\1\\color", 3);
  o.SetProperty(u"\\pens\\2\\color", 4);
  o.SetProperty(u"\\pens\\Pen", 1.5);
  o.SetProperty(u"\\long", std::u16string(511, u'x').c_str());
}

std::string saved(const KV_Object& o, const fs::path& scratch) {
  o.save(scratch.u16string().c_str(), KV_Object::FT_DOC, u"", u"\\");
  return read_file(scratch);
}

void second_writer_seeds(Seeds& seeds) {
  const fs::path script =
      seeds.root / ".." / ".." / "platform" / "testdata" / "cfb_second_writer.py";
  if (!fs::exists(script) || !fs::exists("/usr/bin/python3")) {
    std::fprintf(stderr, "note: no second writer (%s), its seeds are not made\n", script.c_str());
    return;
  }
  const fs::path layout = fs::temp_directory_path() / "kv_corpus_layout.json";
  const fs::path out = fs::temp_directory_path() / "kv_corpus_second.doc";
  {
    std::ofstream s(layout);
    s << R"([{"path": ["Version"], "hex": "0000803f"},
 {"path": ["media"], "storage": true},
 {"path": ["media", "width"], "hex": "02000000080000000000000000406a40"},
 {"path": ["media", "name"], "hex": "030000000600000049736f204134"},
 {"path": ["media", "trays"], "storage": true},
 {"path": ["media", "trays", "count"], "hex": "010000000400000003000000"},
 {"path": ["media", "trays", "VERSION"], "hex": "010000000400000009000000"},
 {"path": ["duplex"], "hex": "040000000100000001"},
 {"path": ["id"], "hex": "050000000300000001abff"}])";
  }
  auto run = [&](int seed) {
    const std::string command = "/usr/bin/python3 '" + script.string() + "' '" + layout.string() +
                                "' '" + out.string() + "' " + std::to_string(seed);
    if (std::system(command.c_str()) != 0) {
      std::fprintf(stderr, "the second writer failed\n");
      std::exit(1);
    }
    return read_file(out);
  };
  for (int seed = 1; seed <= 3; ++seed) {
    seeds.write("doc_load", "second-writer-" + std::to_string(seed) + ".doc", run(seed));
  }
  // A container with a large stream beside small ones, for the reader alone.
  {
    std::ofstream s(layout);
    s << R"([{"path": ["small"], "hex": "0102030405"},
 {"path": ["folder"], "storage": true},
 {"path": ["folder", "mini"], "hex": ")" +
             std::string(2 * 300, '7') + R"("},
 {"path": ["folder", "large"], "hex": ")" +
             std::string(2 * 4600, 'c') + R"("},
 {"path": ["empty"], "hex": ""}])";
  }
  for (int seed = 1; seed <= 2; ++seed) {
    seeds.write("cfb_read", "second-writer-" + std::to_string(seed), run(seed));
  }
  fs::remove(layout);
  fs::remove(out);
}

}  // namespace

void doc_seeds(const fs::path& corpus, std::size_t& files, std::size_t& bytes) {
  Seeds seeds{corpus};
  const std::string five("\x01\0\0\0\x04\0\0\0\x05\0\0\0", 12);

  // The compound-file test vectors and a mixed hierarchy.
  std::vector<std::pair<std::string, std::string>> vectors = {
      {"tv1-empty", document([](kv_cfb_storage) {})},
      {"tv2-version", document([](kv_cfb_storage r) { put(r, u"Version", kVersion); })},
      {"tv3-nested", document([&](kv_cfb_storage r) {
         put(r.create_storage(u"a").create_storage(u"b"), u"x", five);
       })},
      {"tv4-large", document([](kv_cfb_storage r) {
         std::string big(5000, '\0');
         for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i % 251);
         put(r, u"Big", big);
       })},
      {"tv5-order", document([](kv_cfb_storage r) {
         put(r, u"Version", kVersion);
         for (const char16_t* n : {u"zeta", u"B", u"a", u"ab", u"AC", u"media"}) {
           put(r, n, "x");
         }
         put(r, u"Empty", "");
       })},
      {"tv6-cutoff", document([](kv_cfb_storage r) {
         put(r, u"s0", "");
         put(r, u"s64", std::string(64, 'a'));
         put(r, u"s4095", std::string(4095, 'b'));
         put(r, u"s4096", std::string(4096, 'c'));
       })},
      {"wide", document([](kv_cfb_storage r) {
         kv_cfb_storage pens = r.create_storage(u"pens");
         for (int i = 0; i < 40; ++i) {
           put(pens.create_storage(std::u16string(1, static_cast<char16_t>(u'A' + i))), u"c",
               std::string(1 + i, 'p'));
         }
         put(r, u"\u00C9t\u00E9 \u00DF", "accents");
       })},
  };
  for (const auto& v : vectors) seeds.write("cfb_read", v.first, v.second);

  // Damaged: each change is one that the reader must catch.
  struct Damage {
    const char* name;
    std::size_t base;
    std::function<void(std::string&)> change;
  };
  const Damage damages[] = {
      {"truncated-mini", 1, [](std::string& b) { b.resize(2048); }},
      {"truncated-directory", 0, [](std::string& b) { b.resize(1535); }},
      {"directory-cycle", 1, [](std::string& b) { set32(b, 0x204, 1); }},
      {"entry-twice", 2, [](std::string& b) { set32(b, 0x5C4, 1); }},
      {"id-out-of-range", 2, [](std::string& b) { set32(b, 0x54C, 7); }},
      {"size-beyond-file", 1, [](std::string& b) { set32(b, 0x4F8, 5000); }},
      {"mini-chain-short", 1, [](std::string& b) { set32(b, 0x4F8, 100); }},
      {"no-fat", 1, [](std::string& b) { set32(b, 0x2C, 0); }},
      {"name-length-odd", 1, [](std::string& b) { b[0x4C0] = 15; }},
      {"mini-cycle", 1, [](std::string& b) { set32(b, 0x600, 0); }},
      {"chain-cycle-late", 3, [](std::string& b) { set32(b, 0x22C, 2); }},
      {"chain-broken", 3, [](std::string& b) { set32(b, 0x214, 0xFFFFFFFF); }},
      {"root-again", 1, [](std::string& b) { set32(b, 0x44C, 0); }},
      {"difat-count", 1, [](std::string& b) { set32(b, 0x48, 1); }},
      {"duplicate-name", 4, [](std::string& b) { b[0x500] = 'A'; }},
      {"stream-with-child", 2, [](std::string& b) { set32(b, 0x5CC, 2); }},
  };
  for (const Damage& d : damages) {
    std::string b = vectors[d.base].second;
    d.change(b);
    seeds.write("cfb_read", d.name, b);
  }

  // DOC documents saved by the library.
  const fs::path scratch = fs::temp_directory_path() / "kv_corpus_scratch.doc";
  {
    KV_Object empty;
    seeds.write("doc_load", "empty.doc", saved(empty, scratch));
    KV_Object tree;
    fill_tree(tree);
    seeds.write("doc_load", "every-type.doc", saved(tree, scratch));
  }
  fs::remove(scratch);

  // Hostile contents, each behind a good property so that a load stores
  // something before it fails.
  auto hostile = [&](const std::string& name, const std::string& stream) {
    seeds.write("doc_load", name + ".doc", document([&](kv_cfb_storage r) {
                  put(r, u"Version", kVersion);
                  put(r, u"a", prop(1, std::string("\7\0\0\0", 4)));
                  put(r.create_storage(u"zz"), u"bad", stream);
                }));
  };
  hostile("type-0", prop(0, ""));
  hostile("type-6", prop(6, "x"));
  hostile("int-3-bytes", prop(1, "abc"));
  hostile("count-1025", prop(5, std::string(1025, 'x')));
  hostile("count-beyond-stream", prop(5, "abc", 10));
  hostile("header-short", std::string("\1\0\0\0\4\0", 6));
  hostile("string-1024", prop(3, std::string(1024, 'y')));
  hostile("string-with-nul", prop(3, std::string("a\0b", 3)));
  hostile("raw-empty", prop(5, ""));
  seeds.write("doc_load", "no-version.doc",
              document([&](kv_cfb_storage r) { put(r, u"x", prop(4, "\1")); }));
  seeds.write("doc_load", "version-storage.doc",
              document([](kv_cfb_storage r) { r.create_storage(u"Version"); }));
  seeds.write("doc_load", "deep.doc", document([&](kv_cfb_storage r) {
                put(r, u"Version", kVersion);
                kv_cfb_storage s = r;
                for (int i = 0; i < 260; ++i) s = s.create_storage(u"d");
                put(s, u"x", five);
              }));
  seeds.write("doc_load", "stars.doc", document([&](kv_cfb_storage r) {
                put(r, u"Version", kVersion);
                put(r, u"a*", five);
                put(r, u"a-1", five);
                put(r.create_storage(u"n*"), u"x", five);
              }));

  second_writer_seeds(seeds);
  files += seeds.files;
  bytes += seeds.bytes;
}
