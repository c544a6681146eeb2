// Copyright the kvstore authors.
//
// Writes the seed corpus of every fuzz target under the folder given as the
// only argument (fuzz/corpus in the repository): kv_make_corpus fuzz/corpus.
// Valid inputs are made by the library itself (saved trees, codec blocks,
// exact double texts, compound strings); the edge cases are written by hand.
// Existing files of the same names are replaced; other files (inputs that
// found a bug) are left alone.
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "kvstore/gx_string.h"
#include "kvstore/kv_codec.h"
#include "kvstore/kv_convert.h"
#include "kvstore/kv_object.h"
#include "platform/codepage.h"
#include "tree/kv_alloc.h"
#include "tree/kv_convert.h"

// The seeds of the compound file and DOC targets (make_corpus_doc.cc).
void doc_seeds(const std::filesystem::path& corpus, std::size_t& files, std::size_t& bytes);

namespace {

namespace fs = std::filesystem;

fs::path g_root;
std::size_t g_files = 0;
std::size_t g_bytes = 0;

void write(const std::string& target, const std::string& name, const std::string& bytes) {
  const fs::path folder = g_root / target;
  fs::create_directories(folder);
  std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s/%s\n", target.c_str(), name.c_str());
    std::exit(1);
  }
  ++g_files;
  g_bytes += bytes.size();
}

std::string utf8(const std::u16string& s) {
  return kv_u16_to_utf8(s.c_str());
}

// The text of the fuzz targets' text reading: a first byte 0 and one byte a
// unit, or a first byte 1 and UTF-16LE units.
std::string as_bytes_text(const std::string& s) {
  return std::string(1, '\0') + s;
}
std::string as_wide_text(const std::u16string& s) {
  std::string out(1, '\1');
  for (char16_t c : s) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

// ---- PIA files

// A tree holding every value type, nodes inside nodes and a few names and
// values that stretch the format.
void fill_every_type(KV_Object& o) {
  o.SetProperty(u"\\version", 2);
  o.SetProperty(u"\\name", u"Main");
  o.SetProperty(u"\\negative", -2147483647 - 1);
  o.SetProperty(u"\\empty", u"");
  o.SetProperty(u"\\media\\width", 210.0);
  o.SetProperty(u"\\media\\ratio", 0.1 + 0.2);
  o.SetProperty(u"\\media\\tiny", 4.9e-324);
  o.SetProperty(u"\\media\\neg", -0.75);
  o.SetProperty(u"\\media\\flag", true);
  o.SetProperty(u"\\media\\off", false);
  const unsigned char narrow[] = "narrow text \xE9";
  o.SetProperty(u"\\media\\narrow", static_cast<const unsigned char*>(narrow));
  const unsigned char raw[] = {0x01, 0xAB, 0x00, 0xFF};
  o.setVoidProperty(u"\\media\\tray\\id", raw, sizeof raw);
  o.SetProperty(u"\\media\\tray\\text", u"\u00fc\u20ac and \"quotes\" = {braces}  ");
  o.SetProperty(u"\\pens\\*\\color", 3, 1);
  o.SetProperty(u"\\pens\\*\\color", 4, 2);
  o.SetProperty(u"\\pens\\3", 1.5);
  o.SetProperty(u"\\last", 214748.3647);
}

std::string save(const KV_Object& o, const char16_t* options, bool utf8flag) {
  std::stringstream s(std::ios::in | std::ios::out | std::ios::binary);
  o.save(&s, KV_Object::FT_PIA, options, u"\\", utf8flag);
  return s.str();
}

std::string encode_block(const std::string& body, bool withCheck) {
  KV_zlib_Codec codec(reinterpret_cast<const unsigned char*>(body.data()),
                      static_cast<uint32_t>(body.size()));
  unsigned char* out = nullptr;
  uint32_t size = 0;
  if (!(withCheck ? codec.encodeCRC(out, size) : codec.encode(out, size))) std::exit(1);
  std::string block(reinterpret_cast<const char*>(out), size);
  kv_free(out);
  return block;
}

void put_u32(std::string& s, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}

std::string replace_all(std::string s, const std::string& from, const std::string& to) {
  for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
    s.replace(at, from.size(), to);
  }
  return s;
}

