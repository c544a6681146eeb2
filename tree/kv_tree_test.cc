// Copyright the kvstore authors.
//
// The storage classes under KV_Object: name table, paths, nodes, properties.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kvstore/kv_exceptions.h"
#include "tree/kv_node.h"
#include "tree/kv_path.h"
#include "tree/kv_path_strings.h"
#include "tree/kv_property.h"

namespace {

TEST(KvPathStrings, BucketIsTheXorOfEachUnitsBytes) {
  EXPECT_EQ(KV_PathStrings::Bucket(u"", 0), 0u);
  EXPECT_EQ(KV_PathStrings::Bucket(u"A", 1), 0x41u);
  // 0x0141: low byte 0x41 xor high byte 0x01.
  EXPECT_EQ(KV_PathStrings::Bucket(u"\u0141", 1), 0x40u);
  EXPECT_EQ(KV_PathStrings::Bucket(u"ab", 2), 0x61u ^ 0x62u);
  EXPECT_EQ(KV_PathStrings::Bucket(u"aa", 2), 0u);  // cancels out
}

TEST(KvPathStrings, InterningCountsReferencesAndReleasesAtZero) {
  KV_PathStrings table;
  const char16_t* a = table.Add(u"media");
  const char16_t* b = table.Add(u"media");
  EXPECT_EQ(a, b);
  EXPECT_EQ(table.References(u"media"), 2);
  table.Remove(u"media");
  EXPECT_EQ(table.References(u"media"), 1);
  table.Remove(u"absent");  // ignored
  table.Release(a);
  EXPECT_EQ(table.References(u"media"), 0);
  EXPECT_EQ(table.Size(), 0u);
}

TEST(KvPathStrings, NamesOfOneBucketStayApartByContent) {
  KV_PathStrings table;
  // "", "aa" and "bb" all land in bucket 0.
  const char16_t* empty = table.Add(u"");
  const char16_t* aa = table.Add(u"aa");
  const char16_t* bb = table.Add(u"bb");
  EXPECT_NE(empty, aa);
  EXPECT_NE(aa, bb);
  EXPECT_EQ(std::u16string(bb), u"bb");
  table.Release(aa);
  EXPECT_EQ(table.References(u"aa"), 0);
  EXPECT_EQ(table.References(u""), 1);
  EXPECT_EQ(table.References(u"bb"), 1);
  EXPECT_EQ(table.Acquire(u"aa", 2), nullptr);
  EXPECT_EQ(table.Acquire(u"bbx", 2), bb);  // only the given length counts
  EXPECT_EQ(table.References(u"bb"), 2);
}

TEST(KvPath, EmptyComponentsAreDroppedAndNamesMatchExactly) {
  KV_PathStrings table;
  KV_Path a(&table, u"\\a\\\\b\\", true);
  KV_Path b(&table, u"\\a\\b", true);
  KV_Path c(&table, u"a\\b", true);
  ASSERT_EQ(a.count(), 2);
  for (const KV_Path* p : {&b, &c}) {
    ASSERT_EQ(p->count(), 2);
    EXPECT_EQ(p->component(0), a.component(0));
    EXPECT_EQ(p->component(1), a.component(1));
  }
  EXPECT_EQ(a.component(2), nullptr);
  EXPECT_EQ(a.component(-1), nullptr);
  KV_Path upper(&table, u"Media", true);
  KV_Path lower(&table, u"media", true);
  EXPECT_NE(upper.component(0), lower.component(0));
  KV_Path odd(&table, u"\\ pen*/. ", true);
  ASSERT_EQ(odd.count(), 1);
  EXPECT_EQ(std::u16string(odd.component(0)), u" pen*/. ");
  for (const char16_t* nothing : {static_cast<const char16_t*>(nullptr), u"", u"\\\\\\"}) {
    EXPECT_EQ(KV_Path(&table, nothing, true).count(), 0);
  }
}

TEST(KvPath, LookupOfAnUnknownNameIsEmptyAndHoldsNothing) {
  KV_PathStrings table;
  KV_Path known(&table, u"a\\b", true);
  {
    KV_Path lookup(&table, u"a\\b\\zz", false);
    EXPECT_EQ(lookup.count(), 0);
    EXPECT_EQ(table.References(u"a"), 1);
    EXPECT_EQ(table.References(u"zz"), 0);
    KV_Path found(&table, u"a\\b", false);
    EXPECT_EQ(found.count(), 2);
    EXPECT_EQ(table.References(u"a"), 2);
  }
  EXPECT_EQ(table.References(u"a"), 1);
}

std::u16string components(int n) {
  std::u16string path;
  for (int i = 0; i < n; ++i) path += u"\\c";
  return path;
}

TEST(KvPath, TwoHundredFiftySixComponentsAndNoMore) {
  KV_PathStrings table;
  {
    KV_Path full(&table, components(256).c_str(), true);
    EXPECT_EQ(full.count(), 256);
    EXPECT_EQ(table.References(u"c"), 256);
  }
  std::u16string too_long = components(257);
  try {
    KV_Path over(&table, too_long.c_str(), true);
    FAIL() << "a 257th component must be refused";
  } catch (const KV_Warning& e) {
    EXPECT_EQ(e.id(), 51u);
    EXPECT_EQ(std::u16string(e.source()), u"KV_Path::KV_Path()");
    EXPECT_EQ(std::u16string(e.argument()), too_long);
  }
  EXPECT_EQ(table.Size(), 0u);  // every reference was released
}

TEST(KvNode, AddNodeCreatesOrFindsTheChain) {
  KV_PathStrings table;
  KV_Node root(&table, table.Add(u"Root"), nullptr);
  KV_Path path(&table, u"\\a\\b\\c", true);
  EXPECT_EQ(root.AddNode(path, false, true), nullptr);
  KV_Node* b = root.AddNode(path, true, false);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(std::u16string(b->m_name), u"b");
  EXPECT_EQ(b->m_parent->m_parent, &root);
  EXPECT_EQ(b->m_firstChild, nullptr);  // c names a property here
  EXPECT_EQ(root.AddNode(path, false, false), b);
  KV_Path none(&table, u"", true);
  EXPECT_EQ(root.AddNode(none, false, false), &root);
}

TEST(KvNode, PropertiesAndChildrenOfOneNameLiveSideBySide) {
  KV_PathStrings table;
  KV_Node root(&table, table.Add(u"Root"), nullptr);
  KV_Property* x = root.AddProp(u"x");
  ASSERT_NE(x, nullptr);
  x->SetData("\x01\x02", 2);
  EXPECT_EQ(root.AddProp(u"x"), nullptr);
  EXPECT_EQ(x->size(), 2u);  // the existing property is left alone
  KV_Path path(&table, u"x", true);
  KV_Node* child = root.AddNode(path, true, true);
  EXPECT_EQ(root.FindChild(x->m_name), child);
  EXPECT_EQ(root.FindProp(child->m_name), x);
  EXPECT_EQ(table.References(u"x"), 3);  // property, node, path
}

TEST(KvNode, DeletingKeepsTheListLinksRight) {
  KV_PathStrings table;
  KV_Node root(&table, table.Add(u"Root"), nullptr);
  KV_Property* a = root.AddProp(u"a");
  KV_Property* b = root.AddProp(u"b");
  KV_Property* c = root.AddProp(u"c");
  EXPECT_TRUE(root.DeleteProp(c));
  EXPECT_EQ(root.m_lastProp, b);
  EXPECT_TRUE(root.DeleteProp(a));
  EXPECT_EQ(root.m_firstProp, b);
  EXPECT_FALSE(root.DeleteProp(a));
  KV_Property* d = root.AddProp(u"d");
  EXPECT_EQ(b->m_next, d);
  EXPECT_EQ(table.References(u"a"), 0);
  EXPECT_EQ(table.References(u"c"), 0);
}

TEST(KvNode, WideNodesAreDestroyedWithoutDeepRecursion) {
  auto* table = new KV_PathStrings;
  auto* root = new KV_Node(table, table->Add(u"Root"), nullptr);
  // One name suffices here: the lists, not the names, are under test.
  const char16_t* name = table->Add(u"p");
  for (int i = 0; i < 300000; ++i) root->AppendProp(name);
  {
    KV_Path one(table, u"n", true);
    for (int i = 0; i < 300000; ++i) root->AppendChild(one.component(0));
  }
  table->Release(name);
  delete root;
  EXPECT_EQ(table->References(u"p"), 0);
  delete table;
}

TEST(KvProperty, StoresReuseOrReallocateAndReadsAreBounded) {
  KV_PathStrings table;
  KV_Property p(&table, table.Add(u"v"));
  EXPECT_FALSE(p.has_value());
  p.SetData(nullptr, 0);  // same size as before: still no value
  EXPECT_FALSE(p.has_value());
  char buffer[100];
  try {
    p.GetData(buffer, sizeof(buffer));
    FAIL();
  } catch (const KV_Warning& e) {
    EXPECT_EQ(e.id(), 59u);
    EXPECT_EQ(std::u16string(e.argument()), u"v");
  }
  const char twelve[] = "0123456789ab";
  p.SetData(twelve, 12);
  const uint8_t* first = p.data();
  p.SetData("ABCDEFGHIJKL", 12);
  EXPECT_EQ(p.data(), first);  // same size: the buffer is reused
  p.SetData("wxyz", 4);
  std::memset(buffer, '#', sizeof(buffer));
  p.GetData(buffer, sizeof(buffer));
  EXPECT_EQ(std::string(buffer, 6), "wxyz##");  // exactly the value's bytes
  try {
    p.GetData(buffer, 3);
    FAIL();
  } catch (const KV_Warning& e) {
    EXPECT_EQ(e.id(), 58u);
    EXPECT_EQ(std::u16string(e.source()), u"KV_Property::GetData()");
  }
  p.SetData("", 0);  // had a value: an empty value, not none
  EXPECT_TRUE(p.has_value());
  EXPECT_EQ(p.size(), 0u);
}

}  // namespace
