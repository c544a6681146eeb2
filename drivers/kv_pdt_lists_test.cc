// Copyright the kvstore authors.
#include "drivers/kv_pdt_lists.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

UC_Media_Collating collating(const char16_t* name, int type) {
  UC_Media_Collating r;
  r.name = name;
  r.collating_type = type;
  return r;
}

std::vector<std::u16string> names(const SimpleList<GX_String>& list) {
  std::vector<std::u16string> out;
  for (const GX_String& s : list) out.emplace_back(s.c_str());
  return out;
}

TEST(PdtLists, AppendKeepsOrderAndCopiesDeeply) {
  SimpleList<GX_String> list;
  EXPECT_TRUE(list.empty());
  list.append(u"a");
  list.append(u"b");
  list.append(u"a");
  EXPECT_EQ(list.count(), 3);
  EXPECT_EQ(names(list), (std::vector<std::u16string>{u"a", u"b", u"a"}));

  // Records own their string lists: a copy survives the original's change.
  UC_Media_Destination d;
  d.name = u"Bin";
  d.collating = list;
  UC_Media_Destination copy = d;
  d.collating.clear();
  d.collating.append(u"z");
  EXPECT_EQ(names(copy.collating), (std::vector<std::u16string>{u"a", u"b", u"a"}));
  copy = d;
  EXPECT_EQ(names(copy.collating), (std::vector<std::u16string>{u"z"}));
  EXPECT_EQ(copy.collating.count(), 1);
}

TEST(PdtLists, FindIsExactAndAnswersTheFirstOfAName) {
  SimpleListWithSearch<UC_Media_Collating> list;
  EXPECT_EQ(list.find(GX_String(u"")), nullptr);
  list.append(collating(u"Roll", 1));
  list.append(collating(u"", 2));
  list.append(collating(u"Roll", 3));
  list.append(collating(u"", 4));
  EXPECT_EQ(list.find(GX_String(u"Roll"))->collating_type, 1);
  EXPECT_EQ(list.find(GX_String(u""))->collating_type, 2);
  EXPECT_EQ(list.find(GX_String(u"roll")), nullptr);
  EXPECT_EQ(list.find(GX_String(u"Roll ")), nullptr);
  EXPECT_EQ(list.find(GX_String(u"Rol")), nullptr);

  // Records appended after a search are found; a cleared list forgets all.
  list.append(collating(u"Sheet", 5));
  EXPECT_EQ(list.find(GX_String(u"Sheet"))->collating_type, 5);
  list.clear();
  EXPECT_EQ(list.find(GX_String(u"Roll")), nullptr);
  list.append(collating(u"Roll", 6));
  EXPECT_EQ(list.find(GX_String(u"Roll"))->collating_type, 6);

  // A copy searches its own records.
  SimpleListWithSearch<UC_Media_Collating> copy = list;
  list.clear();
  ASSERT_NE(copy.find(GX_String(u"Roll")), nullptr);
  EXPECT_EQ(copy.find(GX_String(u"Roll"))->collating_type, 6);
  EXPECT_EQ(list.find(GX_String(u"Roll")), nullptr);
}

TEST(PdtLists, HashTableGrowsPastItsThresholdAndTheLastInsertWins) {
  GX_Hash_Table<const char16_t*, const char16_t*> table(2.0f);
  EXPECT_EQ(table.buckets(), 32);
  EXPECT_EQ(table.threshold(), 480);
  std::vector<std::u16string> keys(481);
  for (std::size_t i = 0; i < keys.size(); ++i) keys[i] = u"k" + std::u16string(i % 7 + 1, u'x');
  // A key given twice before the table grows: the later entry must still
  // win after every growth, which moves the entries to new chains.
  const std::u16string twice = u"twice";
  table.insert(twice.c_str(), u"first");
  table.insert(twice.c_str(), u"later");
  for (std::size_t i = 0; i < 478; ++i) table.insert(keys[i].c_str(), keys[i].c_str());
  EXPECT_EQ(table.buckets(), 32);
  table.insert(keys[478].c_str(), keys[478].c_str());
  EXPECT_EQ(table.buckets(), 64);
  EXPECT_EQ(table.threshold(), 960);
  EXPECT_EQ(table.count(), 481);
  EXPECT_EQ(std::u16string(*table.lookup(twice.c_str())), u"later");
  for (std::size_t i = 479; i < keys.size(); ++i) table.insert(keys[i].c_str(), keys[i].c_str());
  for (const std::u16string& key : keys) {
    ASSERT_NE(table.lookup(key.c_str()), nullptr);
    EXPECT_EQ(*table.lookup(key.c_str()), key.c_str());
  }
  for (std::size_t i = 0; i < 480; ++i) table.insert(keys[i].c_str(), keys[i].c_str());
  EXPECT_EQ(table.buckets(), 128);
  EXPECT_EQ(std::u16string(*table.lookup(twice.c_str())), u"later");
  // Keys are compared by identity, not text.
  const std::u16string same_text = keys[0];
  EXPECT_EQ(table.lookup(same_text.c_str()), nullptr);
  table.insert(keys[0].c_str(), u"second");
  EXPECT_EQ(std::u16string(*table.lookup(keys[0].c_str())), u"second");

  // A growth factor that gives no larger power of two doubles the table.
  GX_Hash_Table<const char16_t*, const char16_t*> odd(1.5f);
  for (std::size_t i = 0; i < 481; ++i) odd.insert(keys[i].c_str(), nullptr);
  EXPECT_EQ(odd.buckets(), 64);
}

TEST(PdtLists, ChainOfMixesTheWholeAddress) {
  // Worked by hand for the address 0x1'12345678: h = 0x12345678 ^ 0x1 =
  // 0x12345679, a = h ^ (h >> 10) = 0x1230DB6C, b = h ^ (a >> 8) =
  // 0x122666A2, and the chain is (b >> 2) masked: 0x08 of 32, 0x1A8 of 1024.
  const auto key = reinterpret_cast<const char16_t*>(uintptr_t{0x0000000112345678});
  EXPECT_EQ((GX_Hash_Table<const char16_t*, int>::chain_of(key, 32)), 0x08u);
  EXPECT_EQ((GX_Hash_Table<const char16_t*, int>::chain_of(key, 1024)), 0x1A8u);
}

TEST(PdtLists, InternedTextsShareOneCopy) {
  kv_interned_texts pool;
  const char16_t* a = pool.intern(u"ORVA_MEDIA_SIZE_C3");
  std::u16string again = u"ORVA_MEDIA_SIZE_C3";
  EXPECT_EQ(pool.intern(again), a);
  EXPECT_EQ(pool.find(again), a);
  EXPECT_EQ(pool.find(u"ORVA_MEDIA_SIZE_C4"), nullptr);
  EXPECT_EQ(pool.size(), 1u);
  // Many more texts do not move the first one.
  for (int i = 0; i < 5000; ++i) pool.intern(u"t" + std::u16string(i % 50, u'x') + char16_t(i));
  EXPECT_EQ(pool.find(again), a);
  EXPECT_EQ(std::u16string(a), again);
  EXPECT_EQ(std::u16string(pool.intern(u"")), u"");
}

}  // namespace