// Bodies of hand-written edge cases, behind a plain 2.0 header.
std::vector<std::pair<std::string, std::string>> edge_bodies() {
  std::vector<std::pair<std::string, std::string>> b;
  b.push_back({"bools", "a=True\nb=TRUEX\nc=truely\nd=False\ne=yes\nf=fALSEhood\n"});
  b.push_back({"numbers",
               "a=+5\nb=1e5\nc=-\nd=12 34\ne=-12\t3\nf=99999999999\n"
               "g=-99999999999\nh=1.\ni=-.5\nj=1.2.3\nk=0.30000000000 (-#,S,S,STS_8[P)\n"
               "l=0.30000000000 (-#,S,S,STS_8[Q)\nm=1.e999\nn=1.5x\n"});
  b.push_back({"raw",
               "a=\\01AB\\\nb=\\\\\nc=\\0A1\\\nd=\\01ab\\\ne=\\\nf=\\ 01\\\ng=\\01\\02\\\n"
               "h=\\xyz\\\n"});
  b.push_back({"strings", "a=\"text with trailing blanks   \nb=\"\nc=\"a=b{c}\nd=\"\r\n"});
  b.push_back({"syntax", "abc\n"});
  b.push_back({"names", "=5\nx=\n x = 1\na b{\n}\n*{\n}\n"});
  b.push_back({"braces", "}\n}\na{\nb{\nc=1\n}\n}\n}\n}\nd=2\n"});
  b.push_back({"unclosed", "a{\nb{\nc{\nd=1\n"});
  b.push_back({"comments", "; a comment\n\n\n   ;x=1\n\t\v\f\rname=\"v\n"});
  b.push_back({"types", "x=1\nx=1.5\nx=\"s\nx=TRUE\n"});
  b.push_back({"zero-byte", std::string("a=1\nb=\"x\0y\nc=2\n\0", 17)});
  b.push_back({"backslash-names", "a\\b=1\nc\\d{\ne=2\n}\n\\\\f\\\\=3\n"});
  b.push_back({"high-bytes", "n\xE9=\"\x80\x81\x8D\x9F\xFF\n\xC3\xA9{\n}\n"});
  std::string deep;
  for (int i = 0; i < 257; ++i) deep += "n{\n";
  deep += "x=1\n";
  b.push_back({"deep", deep});
  std::string long_path;
  for (int i = 0; i < 130; ++i) long_path += "abcdefg{\n";
  long_path += "x=1\n";
  b.push_back({"long-path", long_path});
  // Paths around the longest that the store takes (1022 units; a "*" counts
  // as the "-1" that replaces it).
  b.push_back({"store-limit", std::string(1018, 'a') + "{\nx=1\nxy=2\nxyz=3\ny*=4\n}\nafter=5\n"});
  b.push_back({"long-name", std::string(600, 'n') + "=1\n" + std::string(511, 'm') + "=2\n"});
  b.push_back({"long-line", "a=\"" + std::string(300, 'x') + "\n" + std::string(1200, 'y') + "\n"});
  return b;
}

void pia_seeds() {
  KV_Object tree;
  fill_every_type(tree);
  const std::string plain = save(tree, u"", false);
  const std::string packed = save(tree, u"compress", false);
  write("pia_load", "plain-every-type.pia", plain);
  write("pia_load", "compressed-every-type.pia", packed);
  write("pia_load", "plain-utf8.pia", save(tree, u"utf8 text", true));
  write("pia_load", "crlf.pia", replace_all(plain, "\n", "\r\n"));
  const std::size_t header_end = plain.find("\r\n") + 2;
  const std::string body = plain.substr(header_end);
  write("pia_load", "compressed-v1.pia",
        "PIAFILEVERSION_1.0,compress\r\n" + encode_block(body, false));
  // A body far larger than the file, with a line across the 64 KiB pieces in
  // which the body is read.
  std::string large;
  for (int i = 0; large.size() < 65000; ++i) large += "p" + std::to_string(i) + "=\"text\n";
  large += "long=\"" + std::string(70000, 'x') + "\nafter=1\n";
  write("pia_load", "compressed-large-body.pia",
        "PIAFILEVERSION_2.0,compress\r\n" + encode_block(large, true));
  write("pia_load", "lowercase-header.pia", "piafileversion_1.0, old\r\n" + body);
  write("pia_load", "header-only.pia", "PIAFILEVERSION_2.0,\r\n");
  write("pia_load", "header-no-newline.pia", "PIAFILEVERSION_2.0,");
  write("pia_load", "not-pia.pia", "HELLO\nx=1\n");
  write("pia_load", "not-pia-compress.pia", "HELLO,compress\nx=1\n");
  write("pia_load", "blank-lines-before-header.pia", "\n\n  \tPIAFILEVERSION_2.0,\nx=1\n");
  write("pia_load", "long-header.pia",
        "PIAFILEVERSION_2.0," + std::string(1100, 'h') + "\r\nx=1\n");
  write("pia_load", "empty.pia", "");
  // Damaged compressed files.
  write("pia_load", "compressed-truncated.pia", packed.substr(0, packed.size() - 7));
  write("pia_load", "compressed-no-block.pia", "PIAFILEVERSION_2.0,compress\r\nx=1\n");
  std::string flipped = packed;
  flipped[flipped.size() - 10] ^= 0x55;
  write("pia_load", "compressed-corrupt.pia", flipped);
  std::string wrong_size = packed;
  put_u32(wrong_size, header_end + 15, 3);
  write("pia_load", "compressed-small-size.pia", wrong_size);
  write("pia_load", "compressed-wrong-framing.pia",
        "PIAFILEVERSION_2.0,compress\r\n" + encode_block(body, false));
  for (const auto& [name, text] : edge_bodies()) {
    write("pia_load", name + ".pia", "PIAFILEVERSION_2.0,\r\n" + text);
  }

  // pia_compressed: a selector byte (bit 0: version 1.0, bit 1: handler) and
  // a body.
  for (int selector = 0; selector < 4; ++selector) {
    write("pia_compressed", "every-type-" + std::to_string(selector),
          std::string(1, static_cast<char>(selector)) + body);
  }
  for (const auto& [name, text] : edge_bodies()) {
    write("pia_compressed", name, std::string(1, '\2') + text);
  }
}

