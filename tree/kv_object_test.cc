// Copyright the kvstore authors.
#include "kvstore/kv_object.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kvstore/kv_exceptions.h"
#include "kvstore/kv_platform.h"
#include "platform/codepage.h"

namespace {

// Runs f and returns the id of the KV_Warning it throws (0 when none).
template <typename F>
unsigned warning_id(F&& f, std::u16string* argument = nullptr) {
  try {
    f();
  } catch (const KV_Warning& e) {
    if (argument != nullptr) *argument = e.argument() != nullptr ? e.argument() : u"<null>";
    return e.id();
  }
  return 0;
}

TEST(KvObject, SetAndGetEveryTypeByPath) {
  KV_Object kv;
  kv.SetProperty(u"\\a\\b\\c", 5);
  int i = 0;
  EXPECT_TRUE(kv.GetProperty(u"\\a\\b\\c", i));
  EXPECT_EQ(i, 5);
  EXPECT_TRUE(kv.pathExists(u"\\a\\b"));

  kv.SetProperty(u"\\l", -7L);
  long l = 0;
  EXPECT_TRUE(kv.GetProperty(u"\\l", l));
  EXPECT_EQ(l, -7);
  EXPECT_EQ(kv.getPropertySize(u"\\l"), 4u);

  kv.SetProperty(u"\\flag", true);
  bool flag = false;
  EXPECT_TRUE(kv.GetProperty(u"\\flag", flag));
  EXPECT_TRUE(flag);
  EXPECT_EQ(kv.getPropertySize(u"\\flag"), 1u);

  kv.SetProperty(u"\\d", 2.5);
  double d = 0;
  EXPECT_TRUE(kv.GetProperty(u"\\d", d));
  EXPECT_EQ(d, 2.5);
  const float f_in = 0.1f;
  kv.SetProperty(u"\\f", f_in);
  EXPECT_TRUE(kv.GetProperty(u"\\f", d));
  EXPECT_EQ(d, static_cast<double>(0.1f));  // widened, not rounded to 0.1
  float f = 0;
  EXPECT_TRUE(kv.GetProperty(u"\\f", f));
  EXPECT_EQ(f, 0.1f);

  kv.SetProperty(u"\\w", u"hi");
  EXPECT_EQ(kv.getPropertySize(u"\\w"), 6u);
  char16_t wide[3] = {};
  EXPECT_TRUE(kv.GetProperty(u"\\w", wide, sizeof(wide)));
  EXPECT_EQ(std::u16string(wide), u"hi");

  const unsigned char* narrow = reinterpret_cast<const unsigned char*>("A4");
  kv.SetProperty(u"\\n", narrow);
  unsigned char text[8] = {};
  EXPECT_EQ(kv.getPropertySize(u"\\n"), 3u);
  EXPECT_TRUE(kv.GetProperty(u"\\n", text, sizeof(text)));
  EXPECT_STREQ(reinterpret_cast<char*>(text), "A4");

  const unsigned char raw[3] = {0x00, 0xAB, 0xFF};
  kv.setVoidProperty(u"\\raw", raw, 3);
  unsigned char back[3] = {};
  EXPECT_TRUE(kv.getVoidProperty(u"\\raw", back, 3));
  EXPECT_EQ(std::memcmp(raw, back, 3), 0);
}

TEST(KvObject, IndexReplacesTheFirstStarOrBecomesTheLastComponent) {
  KV_Object kv;
  kv.SetProperty(u"\\pens", 7, 2);
  int i = 0;
  EXPECT_TRUE(kv.GetProperty(u"\\pens\\2", i));
  EXPECT_EQ(i, 7);
  kv.SetProperty(u"\\pen*\\width", 1.5, 4);
  kv.SetProperty(u"\\pen*\\width", 2.5, -1);
  double d = 0;
  EXPECT_TRUE(kv.GetProperty(u"\\pen4\\width", d));
  EXPECT_EQ(d, 1.5);
  EXPECT_TRUE(kv.GetProperty(u"\\pen-1\\width", d));
  EXPECT_EQ(d, 2.5);
  kv.SetProperty(u"\\m*\\x*", 1, 3);        // only the first star is replaced
  EXPECT_TRUE(kv.pathExists(u"\\m3\\x*"));  // no index: the text as it stands
  // Even an index of -1 replaces a star.
  EXPECT_FALSE(kv.GetProperty(u"\\m3\\x*", i));
  EXPECT_TRUE(kv.GetProperty(u"\\m*\\x*", i, 3));
  EXPECT_TRUE(kv.GetProperty(u"\\pens", i, 2));
}

TEST(KvObject, BoundTypesAreEnforcedUnboundOnesCopyBytesThatFit) {
  KV_Object kv;
  kv.SetProperty(u"\\checked", 1.0);
  int i = 99;
  EXPECT_FALSE(kv.GetProperty(u"\\checked", i));
  EXPECT_EQ(i, 99);
  EXPECT_EQ(warning_id([&] { kv.SetProperty(u"\\checked", 3); }), 54u);
  double d = 0;
  EXPECT_TRUE(kv.GetProperty(u"\\checked", d));
  EXPECT_EQ(d, 1.0);

  // An unchecked double does not fit an int: false, int unchanged.
  kv.SetProperty(u"\\loose", 1.0, -1, false);
  EXPECT_FALSE(kv.GetProperty(u"\\loose", i));
  EXPECT_EQ(i, 99);
  // An unchecked int fills the first 4 bytes of a double.
  kv.SetProperty(u"\\loose", 0x01020304, -1, false);
  EXPECT_EQ(kv.getPropertySize(u"\\loose"), 4u);
  double target = 0;
  EXPECT_TRUE(kv.GetProperty(u"\\loose", target));
  int32_t low = 0;
  std::memcpy(&low, &target, 4);
  EXPECT_EQ(low, 0x01020304);
  // A checked write over an unchecked property may change its type.
  kv.SetProperty(u"\\loose", true);
  EXPECT_EQ(warning_id([&] { kv.SetProperty(u"\\loose", 1); }), 54u);
}

TEST(KvObject, MissingThingsReadAsFalseOrZero) {
  KV_Object kv;
  kv.SetProperty(u"\\a\\b", 1);
  float f = 3.0f;
  EXPECT_FALSE(kv.GetProperty(u"\\a\\missing", f));
  EXPECT_EQ(f, 0.0f);
  f = 3.0f;
  kv.SetProperty(u"\\a\\i", 1);
  EXPECT_FALSE(kv.GetProperty(u"\\a\\i", f));  // a warning leaves it unchanged
  EXPECT_EQ(f, 3.0f);
  int i = 4;
  EXPECT_FALSE(kv.GetProperty(u"\\b\\a", i));  // node b is missing
  EXPECT_FALSE(kv.GetProperty(u"\\nowhere", i));
  EXPECT_FALSE(kv.GetProperty(u"", i));
  EXPECT_FALSE(kv.GetProperty(nullptr, i));
  EXPECT_EQ(i, 4);
  EXPECT_EQ(kv.getPropertySize(u"\\a\\missing"), 0u);
  EXPECT_EQ(kv.getPropertySize(u"\\a"), 0u);  // a node, not a property
  char16_t wide[4];
  EXPECT_FALSE(kv.GetProperty(u"\\a\\b", wide, static_cast<std::size_t>(-1)));
}

TEST(KvObject, ShortBuffersLeaveTheOutputAlone) {
  KV_Object kv;
  kv.SetProperty(u"\\w", u"abc");
  char16_t buffer[4] = {u'x', u'x', u'x', u'x'};
  EXPECT_FALSE(kv.GetProperty(u"\\w", buffer, 7));  // needs 8 bytes
  EXPECT_EQ(buffer[0], u'x');
  EXPECT_TRUE(kv.GetProperty(u"\\w", buffer, 8));
  const unsigned char raw[5] = {1, 2, 3, 4, 5};
  kv.setVoidProperty(u"\\r", raw, 5);
  unsigned char small[4] = {9, 9, 9, 9};
  EXPECT_FALSE(kv.getVoidProperty(u"\\r", small, 4));
  EXPECT_EQ(small[0], 9);
}

TEST(KvObject, LongTextIsCutAndKeepsItsTerminator) {
  KV_Object kv;
  std::u16string wide(5000, u'w');
  kv.SetProperty(u"\\w", wide.c_str());
  EXPECT_EQ(kv.getPropertySize(u"\\w"), 4097u * 2);
  std::u16string back(4097, u'?');
  ASSERT_TRUE(kv.GetProperty(u"\\w", back.data(), back.size() * 2));
  EXPECT_EQ(back[4095], u'w');
  EXPECT_EQ(back[4096], 0);
  std::string narrow(4096, 'n');
  kv.SetProperty(u"\\n", reinterpret_cast<const unsigned char*>(narrow.c_str()));
  EXPECT_EQ(kv.getPropertySize(u"\\n"), 4097u);  // exactly 4096 fits whole
  narrow += "more";
  kv.SetProperty(u"\\n2", reinterpret_cast<const unsigned char*>(narrow.c_str()));
  EXPECT_EQ(kv.getPropertySize(u"\\n2"), 4097u);
}

TEST(KvObject, NarrowTextCountsCharactersOfTheCodePage) {
  ASSERT_TRUE(kv_set_ansi_codepage(kCodepageUtf8));
  KV_Object kv;
  std::string text;
  for (int i = 0; i < 4100; ++i) text += "\xC3\xA9";  // é, two bytes each
  kv.SetProperty(u"\\n", reinterpret_cast<const unsigned char*>(text.c_str()));
  EXPECT_EQ(kv.getPropertySize(u"\\n"), 4096u * 2 + 1);
  ASSERT_TRUE(kv_set_ansi_codepage(kCodepageWindows1252));
}

TEST(KvObject, PathsBeyondTheWorkBufferAreRefused) {
  KV_Object kv;
  std::u16string longest(1022, u'x');
  kv.SetProperty(longest.c_str(), 1);
  int i = 0;
  EXPECT_TRUE(kv.GetProperty(longest.c_str(), i));
  std::u16string too_long(1023, u'y');
  std::u16string argument;
  EXPECT_EQ(warning_id([&] { kv.SetProperty(too_long.c_str(), 1); }, &argument), 51u);
  EXPECT_EQ(argument, too_long);
  // The index would make the composed path too long.
  EXPECT_EQ(warning_id([&] { kv.SetProperty(longest.c_str(), 1, 12); }), 51u);
  EXPECT_FALSE(kv.GetProperty(too_long.c_str(), i));
  EXPECT_EQ(kv.getPropertySize(too_long.c_str()), 0u);
}

TEST(KvObject, PathExistsOnlyLooksUpTheNodesBeforeTheLastName) {
  KV_Object kv;
  kv.SetProperty(u"\\a\\b", 1);
  kv.SetProperty(u"\\other\\x", 1);
  EXPECT_TRUE(kv.pathExists(u"\\a\\x"));   // x is a name used elsewhere
  EXPECT_FALSE(kv.pathExists(u"\\a\\q"));  // q occurs nowhere
  EXPECT_FALSE(kv.pathExists(u"\\b\\a"));  // no node b under the root
  EXPECT_FALSE(kv.pathExists(u""));
  EXPECT_FALSE(kv.pathExists(u"\\"));
  std::u16string deep;
  for (int n = 0; n < 300; ++n) deep += u"\\a";
  EXPECT_FALSE(kv.pathExists(deep.c_str()));  // 51 while parsing gives false
}

TEST(KvObject, DeleteRemovesThePropertyBeforeTheNode) {
  KV_Object kv;
  kv.SetProperty(u"\\n\\x", 1);         // property x
  kv.SetProperty(u"\\n\\x\\inner", 2);  // node x
  kv.deletePath(u"\\n\\x");
  int i = 0;
  EXPECT_FALSE(kv.GetProperty(u"\\n\\x", i));
  EXPECT_TRUE(kv.GetProperty(u"\\n\\x\\inner", i));
  kv.deletePath(u"\\n\\x");
  EXPECT_FALSE(kv.GetProperty(u"\\n\\x\\inner", i));
  EXPECT_FALSE(kv.pathExists(u"\\n\\x"));  // x left the name table
  std::u16string argument;
  EXPECT_EQ(warning_id([&] { kv.deletePath(u"\\n\\x"); }), 51u);  // unknown name
  kv.SetProperty(u"\\other\\y", 1);
  EXPECT_EQ(warning_id([&] { kv.deletePath(u"\\n\\y"); }, &argument), 52u);
  EXPECT_EQ(argument, u"\\n\\y");
  EXPECT_EQ(warning_id([&] { kv.deletePath(u"\\y\\y"); }), 52u);  // node y missing
  EXPECT_EQ(warning_id([&] { kv.deletePath(u""); }), 51u);
}

TEST(KvObject, CallsThatFollowEachOtherThroughOneNodeStayExact) {
  // Stores and reads go through the memo of the previous call's node; every
  // spelling of a path, every delete and the component limit must still
  // behave as a full parse does.
  KV_Object kv;
  kv.SetProperty(u"\\a\\b\\x", 1);
  kv.SetProperty(u"a\\b\\y", 2);
  kv.SetProperty(u"\\ab\\y", 3);  // shares text with \a\b, not names
  int v = 0;
  EXPECT_TRUE(kv.GetProperty(u"\\a\\\\b\\y", v));
  EXPECT_EQ(v, 2);
  EXPECT_TRUE(kv.GetProperty(u"\\ab\\y", v));
  EXPECT_EQ(v, 3);
  EXPECT_FALSE(kv.GetProperty(u"\\a\\b\\z", v));
  EXPECT_FALSE(kv.GetProperty(u"\\a\\zz\\x", v));
  kv.deletePath(u"\\a\\b");
  EXPECT_FALSE(kv.GetProperty(u"\\a\\b\\x", v));
  kv.SetProperty(u"\\a\\b\\x", 4);
  EXPECT_TRUE(kv.GetProperty(u"\\a\\b\\x", v));
  EXPECT_EQ(v, 4);
  EXPECT_FALSE(kv.GetProperty(u"\\a\\b\\y", v));  // a new node b
  // The composed text of an index lives in a work buffer of one call.
  kv.SetProperty(u"\\p*\\w", 7, 7);
  EXPECT_FALSE(kv.GetProperty(u"\\p*\\w", v, 8));
  EXPECT_TRUE(kv.GetProperty(u"\\p7\\w", v));
  EXPECT_EQ(v, 7);
  // 256 components are stored; a 257th is refused before anything is made.
  std::u16string deep;
  for (int i = 0; i < 255; ++i) deep += u"\\d";
  kv.SetProperty((deep + u"\\v").c_str(), 5);
  EXPECT_TRUE(kv.GetProperty((deep + u"\\v").c_str(), v));
  EXPECT_EQ(v, 5);
  EXPECT_EQ(warning_id([&] { kv.SetProperty((deep + u"\\e\\v").c_str(), 6); }), 51u);
  EXPECT_FALSE(kv.pathExists(u"\\e"));  // e was never kept in the tree
  EXPECT_FALSE(kv.GetProperty((deep + u"\\d\\v").c_str(), v));
}

TEST(KvObject, FailuresCarryTheirSourceAndArgument) {
  KV_Object kv;
  try {
    kv.SetProperty(u"\\\\", 1);
    FAIL();
  } catch (const KV_Warning& e) {
    EXPECT_EQ(e.id(), 51u);
    EXPECT_EQ(std::u16string(e.source()), u"KV_Object::SetData()");
    EXPECT_EQ(std::u16string(e.argument()), u"\\\\");
    EXPECT_EQ(std::u16string(e.file()), u"$Workfile: kvobj.cc $ $Revision: 1 $");
  }
  kv.SetProperty(u"\\t", 1);
  try {
    kv.SetProperty(u"\\t", true);
    FAIL();
  } catch (const KV_Warning& e) {
    EXPECT_EQ(e.id(), 54u);
    EXPECT_EQ(e.argument(), nullptr);
  }
  // A failed store keeps the nodes that it created on the way.
  kv.SetProperty(u"\\t2", 1);
  EXPECT_EQ(warning_id([&] { kv.SetProperty(u"\\t2", 1.0); }), 54u);
  EXPECT_EQ(warning_id([&] { kv.SetProperty(u"\\new\\t", 1.0); }), 0u);
}

}  // namespace
