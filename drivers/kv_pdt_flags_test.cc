// Copyright the kvstore authors.
#include "drivers/kv_pdt_flags.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PdtFlags, MarkingSetsFiveAndIgnoresGroupsOutsideTheSet) {
  GX_InitTerm_Abilities set;
  kv_pdt_mark(set, 1);
  kv_pdt_mark(set, -1);
  kv_pdt_mark(set, 3);
  EXPECT_EQ(std::u16string(set.get_flags()), u"0,5,0");
  // Assignment from a blank set clears, as a method's abilities are reset;
  // every set renders all of its groups.
  const GX_InitTerm_Abilities blank;
  set = blank;
  EXPECT_EQ(std::u16string(set.get_flags()), u"0,0,0");
  EXPECT_EQ(std::u16string(UC_Method_Abilties().get_flags()),
            u"0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0");
}

}  // namespace