// ---- codec blocks

void codec_seeds() {
  const std::string text = "The quick brown fox jumps over the lazy dog. 0123456789\n";
  std::string binary;
  for (int i = 0; i < 300; ++i) binary.push_back(static_cast<char>(i * 37 % 256));
  const std::string inputs[] = {"", text, binary, std::string(5000, 'a')};
  const char* names[] = {"empty", "text", "binary", "repeated"};
  for (int i = 0; i < 4; ++i) {
    for (bool check : {false, true}) {
      const std::string kind = check ? "check" : "plain";
      const std::string block = encode_block(inputs[i], check);
      write("zlib_decode", kind + "-" + names[i], block);
      write("zlib_decode", kind + "-" + names[i] + "-after-header",
            "PIAFILEVERSION_2.0,compress\r\n" + block);
    }
    write("zlib_roundtrip", names[i], std::string(1, '\0') + inputs[i]);
    write("zlib_roundtrip", std::string(names[i]) + "-after-header",
          std::string(1, '\1') + inputs[i]);
  }
  const std::string block = encode_block(text, true);
  write("zlib_decode", "magic-only", "kvzlibcodec");
  write("zlib_decode", "header-cut", block.substr(0, 20));
  write("zlib_decode", "stream-cut", block.substr(0, block.size() - 5));
  write("zlib_decode", "zero-before-magic", std::string("abc\0", 4) + block);
  std::string small = block;
  put_u32(small, 15, 10);
  write("zlib_decode", "size-too-small", small);
  std::string large = block;
  put_u32(large, 15, 0x7FFFFFFF);
  write("zlib_decode", "size-huge", large);
  std::string z_past = block;
  put_u32(z_past, 19, 0xFFFFFFF0);
  write("zlib_decode", "compressed-size-past-end", z_past);
  std::string twice = block + block;
  write("zlib_decode", "two-blocks", twice);
}

// ---- value texts

