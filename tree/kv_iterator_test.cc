// Copyright the kvstore authors.
#include "kvstore/kv_iterator.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kvstore/kv_exceptions.h"
#include "kvstore/kv_object.h"
#include "tree/kv_alloc.h"
#include "tree/kv_node.h"
#include "tree/kv_property.h"

namespace {

std::u16string text(const char16_t* s) {
  return s != nullptr ? std::u16string(s) : u"<null>";
}

// "name:move" for every step of the walk, moves as c(hild), n(ext), u(p).
std::vector<std::u16string> walk(KV_Iterator& it) {
  std::vector<std::u16string> steps;
  KV_Object::NodeType move;
  while (const char16_t* name = it.nextNode(move)) {
    steps.push_back(text(name) + (move == KV_Object::NODE_CHILD  ? u":c"
                                  : move == KV_Object::NODE_NEXT ? u":n"
                                                                 : u":u"));
  }
  return steps;
}

struct Rendered {
  std::u16string name;
  PropType type;
  std::size_t size;
  std::string bytes;
};

// Every property of the iterator's current node, rendered.
std::vector<Rendered> properties(KV_Iterator& it) {
  std::vector<Rendered> out;
  char* data = nullptr;
  std::size_t size = 0;
  PropType type = PROP_NONE;
  while (const char16_t* name = it.nextProp(data, size, type)) {
    out.push_back({name, type, size, std::string(data, size)});
  }
  EXPECT_EQ(data, nullptr);
  return out;
}

void build_s_tree(KV_Object& kv) {
  kv.SetProperty(u"\\S\\A\\A1\\x", 1);
  kv.SetProperty(u"\\S\\A\\A2\\x", 2);
  kv.SetProperty(u"\\S\\B\\x", 3);
  kv.SetProperty(u"\\T\\x", 4);  // a sibling of S the walk must not reach
}

TEST(KvIterator, WalksDepthFirstAndClimbsBackToTheStart) {
  KV_Object kv;
  build_s_tree(kv);
  std::unique_ptr<KV_Iterator> it(kv.newIterator(u"\\S", 0));
  ASSERT_NE(it, nullptr);
  EXPECT_EQ(text(it->getCurrentNodeName()), u"S");
  EXPECT_EQ(walk(*it),
            (std::vector<std::u16string>{u"A:c", u"A1:c", u"A2:n", u"A:u", u"B:n", u"S:u"}));
  KV_Object::NodeType move = KV_Object::NODE_CHILD;
  EXPECT_EQ(it->nextNode(move), nullptr);
  EXPECT_EQ(move, KV_Object::NODE_CHILD);  // unchanged once the walk is over
  EXPECT_EQ(it->getCurrentNodeName(), nullptr);
  char* data = nullptr;
  std::size_t size = 0;
  PropType type;
  EXPECT_EQ(it->nextProp(data, size, type), nullptr);

  std::unique_ptr<KV_Iterator> root(kv.newIterator(u"\\", 0));
  EXPECT_EQ(walk(*root), (std::vector<std::u16string>{u"S:c", u"A:c", u"A1:c", u"A2:n", u"A:u",
                                                      u"B:n", u"S:u", u"T:n", u"Root:u"}));
}

TEST(KvIterator, DepthLimitsTheWalk) {
  KV_Object kv;
  build_s_tree(kv);
  std::unique_ptr<KV_Iterator> one(kv.newIterator(u"\\S", 1));
  EXPECT_EQ(walk(*one), (std::vector<std::u16string>{u"A:c", u"B:n", u"S:u"}));
  std::unique_ptr<KV_Iterator> two(kv.newIterator(u"\\S", 2));
  EXPECT_EQ(walk(*two).size(), 6u);
  std::unique_ptr<KV_Iterator> never(kv.newIterator(u"\\S", -1));
  EXPECT_TRUE(walk(*never).empty());
  std::unique_ptr<KV_Iterator> leaf(kv.newIterator(u"\\S\\B", 0));
  EXPECT_TRUE(walk(*leaf).empty());  // no children: the walk ends at once
}

TEST(KvIterator, StartPathsThatNameNothing) {
  KV_Object kv;
  build_s_tree(kv);
  EXPECT_EQ(kv.newIterator(u"", 0), nullptr);
  EXPECT_EQ(kv.newIterator(u"\\\\", 0), nullptr);
  EXPECT_EQ(kv.newIterator(nullptr, 0), nullptr);
  EXPECT_EQ(kv.newIterator(u"\\unknown", 0), nullptr);
  // Known names, but no such node (x is a property): an empty iterator.
  std::unique_ptr<KV_Iterator> empty(kv.newIterator(u"\\S\\x", 0));
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->currentNode(), nullptr);
  EXPECT_TRUE(walk(*empty).empty());
  EXPECT_TRUE(properties(*empty).empty());
}

