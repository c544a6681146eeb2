// Copyright the kvstore authors.
//
// host_check: a host that includes only <kvstore/kvstore.h> and links only
// libkvstore.so, checking through the exported interface alone what hosts
// rely on: typed values by path, walking and rendering a tree, copying a
// sub-tree, saving and loading a file, and catching the library's exceptions
// across the library boundary. Exits 1 on the first failed check.
#include <kvstore/kvstore.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>

namespace {

int g_failures = 0;

#define CHECK(condition)                                                                 \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      ++g_failures;                                                                      \
    }                                                                                    \
  } while (0)

// The id of the KV_Warning that f throws, 0 when it throws none.
template <typename F>
unsigned warning_of(F&& f) {
  try {
    f();
  } catch (const KV_Warning& e) {
    return e.id();
  }
  return 0;
}

void values_by_path() {
  KV_Object kv;
  kv.SetProperty(u"\\a\\b\\c", 5);
  int i = 0;
  CHECK(kv.GetProperty(u"\\a\\b\\c", i) && i == 5);

  kv.SetProperty(u"\\pens", 7, 2);
  CHECK(kv.GetProperty(u"\\pens\\2", i) && i == 7);

  kv.SetProperty(u"\\pen*\\width", 1.5, 4);
  kv.SetProperty(u"\\pen*\\width", 2.5, -1);
  double d = 0;
  CHECK(kv.GetProperty(u"\\pen4\\width", d) && d == 1.5);
  CHECK(kv.GetProperty(u"\\pen-1\\width", d) && d == 2.5);

  kv.SetProperty(u"\\checked", 1.0);
  i = 99;
  CHECK(!kv.GetProperty(u"\\checked", i) && i == 99);
  kv.SetProperty(u"\\loose", 1.0, -1, false);
  CHECK(!kv.GetProperty(u"\\loose", i));  // 8 bytes do not fit an int

  CHECK(warning_of([&] { kv.SetProperty(u"\\checked", 3); }) == 54);
  kv.SetProperty(u"\\loose", 3, -1, false);
  CHECK(kv.getPropertySize(u"\\loose") == 4);

  kv.SetProperty(u"\\w", u"abc");
  char16_t small[3] = {u'x', u'x', u'x'};
  CHECK(!kv.GetProperty(u"\\w", small, sizeof(small)) && small[0] == u'x');

  float f = 3.0f;
  CHECK(!kv.GetProperty(u"\\missing\\float", f) && f == 0.0f);

  CHECK(kv.getPropertySize(u"\\nowhere") == 0);
  kv.SetProperty(u"\\two", u"hi");
  CHECK(kv.getPropertySize(u"\\two") == 6);

  kv.SetProperty(u"\\n\\x", 1);
  CHECK(kv.pathExists(u"\\n\\c"));  // c names a property elsewhere
  CHECK(!kv.pathExists(u"\\n\\zz"));

  kv.SetProperty(u"\\n\\x\\inner", 2);
  kv.deletePath(u"\\n\\x");
  CHECK(!kv.GetProperty(u"\\n\\x", i) && kv.GetProperty(u"\\n\\x\\inner", i));
  kv.deletePath(u"\\n\\x");
  CHECK(!kv.GetProperty(u"\\n\\x\\inner", i));
}

void walk_render_and_copy() {
  KV_Object kv;
  kv.SetProperty(u"\\S\\A\\A1\\v", -5);
  kv.SetProperty(u"\\S\\A\\A2\\flag", true);
  kv.SetProperty(u"\\S\\B\\w", u"abc");
  const unsigned char raw[2] = {0x01, 0xFF};
  kv.setVoidProperty(u"\\S\\B\\raw", raw, 2);
  kv.SetProperty(u"\\S\\d", 0.1 + 0.2);

  std::unique_ptr<KV_Iterator> it(kv.newIterator(u"\\S", 0));
  CHECK(it != nullptr);
  std::string walk;
  std::string values;
  char* data = nullptr;
  std::size_t size = 0;
  PropType type = PROP_NONE;
  auto render = [&] {
    while (it->nextProp(data, size, type) != nullptr) {
      if (type == PROP_DOUBLE) {
        for (const char16_t* c = reinterpret_cast<const char16_t*>(data); *c != 0; ++c) {
          values += static_cast<char>(*c);
        }
      } else if (type == PROP_STRING) {
        values += std::to_string(size);
      } else {
        values += data;
      }
      values += ";";
    }
  };
  render();
  KV_Object::NodeType move;
  while (const char16_t* name = it->nextNode(move)) {
    walk += static_cast<char>(name[0]);
    if (name[1] != 0) walk += static_cast<char>(name[1]);
    walk += move == KV_Object::NODE_CHILD ? 'c' : move == KV_Object::NODE_NEXT ? 'n' : 'u';
    walk += ' ';
    if (move != KV_Object::NODE_UP) render();
  }
  CHECK(walk == "Ac A1c A2n Au Bn Su ");
  CHECK(values == "0.30000000000 (-#,S,S,STS_8[P);-5;TRUE;9;01FF;");

  kv.SetProperty(u"\\T\\keep", 1);
  kv.duplicate(u"\\S", u"\\T");
  int v = 0;
  CHECK(kv.GetProperty(u"\\T\\A\\A1\\v", v) && v == -5);
  CHECK(kv.GetProperty(u"\\T\\keep", v) && v == 1);
  try {
    kv.duplicate(u"\\S\\A", u"\\X\\A");
    CHECK(false);
  } catch (const KV_Severe& e) {
    CHECK(e.id() == 70);
  }

  double exact = 0;
  CHECK(stringtodouble(u"0.30000000000 (-#,S,S,STS_8[P)", &exact) == 1 && exact == 0.1 + 0.2);
}

void files_and_errors() {
  KV_Object kv;
  kv.SetProperty(u"\\dev\\version", 2);
  kv.SetProperty(u"\\dev\\media\\width", 210.0);
  std::stringstream stream;
  kv.save(&stream, KV_Object::FT_PIA, u"compress", u"\\dev");
  KV_Object back;
  back.load(&stream, KV_Object::FT_PIA, u"\\copy");
  double width = 0;
  CHECK(back.GetProperty(u"\\copy\\media\\width", width) && width == 210.0);

  try {
    back.load(u"/nonexistent/kvstore/file.pia", KV_Object::FT_PIA, u"\\");
    CHECK(false);
  } catch (const GX_Severe_Error& e) {
    CHECK(e.id() == 63);
    CHECK(e.severity() == 4);
  }
  std::stringstream bad("PIAFILEVERSION_2.0,\nx=yes\n");
  try {
    back.load(&bad, KV_Object::FT_PIA, u"\\");
    CHECK(false);
  } catch (const GX_Exception& e) {
    CHECK(e.id() == 88);
  }
}

}  // namespace

int main() {
  values_by_path();
  walk_render_and_copy();
  files_and_errors();
  if (g_failures != 0) {
    std::fprintf(stderr, "%d checks failed\n", g_failures);
    return 1;
  }
  std::printf("host checks passed\n");
  return 0;
}