void text_seeds() {
  // stringtobinary: check-summed texts of a few byte strings, and damaged ones.
  const std::string raws[] = {
      "", "A", "AB", "ABC", std::string("\0\1\2\3\4\5\6\7", 8), "some longer run of bytes"};
  int n = 0;
  for (const std::string& raw : raws) {
    char16_t* t = bytestostring(raw.data(), raw.size());
    const std::u16string text(t);
    kv_free(t);
    write("stringtobinary", "valid-" + std::to_string(n), as_bytes_text(utf8(text)));
    std::u16string altered = text;
    altered.back() = altered.back() == u'_' ? u' ' : altered.back() + 1;
    write("stringtobinary", "bad-check-" + std::to_string(n), as_bytes_text(utf8(altered)));
    ++n;
  }
  write("stringtobinary", "length-5", as_bytes_text("P,$PP"));
  write("stringtobinary", "length-9", as_bytes_text("P,$PPPPPP"));
  write("stringtobinary", "below-blank", as_bytes_text("\x1FP,$"));
  write("stringtobinary", "above-underscore", as_bytes_text("P,$`"));
  write("stringtobinary", "wide", as_wide_text(u"P,$\u0150"));

  // stringtodouble: exact texts of awkward doubles, and hand-written numbers.
  const double values[] = {5.0,
                           0.1,
                           -0.75,
                           3.5e5,
                           0.1 + 0.2,
                           4.9e-324,
                           DBL_MAX,
                           -DBL_MAX,
                           214748.3647,
                           214748.3648,
                           1e-5,
                           123456789.0,
                           std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN(),
                           -0.0};
  n = 0;
  for (double v : values) {
    char16_t text[64];
    doubletostring(v, text);
    write("stringtodouble", "exact-" + std::to_string(n++), as_bytes_text(utf8(text)));
  }
  const char* numbers[] = {"0",
                           "007",
                           "1e3",
                           "2.50",
                           "1.5x",
                           "",
                           "-",
                           " 1",
                           "0x1p3",
                           "inf",
                           "nan(123)",
                           "-0.0001",
                           "99999.9999",
                           "2147483647",
                           "2147483648",
                           "0.30000000000 (-#,S,S,STS_8[Q)",
                           "0.3 (-#,S,S,STS_8[P)",
                           "1.0000000000 (",
                           "((((((((((((((((((",
                           "1e-400",
                           "1e400"};
  n = 0;
  for (const char* s : numbers)
    write("stringtodouble", "text-" + std::to_string(n++), as_bytes_text(s));
  write("stringtodouble", "wide", as_wide_text(u"1.5\u0660"));

  // compound strings.
  GX_String compound;
  build_compound_str_ex(u"ab", u"c", compound);
  write("compound", "ab-c", as_bytes_text(utf8(compound.c_str())));
  build_compound_str_ex(u"\u00fc", u"\u20ac\U0001F600", compound);
  write("compound", "utf8", as_bytes_text(utf8(compound.c_str())));
  write("compound", "first-empty", as_bytes_text("0063000000"));
  write("compound", "no-nul", as_bytes_text("6162"));
  write("compound", "one-string", as_bytes_text("616200"));
  write("compound", "odd", as_bytes_text("61620"));
  write("compound", "lowercase", as_bytes_text("616200630000ab"));
  write("compound", "bad-utf8", as_bytes_text("C080FF00E2820000"));
  write("compound", "split", as_bytes_text("first|second"));
  write("compound", "split-wide", as_wide_text(u"\u00e9|\xD800x"));

  // hexadecimal text.
  const char* hexes[] = {"00AB", "00ab", "0AB", "", "FFFF00017F80", "zz", "G0", ":;<=>?@"};
  n = 0;
  for (const char* s : hexes) write("hex_to_bin", "hex-" + std::to_string(n++), s);
}

// ---- path scripts

struct Op {
  int op;
  int index;
  std::u16string path;
};

std::string script(const std::vector<Op>& ops) {
  std::string out;
  for (const Op& o : ops) {
    out.push_back(static_cast<char>(o.op));
    int b = 0;
    if (o.index == -1) {
      b = 0;
    } else if (o.index >= 0 && o.index < 239) {
      b = o.index + 1;
    } else if (o.index == std::numeric_limits<int>::min()) {
      b = 240;
    } else {
      b = 247;  // INT_MAX
    }
    out.push_back(static_cast<char>(b));
    std::string units;
    for (char16_t c : o.path) {
      if (c >= 0xFE) {
        units.push_back(static_cast<char>(0xFE));
        units.push_back(static_cast<char>(c & 0xFF));
        units.push_back(static_cast<char>(c >> 8));
      } else {
        units.push_back(static_cast<char>(c));
      }
    }
    if (o.path.size() < 255) {
      out.push_back(static_cast<char>(o.path.size()));
    } else {
      out.push_back(static_cast<char>(255));
      out.push_back(static_cast<char>(o.path.size() & 0xFF));
      out.push_back(static_cast<char>(o.path.size() >> 8));
    }
    out += units;
  }
  return out;
}