TEST(KvIterator, RendersEveryType) {
  KV_Object kv;
  kv.SetProperty(u"\\n\\flag", true);
  kv.SetProperty(u"\\n\\off", false);
  kv.SetProperty(u"\\n\\i", -5);
  kv.SetProperty(u"\\n\\w", u"abc");
  kv.SetProperty(u"\\n\\narrow", reinterpret_cast<const unsigned char*>("ab"));
  const unsigned char raw[2] = {0x01, 0xFF};
  kv.setVoidProperty(u"\\n\\raw", raw, 2);
  kv.SetProperty(u"\\n\\d", 5.0);
  std::unique_ptr<KV_Iterator> it(kv.newIterator(u"\\n", 0));
  std::vector<Rendered> props = properties(*it);
  ASSERT_EQ(props.size(), 7u);
  EXPECT_EQ(props[0].type, PROP_BOOL);
  EXPECT_EQ(props[0].size, 8u);
  EXPECT_EQ(props[0].bytes, std::string("TRUE\0\0\0\0", 8));
  EXPECT_EQ(props[1].bytes, std::string("FALSE\0\0\0", 8));
  EXPECT_EQ(props[2].type, PROP_INT);
  EXPECT_EQ(props[2].size, 12u);
  EXPECT_STREQ(props[2].bytes.c_str(), "-5");
  EXPECT_EQ(props[3].type, PROP_STRING);
  EXPECT_EQ(props[3].size, 9u);  // 3 wide characters, terminator, one more byte
  EXPECT_EQ(props[3].bytes.substr(0, 8), std::string("a\0b\0c\0\0\0", 8));
  EXPECT_EQ(props[4].size, 4u);
  EXPECT_STREQ(props[4].bytes.c_str(), "ab");
  EXPECT_EQ(props[5].type, PROP_VOID);
  EXPECT_EQ(props[5].size, 5u);
  EXPECT_EQ(props[5].bytes, std::string("01FF\0", 5));
  EXPECT_EQ(props[6].type, PROP_DOUBLE);
  EXPECT_EQ(props[6].size, 128u);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(props[6].bytes.data())), u"5.0");
}

TEST(KvIterator, EmptyRawValuesCannotBeRendered) {
  KV_Object kv;
  const unsigned char raw[1] = {7};
  kv.setVoidProperty(u"\\had", raw, 1);
  kv.setVoidProperty(u"\\had", raw, 0);  // had a buffer, now empty
  kv.setVoidProperty(u"\\never", raw, 0);
  std::unique_ptr<KV_Iterator> it(kv.newIterator(u"\\", 0));
  char* data = nullptr;
  std::size_t size = 0;
  PropType type;
  try {
    it->nextProp(data, size, type);
    FAIL();
  } catch (const KV_Error& e) {
    EXPECT_EQ(e.id(), 53u);
    EXPECT_EQ(std::u16string(e.source()), u"kvobj");
    EXPECT_EQ(std::u16string(e.argument()), u"bad raw data value");
  }
  try {
    it->nextProp(data, size, type);
    FAIL();
  } catch (const KV_Warning& e) {
    EXPECT_EQ(e.id(), 59u);
    EXPECT_EQ(std::u16string(e.argument()), u"never");
  }
  EXPECT_EQ(data, nullptr);
}

TEST(KvIterator, AnUntypedPropertyEndsTheListing) {
  KV_Object kv;
  kv.SetProperty(u"\\a", 1);
  kv.SetProperty(u"\\c", 3);
  std::unique_ptr<KV_Iterator> it(kv.newIterator(u"\\", 0));
  // A property that was created but never written, between a and c.
  auto* root = const_cast<KV_Node*>(it->currentNode());
  root->DeleteProp(root->m_lastProp);
  root->AddProp(u"none");
  kv.SetProperty(u"\\c", 3);
  char* data = nullptr;
  std::size_t size = 0;
  PropType type = PROP_INT;
  ASSERT_NE(it->nextProp(data, size, type), nullptr);
  EXPECT_EQ(it->nextProp(data, size, type), nullptr);
  EXPECT_EQ(type, PROP_NONE);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(text(it->currentProp()->m_name), u"none");
}

