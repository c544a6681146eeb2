// Copyright the kvstore authors.
#include "drivers/kv_pdt_flags.h"

#include <gtest/gtest.h>

#include <string>

namespace {

template <typename Set>
int groups() {
  Set set;
  return set.count();
}

TEST(PdtFlags, EachSetHasItsNumberOfGroups) {
  EXPECT_EQ(groups<GX_Media_Abilities>(), 51);
  EXPECT_EQ(groups<GX_ResColorMem_Abilities>(), 24);
  EXPECT_EQ(groups<GX_Plotter_IO_Abilities>(), 12);
  EXPECT_EQ(groups<GX_PhysPens_Abilities>(), 19);
  EXPECT_EQ(groups<GX_Model_Ability>(), 12);
  EXPECT_EQ(groups<GX_InitTerm_Abilities>(), 3);
  EXPECT_EQ(groups<GX_Raster_Abilities>(), 4);
  EXPECT_EQ(groups<UC_Method_Abilties>(), 20);
  EXPECT_EQ(groups<UC_Linetype_Abilities>(), 2);
  EXPECT_EQ(groups<GX_Media_UI_Owner>(), 23);
  EXPECT_EQ(groups<GX_ResColorMem_UI_Owner>(), 14);
  EXPECT_EQ(groups<GX_IO_UI_Owner>(), 9);
  EXPECT_EQ(groups<GX_PhysPen_UI_Owner>(), 7);
  EXPECT_EQ(groups<GX_InitTerm_UI_Owner>(), 3);
  EXPECT_EQ(groups<GX_Linetype_Linefont_Caps>(), 9);
}

TEST(PdtFlags, MarkingSetsFiveAndIgnoresGroupsOutsideTheSet) {
  GX_InitTerm_Abilities set;
  kv_pdt_mark(set, 1);
  kv_pdt_mark(set, -1);
  kv_pdt_mark(set, 3);
  EXPECT_EQ(std::u16string(set.get_flags()), u"0,5,0");
  // Assignment from a blank set clears, as a method's abilities are reset.
  const GX_InitTerm_Abilities blank;
  set = blank;
  EXPECT_EQ(std::u16string(set.get_flags()), u"0,0,0");
}

}  // namespace