void path_seeds() {
  enum {
    kInt,
    kLong,
    kBool,
    kDouble,
    kFloat,
    kWide,
    kNarrow,
    kRaw,
    kGet,
    kSize,
    kExists,
    kDelete,
    kWalk,
    kDuplicate,
    kWalkAll
  };
  write("path", "set-get",
        script({{kInt, -1, u"\\a\\b\\c"},
                {kGet, -1, u"\\a\\b\\c"},
                {kInt, 2, u"\\pens"},
                {kGet, -1, u"\\pens\\2"},
                {kDouble, 4, u"\\pen*\\width"},
                {kDouble, -1, u"\\pen*\\width"},
                {kSize, -1, u"\\pen-1\\width"},
                {kExists, -1, u"\\a\\x"}}));
  write("path", "every-type",
        script({{kInt, -1, u"i"},
                {kLong, -1, u"l"},
                {kBool, -1, u"b"},
                {kDouble, -1, u"d"},
                {kFloat, -1, u"f"},
                {kWide, -1, u"w"},
                {kNarrow, -1, u"n"},
                {kRaw, -1, u"r"},
                {kWalkAll, -1, u""}}));
  write("path", "type-bound",
        script({{kDouble, -1, u"\\x"},
                {kInt, -1, u"\\x"},
                {kDouble | 0x80, -1, u"\\y"},
                {kInt, -1, u"\\y"},
                {kGet, -1, u"\\x"},
                {kGet, -1, u"\\y"}}));
  write("path", "separators",
        script({{kInt, -1, u"\\a\\\\b\\"},
                {kGet, -1, u"a\\b"},
                {kInt, -1, u"\\\\\\"},
                {kInt, -1, u""},
                {kDelete, -1, u"\\a\\b"},
                {kDelete, -1, u"\\a\\b"},
                {kDelete, -1, u"\\a"}}));
  write("path", "stars",
        script({{kInt, 3, u"\\pens\\*\\color"},
                {kInt, -1, u"*"},
                {kInt, 7, u"**\\*"},
                {kInt, std::numeric_limits<int>::min(), u"*"},
                {kWalk, 0, u"\\pens"},
                {kGet, 3, u"\\pens\\*\\color"}}));
  std::u16string many;
  for (int i = 0; i < 256; ++i) many += u"\\c";
  write("path", "256-components",
        script({{kInt, -1, many},
                {kGet, -1, many},
                {kInt, -1, many + u"\\x"},
                {kExists, -1, many + u"\\x"},
                {kDelete, -1, many + u"\\x"},
                {kWalkAll, -1, u""}}));
  std::u16string distinct;
  for (int i = 0; i < 130; ++i)
    distinct += u"\\n" + std::u16string(1, static_cast<char16_t>(u'0' + i % 40));
  write("path", "many-names", script({{kWide, -1, distinct}, {kDelete, -1, distinct}}));
  const std::u16string p1021 = u"\\" + std::u16string(1020, u'a');
  write("path", "long-paths",
        script({{kInt, -1, p1021},
                {kInt, -1, p1021 + u"b"},
                {kInt, -1, p1021 + u"bc"},
                {kInt, 5, p1021},
                {kInt, 5, p1021.substr(0, 1018) + u"*"},
                {kGet, -1, p1021},
                {kSize, -1, p1021 + u"b"}}));
  write("path", "bucket-zero",
        script({{kInt, -1, u"\\aa\\bb"},
                {kInt, -1, u"\\\u0101"},
                {kInt, -1, u"\\\uFFFF\\\uFEFE"},
                {kDelete, -1, u"\\aa"},
                {kGet, -1, u"\\aa\\bb"},
                {kExists, -1, u"\\bb"}}));
  write("path", "duplicate",
        script({{kInt, -1, u"\\src\\a\\x"},
                {kWide, -1, u"\\src\\b"},
                {kWalk, 1, u"\\dst"},
                {kDuplicate, -1, u"\\src"},
                {kDuplicate, -1, u"\\dst\\deeper"},
                {kDuplicate, -1, u"\\"},
                {kWalkAll, -1, u""}}));
  write("path", "delete-node-and-prop",
        script({{kInt, -1, u"\\a\\x"},
                {kInt, -1, u"\\a\\x\\y"},
                {kDelete, -1, u"\\a\\x"},
                {kExists, -1, u"\\a\\x"},
                {kDelete, -1, u"\\a\\x"},
                {kExists, -1, u"\\a\\x"},
                {kRaw, -1, u""},
                {kRaw, -1, u"\\z"},
                {kWalkAll, -1, u""}}));
}

// ---- DPIA files

std::string le32(uint32_t v) {
  std::string s(4, '\0');
  put_u32(s, 0, v);
  return s;
}

std::string save_dpia(const KV_Object& o, const char16_t* path) {
  std::stringstream s(std::ios::in | std::ios::out | std::ios::binary);
  o.save(&s, KV_Object::FT_DPIA, u"", path);
  return s.str();
}

// A version 1.0 file of the given sections, laid out by hand.
std::string dpia_v1(const std::vector<std::pair<std::string, std::string>>& sections) {
  std::string file = le32(0x10000) + le32(static_cast<uint32_t>(sections.size()));
  uint32_t offset = 0;
  for (const auto& [descriptor, bytes] : sections) {
    file += le32(static_cast<uint32_t>(descriptor.size())) + descriptor + le32(offset) +
            le32(static_cast<uint32_t>(bytes.size()));
    offset += static_cast<uint32_t>(bytes.size());
  }
  for (const auto& section : sections) file += section.second;
  return file;
}