TEST(KvDuplicate, CopiesTheSubTreeAndKeepsWhatTheDestinationHad) {
  KV_Object kv;
  kv.SetProperty(u"\\a\\p", 1);
  kv.SetProperty(u"\\a\\q", u"text", -1, false);
  kv.SetProperty(u"\\a\\child\\deep\\v", 2.5);
  kv.SetProperty(u"\\a\\other\\w", true);
  kv.SetProperty(u"\\b\\p", 9);
  kv.duplicate(u"\\a", u"\\b");
  int i = 0;
  EXPECT_TRUE(kv.GetProperty(u"\\b\\p", i));
  EXPECT_EQ(i, 9);  // kept
  char16_t q[8] = {};
  EXPECT_TRUE(kv.GetProperty(u"\\b\\q", q, sizeof(q)));
  EXPECT_EQ(std::u16string(q), u"text");
  kv.SetProperty(u"\\b\\q", 5);  // the unchecked flag was copied too
  double d = 0;
  EXPECT_TRUE(kv.GetProperty(u"\\b\\child\\deep\\v", d));
  EXPECT_EQ(d, 2.5);
  bool w = false;
  EXPECT_TRUE(kv.GetProperty(u"\\b\\other\\w", w));
  std::unique_ptr<KV_Iterator> it(kv.newIterator(u"\\b", 0));
  EXPECT_EQ(walk(*it),
            (std::vector<std::u16string>{u"child:c", u"deep:c", u"child:u", u"other:n", u"b:u"}));
  // A missing source still creates the destination chain.
  kv.SetProperty(u"\\z\\x", 1);
  kv.duplicate(u"\\z\\x", u"\\new\\chain");
  EXPECT_TRUE(kv.pathExists(u"\\new\\chain"));
}

TEST(KvDuplicate, RefusesAndFails) {
  KV_Object kv;
  kv.SetProperty(u"\\a\\b\\v", 1);
  try {
    kv.duplicate(u"\\a\\b", u"\\x\\b");
    FAIL();
  } catch (const KV_Severe& e) {
    EXPECT_EQ(e.id(), 70u);
    EXPECT_EQ(std::u16string(e.source()), u"KV_Object::duplicate()");
    EXPECT_EQ(e.argument(), nullptr);
  }
  EXPECT_FALSE(kv.pathExists(u"\\x\\b"));
  try {
    kv.duplicate(u"", u"\\y");
    FAIL();
  } catch (const KV_Memory_Exception& e) {
    EXPECT_EQ(e.id(), 55u);
    EXPECT_EQ(std::u16string(e.argument()), u"piter");
  }
  // An empty raw value ends the copy; what was copied before stays.
  kv.SetProperty(u"\\s\\first", 1);
  const unsigned char raw[1] = {1};
  kv.setVoidProperty(u"\\s\\empty", raw, 0);
  EXPECT_THROW(kv.duplicate(u"\\s", u"\\t"), KV_Warning);
  int i = 0;
  EXPECT_TRUE(kv.GetProperty(u"\\t\\first", i));
}

TEST(KvDuplicate, CopyOfTheWholeTreeEnds) {
  KV_Object kv;
  kv.SetProperty(u"\\a\\v", 1);
  kv.SetProperty(u"\\top", 2);
  kv.duplicate(u"\\", u"\\copy");
  int i = 0;
  EXPECT_TRUE(kv.GetProperty(u"\\copy\\a\\v", i));
  EXPECT_TRUE(kv.GetProperty(u"\\copy\\top", i));
  EXPECT_FALSE(kv.pathExists(u"\\copy\\copy\\a"));  // the copy did not meet itself
  kv.duplicate(u"\\", u"\\copy");                   // again: copy exists in the source now
  EXPECT_TRUE(kv.GetProperty(u"\\copy\\copy\\a\\v", i));
  EXPECT_FALSE(kv.pathExists(u"\\copy\\copy\\copy\\a"));
}

TEST(KvDuplicate, TooDeepACopyIsRefused) {
  KV_Object kv;
  std::u16string deep;
  for (int n = 0; n < 200; ++n) deep += u"\\d";
  kv.SetProperty((u"\\src" + deep + u"\\v").c_str(), 1);
  std::u16string destination;
  for (int n = 0; n < 100; ++n) destination += u"\\e";
  try {
    kv.duplicate(u"\\src", destination.c_str());
    FAIL();
  } catch (const KV_Warning& e) {
    EXPECT_EQ(e.id(), 51u);
    EXPECT_EQ(std::u16string(e.source()), u"KV_Object::duplicate()");
  }
}

}  // namespace
