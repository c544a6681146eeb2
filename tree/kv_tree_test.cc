// Copyright the kvstore authors.
//
// The storage classes under KV_Object: name table, paths, nodes, properties.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "kvstore/kv_exceptions.h"
#include "tree/kv_node.h"
#include "tree/kv_path.h"
#include "tree/kv_path_strings.h"
#include "tree/kv_property.h"

namespace {

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

TEST(KvPathStrings, AnagramsShareABucketButNotAnEntry) {
  KV_PathStrings table;
  std::u16string name = u"abcd";
  std::vector<const char16_t*> interned;
  do {
    ASSERT_EQ(KV_PathStrings::Bucket(name.c_str(), 4), KV_PathStrings::Bucket(u"abcd", 4));
    interned.push_back(table.Add(name.c_str()));
  } while (std::next_permutation(name.begin(), name.end()));
  ASSERT_EQ(interned.size(), 24u);
  EXPECT_EQ(table.Size(), 24u);
  for (std::size_t i = 0; i < interned.size(); i += 2) table.Release(interned[i]);
  for (std::size_t i = 1; i < interned.size(); i += 2) {
    EXPECT_EQ(table.Acquire(interned[i], 4), interned[i]);
    EXPECT_EQ(table.References(interned[i]), 2);
  }
  EXPECT_EQ(table.Acquire(u"abcd", 4), nullptr);  // the first permutation was released
  EXPECT_EQ(table.Size(), 12u);
}

TEST(KvPathStrings, GrowsAndShrinksWithoutLosingAName) {
  KV_PathStrings table;
  EXPECT_EQ(table.Capacity(), 0u);  // nothing allocated before the first name
  std::vector<std::u16string> texts;
  std::vector<const char16_t*> interned;
  const int n = 20000;
  for (int i = 0; i < n; ++i) {
    // Names that differ only in digits, as indexed nodes have them.
    std::u16string name = u"name_";
    for (char c : std::to_string(i)) name.push_back(static_cast<char16_t>(c));
    texts.push_back(name);
    interned.push_back(table.Add(name.c_str()));
  }
  EXPECT_EQ(table.Size(), static_cast<std::size_t>(n));
  EXPECT_GE(table.Capacity(), static_cast<std::size_t>(n) * 4 / 3);
  const std::size_t grown = table.Capacity();
  // Every name is found again, by content, as the very pointer handed out.
  for (int i = 0; i < n; ++i) {
    ASSERT_EQ(table.Acquire(texts[i].c_str(), texts[i].size()), interned[i]) << i;
    ASSERT_EQ(table.References(texts[i].c_str()), 2) << i;
  }
  // Releasing all but every hundredth name empties the table below an
  // eighth: it gives memory back, and what stays is still found.
  for (int i = 0; i < n; ++i) {
    table.Release(interned[i]);
    if (i % 100 != 0) table.Remove(texts[i].c_str());
  }
  EXPECT_EQ(table.Size(), static_cast<std::size_t>(n / 100));
  EXPECT_LT(table.Capacity(), grown);
  for (int i = 0; i < n; ++i) {
    ASSERT_EQ(table.References(texts[i].c_str()), i % 100 == 0 ? 1 : 0) << i;
  }
  const char16_t* again = table.Add(texts[1].c_str());
  EXPECT_EQ(std::u16string(again), texts[1]);
  EXPECT_EQ(table.References(texts[1].c_str()), 1);
}

TEST(KvPathStrings, CreatedTellsANewNameAndTheGivenHashIsTheTablesOwn) {
  KV_PathStrings table;
  bool created = false;
  const char16_t* a = table.Add(u"abc", 3, created);
  EXPECT_TRUE(created);
  const char16_t* b = table.Add(u"abcd", 3, created);  // only the length given counts
  EXPECT_FALSE(created);
  EXPECT_EQ(a, b);
  const uint32_t hash = table.Hash(u"xyz", 3);
  table.Prefetch(hash);
  const char16_t* c = table.Add(u"xyz", 3, hash, created);
  EXPECT_TRUE(created);
  EXPECT_EQ(table.Acquire(u"xyz", 3), c);
  EXPECT_EQ(table.References(u"abc"), 2);
  EXPECT_EQ(table.References(u"xyz"), 2);
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

// Names c0, c1, ... interned in table, one reference each.
std::vector<const char16_t*> numbered_names(KV_PathStrings& table, int n) {
  std::vector<const char16_t*> names;
  for (int i = 0; i < n; ++i) {
    std::u16string name = u"c" + std::u16string(1, static_cast<char16_t>(u'0' + i / 100)) +
                          static_cast<char16_t>(u'0' + i / 10 % 10) +
                          static_cast<char16_t>(u'0' + i % 10);
    names.push_back(table.Add(name.c_str()));
  }
  return names;
}

TEST(KvNode, WideListsGetAnIndexThatFindsWhatTheScanFinds) {
  KV_PathStrings table;
  KV_Node root(&table, table.Add(u"Root"), nullptr);
  const int n = 300;
  std::vector<const char16_t*> names = numbered_names(table, n);
  std::vector<KV_Node*> children;
  for (const char16_t* name : names) children.push_back(root.AppendChild(name));
  for (const char16_t* name : names) root.AppendProp(name);
  // Short scans build nothing; the first scan past the threshold does.
  EXPECT_EQ(root.FindChild(names[3]), children[3]);
  EXPECT_FALSE(root.HasChildIndex());
  EXPECT_EQ(root.FindChild(names[n - 1]), children[n - 1]);
  EXPECT_TRUE(root.HasChildIndex());
  EXPECT_FALSE(root.HasPropIndex());  // the lists are indexed apart
  const char16_t* absent = table.Add(u"absent");
  EXPECT_EQ(root.FindProp(absent), nullptr);
  EXPECT_TRUE(root.HasPropIndex());
  for (int i = 0; i < n; ++i) {
    ASSERT_EQ(root.FindChild(names[i]), children[i]) << i;
    ASSERT_EQ(root.FindProp(names[i])->m_name, names[i]) << i;
  }
  EXPECT_EQ(root.FindChild(absent), nullptr);

  // Deleting the head, a middle one and the tail keeps links and index right;
  // appending afterwards (past the index's growth) too.
  for (int i : {0, 150, n - 1}) EXPECT_TRUE(root.DeleteChild(children[i]));
  EXPECT_EQ(root.m_firstChild, children[1]);
  EXPECT_EQ(root.m_lastChild, children[n - 2]);
  for (int i : {0, 150, n - 1}) EXPECT_EQ(root.FindChild(names[i]), nullptr);
  EXPECT_TRUE(root.DeleteProp(root.FindProp(names[7])));
  EXPECT_EQ(root.FindProp(names[7]), nullptr);
  std::vector<const char16_t*> more;
  for (int i = 0; i < 400; ++i) {
    std::u16string name = u"more" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) +
                          static_cast<char16_t>(u'a' + i / 26);
    more.push_back(table.Add(name.c_str()));
  }
  std::vector<KV_Node*> added;
  for (const char16_t* name : more) added.push_back(root.AppendChild(name));
  EXPECT_EQ(root.FindChild(names[150]), nullptr);
  KV_Node* again = root.AppendChild(names[150]);
  EXPECT_EQ(root.m_lastChild, again);
  for (std::size_t i = 0; i < more.size(); ++i) ASSERT_EQ(root.FindChild(more[i]), added[i]);
  EXPECT_EQ(root.FindChild(names[150]), again);
  for (int i = 1; i < n - 1; ++i) {
    if (i == 150) continue;
    ASSERT_EQ(root.FindChild(names[i]), children[i]) << i;
  }
  for (const char16_t* name : names) table.Release(name);
  for (const char16_t* name : more) table.Release(name);
  table.Release(absent);
}

TEST(KvNode, DeletingEveryElementOfAnIndexedListKeepsItConsistent) {
  // Deleted from the front, from the back and from the middle, one at a
  // time: after each delete, the links, the last pointer and every lookup
  // agree with a scan from the head.
  for (int order = 0; order < 3; ++order) {
    KV_PathStrings table;
    KV_Node root(&table, table.Add(u"Root"), nullptr);
    const int n = 200;
    std::vector<const char16_t*> names = numbered_names(table, n);
    std::vector<KV_Property*> props;
    for (const char16_t* name : names) props.push_back(root.AppendProp(name));
    ASSERT_EQ(root.FindProp(names[n - 1]), props[n - 1]);
    ASSERT_TRUE(root.HasPropIndex());
    std::vector<int> victims;
    for (int i = 0; i < n; ++i)
      victims.push_back(order == 0 ? i : order == 1 ? n - 1 - i : (i * 7) % n);
    std::vector<bool> alive(n, true);
    for (int v : victims) {
      ASSERT_TRUE(root.DeleteProp(props[v])) << v;
      alive[v] = false;
      KV_Property* expect_last = nullptr;
      KV_Property* p = root.m_firstProp;
      for (int i = 0; i < n; ++i) {
        if (!alive[i]) continue;
        ASSERT_EQ(p, props[i]) << "order " << order << " after deleting " << v;
        expect_last = p;
        p = p->m_next;
      }
      ASSERT_EQ(p, nullptr);
      ASSERT_EQ(root.m_lastProp, expect_last);
      for (int i = 0; i < n; i += 13) {
        ASSERT_EQ(root.FindProp(names[i]), alive[i] ? props[i] : nullptr) << i;
      }
    }
    EXPECT_EQ(root.m_firstProp, nullptr);
    // The emptied list takes new elements in order.
    KV_Property* fresh = root.AppendProp(names[5]);
    EXPECT_EQ(root.FindProp(names[5]), fresh);
    EXPECT_EQ(root.m_firstProp, fresh);
    for (const char16_t* name : names) table.Release(name);
  }
}

TEST(KvNode, IndexedListsFindTheFirstOfARepeatedName) {
  // Appending a name twice breaks AppendChild's contract, but the index
  // must still answer as the scan from the head does.
  KV_PathStrings table;
  KV_Node root(&table, table.Add(u"Root"), nullptr);
  std::vector<const char16_t*> names = numbered_names(table, 40);
  KV_Node* original = root.AppendChild(names[0]);
  for (int i = 1; i < 40; ++i) root.AppendChild(names[i]);
  KV_Node* first = root.AppendChild(names[0]);  // before the index is built
  EXPECT_EQ(root.FindChild(names[39])->m_name, names[39]);
  ASSERT_TRUE(root.HasChildIndex());
  KV_Node* second = root.AppendChild(names[0]);  // after
  EXPECT_EQ(root.FindChild(names[0]), original);
  EXPECT_TRUE(root.DeleteChild(original));
  EXPECT_EQ(root.FindChild(names[0]), first);
  EXPECT_TRUE(root.DeleteChild(first));
  EXPECT_EQ(root.FindChild(names[0]), second);
  for (const char16_t* name : names) table.Release(name);
}

TEST(KvNode, ResolvedPrefixesMatchAFullParseAndSurviveDeletes) {
  KV_PathStrings table;
  KV_Node root(&table, table.Add(u"Root"), nullptr);
  bool too_long = true;
  auto resolve = [&](const char16_t* prefix, bool create) {
    return root.ResolvePrefix(prefix, std::u16string(prefix).size(), create, too_long);
  };
  KV_Node* b = resolve(u"\\a\\b\\", true);
  EXPECT_FALSE(too_long);
  KV_Path ab(&table, u"a\\b", false);
  EXPECT_EQ(root.AddNode(ab, false, true), b);
  // Other spellings of the same prefix, then prefixes that share only text.
  EXPECT_EQ(resolve(u"a\\b\\", false), b);
  EXPECT_EQ(resolve(u"\\a\\\\b\\", false), b);
  EXPECT_EQ(resolve(u"\\ab\\", false), nullptr);  // "ab" is no name of the table
  KV_Node* abc = resolve(u"\\ab\\c\\", true);
  EXPECT_NE(abc, b);
  EXPECT_EQ(resolve(u"\\a\\b\\", false), b);
  EXPECT_EQ(resolve(u"\\a\\b\\c\\", false), nullptr);  // c is below ab, not below b
  KV_Node* bc = resolve(u"\\a\\b\\c\\", true);
  EXPECT_EQ(bc->m_parent, b);
  EXPECT_EQ(resolve(u"", false), &root);
  // A deleted node is never handed out again.
  EXPECT_EQ(resolve(u"\\a\\b\\c\\", false), bc);
  ASSERT_TRUE(b->DeleteChild(bc));
  EXPECT_EQ(resolve(u"\\a\\b\\c\\", false), nullptr);
  KV_Node* fresh = resolve(u"\\a\\b\\c\\", true);
  EXPECT_EQ(fresh->m_parent, b);
  EXPECT_EQ(b->m_firstChild, fresh);
  // Names are held only by the nodes: resolving takes no lasting reference.
  EXPECT_EQ(table.References(u"c"), 2);  // fresh and abc
  // 255 components are resolved; 256 are left to the full parse.
  std::u16string deep = components(255) + u"\\";
  EXPECT_NE(resolve(deep.c_str(), true), nullptr);
  EXPECT_FALSE(too_long);
  std::u16string deeper = components(256) + u"\\";
  EXPECT_EQ(resolve(deeper.c_str(), true), nullptr);
  EXPECT_TRUE(too_long);
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