void dpia_seeds() {
  KV_Object tree;
  fill_every_type(tree);
  tree.SetProperty(u"\\P\\a\\info", u"first");
  tree.duplicate(u"\\media", u"\\P\\a\\data");
  tree.SetProperty(u"\\P\\b\\info", u"\u00e9t\u00e9 \u20ac");
  tree.duplicate(u"\\pens", u"\\P\\b\\data");
  tree.SetProperty(u"\\P\\Gr\u00f6\u00dfe\\data\\x", 1);
  tree.SetProperty(u"\\P\\bare\\info", u"no data");
  const std::string file = save_dpia(tree, u"\\P");
  write("dpia_load", "sections.dpia", file);
  write("dpia_load", "no-sections.dpia", save_dpia(tree, u"\\version"));
  write("dpia_load", "whole-tree.dpia", save_dpia(tree, u"\\"));

  // Offsets of the first entry's fields: L at 8, the descriptor "a" at 12, M
  // at 13, the info "first" at 17, offset at 22, size at 26.
  auto with = [&](std::size_t at, uint32_t value) {
    std::string s = file;
    put_u32(s, at, value);
    return s;
  };
  write("dpia_load", "count-huge.dpia", with(4, 0xFFFFFFFF));
  write("dpia_load", "count-past-end.dpia", with(4, 1000));
  write("dpia_load", "length-past-end.dpia", with(8, 0x7FFFFFF0));
  write("dpia_load", "info-past-end.dpia", with(13, static_cast<uint32_t>(file.size())));
  write("dpia_load", "offset-past-end.dpia", with(22, 0xFFFFFF00));
  write("dpia_load", "size-past-end.dpia", with(26, static_cast<uint32_t>(file.size())));
  write("dpia_load", "version-3.dpia", with(0, 0x30000));
  write("dpia_load", "cut-in-directory.dpia", file.substr(0, 30));
  write("dpia_load", "cut-in-section.dpia", file.substr(0, file.size() - 9));
  write("dpia_load", "version-word-only.dpia", le32(0x20000));
  write("dpia_load", "short.dpia", std::string("\0\0\2", 3));

  KV_Object small;
  small.SetProperty(u"\\x", 1);
  small.SetProperty(u"\\n\\y", u"text");
  std::stringstream pia(std::ios::in | std::ios::out | std::ios::binary);
  small.save(&pia, KV_Object::FT_PIA, u"DPIA_SECTION_1.0,compress", u"\\", true);
  const std::string section = pia.str();
  write("dpia_load", "v1.dpia", dpia_v1({{"one", section}, {"two", section}}));
  write("dpia_load", "v1-plain-section.dpia",
        dpia_v1({{"plain", "PIAFILEVERSION_2.0,\r\nx=1\n"}, {"empty", ""}}));
  write("dpia_load", "v1-not-pia.dpia", dpia_v1({{"junk", "HELLO\n\xFF\xFF"}}));
  write("dpia_load", "v1-same-name.dpia", dpia_v1({{"s", "HELLO\n"}, {"s", section}}));
}

// ---- Huffman blocks

std::string huffman_encode(const std::string& input) {
  KV_Huffman_Codec codec(reinterpret_cast<const unsigned char*>(input.data()),
                         static_cast<uint32_t>(input.size()));
  unsigned char* out = nullptr;
  uint32_t size = 0;
  if (!codec.encode(out, size)) std::exit(1);
  std::string block(reinterpret_cast<const char*>(out), size);
  kv_free(out);
  return block;
}

void huffman_seeds() {
  std::string skewed;
  for (int i = 0; i < 3000; ++i) skewed.push_back(static_cast<char>(__builtin_ctz(i | 0x800) * 7));
  std::string binary;
  for (int i = 0; i < 600; ++i) binary.push_back(static_cast<char>(i * 37 % 256));
  const std::pair<const char*, std::string> inputs[] = {
      {"empty", ""},         {"mississippi", "mississippi"},
      {"ab", "ab"},          {"abc", "abc"},
      {"run", "zzzzzzzzzz"}, {"text", "The quick brown fox jumps over the lazy dog.\n"},
      {"skewed", skewed},    {"binary", binary},
  };
  for (const auto& [name, input] : inputs) write("huffman_decode", name, huffman_encode(input));
  const std::string block = huffman_encode("mississippi");
  write("huffman_decode", "magic-only", "kvhuffcodec");
  write("huffman_decode", "cut-in-table", block.substr(0, 500));
  write("huffman_decode", "cut-in-bits", block.substr(0, block.size() - 1));
  write("huffman_decode", "after-text", "text " + block);
  std::string s = block;
  put_u32(s, 1035, 22);
  write("huffman_decode", "bits-disagree", s);
  s = block;
  s[1039] = '\x0F';
  write("huffman_decode", "bits-decode-wrong", s);
  s = block;
  put_u32(s, 11 + 4 * 'i', 0xFFFFFFF0);
  write("huffman_decode", "total-overflow", s);
  std::string zeros = huffman_encode("");
  put_u32(zeros, 1035, 9);
  zeros += std::string(2, '\xFF');
  write("huffman_decode", "zero-table-with-bits", zeros);
  std::string longest = huffman_encode("z");
  put_u32(longest, 11 + 4 * 'z', KV_Huffman_Codec::kMaxRunLength + 1);
  write("huffman_decode", "run-too-long", longest);
}

// ---- Older plotter configuration files (PC2, CFG, PCP)

void legacy_seeds() {
  const std::string pc2 =
      "PC2Version 2.1\r\n"
      "; comment\r\n"
      "[PlotDriver]\r\nConfigured=1\r\nType = 4\r\nMenuName=\"Pen plotter\"\r\n"
      "[Plotter/Device]\r\nPens=8\r\nDriverData=\"4$Q4,0,2\"\r\n"
      "[Plotter/Device/PenTable]\r\nColor1=1\r\nColor300=5\r\ncolor2=-7\r\n"
      "[Plotter/Device/WidthTable]\r\nColor1=0.25\r\nColor2=0.30000000000 (-#,S,S,STS_8[P)\r\n"
      "[Plotter/Port]\r\nLink=-1\r\nDCB=\"-#,S,S,STS_8[P\"\r\nPortName=COM2\r\n"
      "[Plotter/User]\r\nUserWidth2=420.0\r\nDeviceDriverCell1=3\r\n"
      "[Plotter/DriverCustom]\r\ndmFields=0x0000A30F\r\nOpaque-Q=\"abc\"\r\nPEN#3=\"p\"\r\n"
      "[Plotter/DriverCustom/pen]\r\ncount=8\r\n";
  write("pc2_load", "example", pc2);
  write("pc2_load", "lf", replace_all(pc2, "\r\n", "\n"));
  const std::vector<std::pair<std::string, std::string>> pc2_edges = {
      {"version-only", "PC2Version\n"},
      {"version-no-newline", "PC2Version"},
      {"version-lowercase", "pc2version 1\n[PlotDriver]\nconfigured=1\n"},
      {"version-indented", "  PC2Version 1\n[PlotDriver]\nType=2\n"},
      {"version-blank", "   \n[PlotDriver]\nType=2\n"},
      {"comments-first", "\n;x\n\nPC2Version\nConfigured=1\n"},
      {"values",
       "PC2Version\n[Plotter/DriverCustom]\ndmFields=ff\ndmFields=zz\ndmScale=12abc\n"
       "dmCopies=99999999999\ndmDuplex=\nOpaque-A=\"\nOpaque-B=\"x\nPEN#1=\"a b\"\n"
       "dmPaperWidth=1e999\ndmPaperLength=x\n"},
      {"raw", "PC2Version\n[Plotter/Port]\nDCB=P,$\nDCB=abc\nDCB=\"\"\nDCB=-#,S,S,STS_8[Q\n"},
      {"sections",
       "PC2Version\n[]\n[PlotDriver\n]x[\nno equals\n=1\n[Plotter/User\\UserWidth]\n3=1.5\n"},
      {"keys",
       "PC2Version\n[Plotter/User]\nUserWidth\\x=1.0\nUserWidth*=2.0\nUserWidth1 =3.0\n"
       "[plotter/device/pentable]\nCOLOR5=5\n"},
      {"long-lines", "PC2Version\n[" + std::string(600, 's') +
                         "]\nConfigured=1\n[Plotter/Device/PenTable]\n" + "Color" +
                         std::string(600, '1') + "=1\nPens=" + std::string(1018, '9') + "\n" +
                         "Pens=" + std::string(1019, '9') + "\n"},
      {"high-bytes", "PC2Version \xE9\n[PlotDriver]\nMenuName=\"\x80\xFF\"\n"},
      {"zero-byte", std::string("PC2Version\n[PlotDriver]\nMenuName=a\0b\nType=1\n", 44)},
      {"empty", ""},
  };
  for (const auto& [name, text] : pc2_edges) write("pc2_load", name, text);

  // cfg_load: an instance byte (value % 8 - 1), then the file.
  const std::string cfg =
      "[PlotDriver#1]\nConfigured=1\n[PlotDriver#2]\nConfigured=2\nPathName=\"two\"\n"
      "[Plotter#2/Device/PenTable]\nColor5=3\n[Plotter/Device#2]\nPens=9\n"
      "[Plotter/Port]\nLocal=1\nPortName=[LPT1]\nLocal=2\n"
      "[Plotter#2/DriverCustom]\ndmFields=255\ndmFields=ff\nOpaque-B=b\n"
      "[Plotter# /Device]\nPens=4\n[Plotter#-1/User]\nBaudRate=9600\n";
  for (int instance = -1; instance <= 3; ++instance) {
    write("cfg_load", "instance-" + std::to_string(instance),
          std::string(1, static_cast<char>(instance + 1)) + cfg);
  }
  write("cfg_load", "crlf", std::string(1, '\3') + replace_all(cfg, "\n", "\r\n"));
  write("cfg_load", "syntax",
        std::string(1, '\2') + "PC2Version 1\nno equals\n[]\n[#]\n[x#99999999999]\n=\n" + "[" +
            std::string(700, '#') + "]\nConfigured=1\n" + std::string(1100, 'l') + "\n");
  write("cfg_load", "empty", std::string(1, '\2'));

  const std::string pcp =
      ";Created by Orvane\r\n"
      ";For the driver: Pen plotters\r\n"
      ";For the device: Model 7\r\n"
      "VERSION=2.0\r\nUNITS=M\r\nORIGIN=10.0,15.0\r\nSIZE=ISO_A1:841,594.0\r\nROTATE=90\r\n"
      "HIDE=N\r\nPEN_WIDTH=0.25\r\nSCALE=1=50\r\nPLOT_FILE=plan.plt\r\nFILL_ADJUST=Y\r\n"
      "OPTIMIZE_LEVEL=2\r\n"
      "BEGIN_COLOR=DEFAULT\r\nPEN_NUMBER=MOD16\r\nHW_LINETYPE=0\r\nPEN_SPEED=40\r\n"
      "PEN_WEIGHT=0.25\r\nEND_COLOR\r\n"
      "BEGIN_COLOR=1\r\nPEN_NUMBER=2\r\nPEN_WEIGHT=0.5\r\nEND_COLOR\r\n";
  write("pcp_load", "example", pcp);
  write("pcp_load", "lf", replace_all(pcp, "\r\n", "\n"));
  std::string blocks = ";Created by Orvane\n";
  for (int i = 0; i < 140; ++i) blocks += "BEGIN_COLOR=1234567\n";
  blocks += "ROTATE=1\n";
  const std::vector<std::pair<std::string, std::string>> pcp_edges = {
      {"no-header", "VERSION=2.0\n;For the driver: x\nROTATE=1\n"},
      {"kinds",
       ";created by orvane\nVERSION=2\nVERSION=.\nPLOT_FILE=true\nPLOT_FILE\nPLOT_FILE=_x\n"
       "HIDE=yes\nUNITS=_i\nROTATE=-\nROTATE=99999999999\nPEN_WIDTH=1.2.3\n=5\nCOLOR=1\n"},
      {"numbers",
       ";Created by Orvane\nORIGIN=0,0\nORIGIN=0.5\nORIGIN=,1.0\nSIZE=MAX\nSIZE=:1,2.0\n"
       "SIZE=A:x,1.0\nSIZE=B:1,2\nSIZE=C:1\nSCALE=F\nSCALE=1\nSCALE=1=x\nSCALE=_1=2.\n"},
      {"default-block",
       ";Created by Orvane\nBEGIN_COLOR=DEFAULT\nPEN_NUMBER=*\nPEN_WEIGHT=abc\nPEN_SPEED=7x\n"
       "BEGIN_COLOR=9\nEND_COLOR\nEND_COLOR\nEND_COLOR\nBEGIN_COLOR=-\nBEGIN_COLOR=red\n"
       "BEGIN_COLOR=\nBEGIN_COLOR=DEFAULT\n"},
      {"default-repeats",
       ";Created by Orvane\nBEGIN_COLOR=DEFAULT\nPEN_SPEED=1\nPEN_SPEED=2\nPEN_NUMBER=MOD16\n"
       "PEN_NUMBER=*\nEND_COLOR\nBEGIN_COLOR=3\nPEN_SPEED=9\nBEGIN_COLOR=DEFAULT\n"
       "PEN_WEIGHT=0.5\nPEN_WEIGHT=0.7\nEND_COLOR\nEND_COLOR\nBEGIN_COLOR=DEFAULT\nPEN_SPEED=4\n"},
      {"deep-blocks", blocks},
      {"long-lines", ";Created by Orvane\n" + std::string(600, 'K') + "=1\nPLOT_FILE=" +
                         std::string(1013, 'f') + "\nPLOT_FILE=" + std::string(1014, 'f') + "\n"},
      {"versions", "VERSION=1.0\nVERSION=\n  version = 2.0  \r\n"},
      {"empty", ""},
  };
  for (const auto& [name, text] : pcp_edges) write("pcp_load", name, text);
}

}  // namespace

// make_corpus_pdt.cc
void pdt_seeds(void (*write)(const std::string& target, const std::string& name,
                             const std::string& bytes),
               const std::filesystem::path& corpus);

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  g_root = argv[1];
  pia_seeds();
  codec_seeds();
  text_seeds();
  path_seeds();
  dpia_seeds();
  huffman_seeds();
  pdt_seeds(write, g_root);
  legacy_seeds();
  doc_seeds(g_root, g_files, g_bytes);
  std::printf("%zu seed files, %zu bytes\n", g_files, g_bytes);
  return 0;
}
