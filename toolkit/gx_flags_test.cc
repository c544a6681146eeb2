// Copyright the kvstore authors.
#include "kvstore/gx_flags.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(GxFlags, GroupsStartAtZeroAndRenderAsText) {
  GX_Flags flags(3);
  EXPECT_EQ(std::u16string(flags.get_flags()), u"0,0,0");
  flags.set_flag(1, 5);
  EXPECT_EQ(flags.get_flag(1), 5);
  EXPECT_EQ(std::u16string(flags.get_flags()), u"0,5,0");
  flags.set_flags(9);
  EXPECT_EQ(std::u16string(flags.get_flags()), u"9,9,9");
}

TEST(GxFlags, GroupsOutsideTheSetAreIgnored) {
  GX_Flags flags(2);
  flags.set_flag(-1, 3);
  flags.set_flag(2, 3);
  EXPECT_EQ(flags.get_flag(-1), 0);
  EXPECT_EQ(flags.get_flag(2), 0);
  EXPECT_EQ(std::u16string(flags.get_flags()), u"0,0");
  GX_Flags none(-4);
  EXPECT_EQ(none.count(), 0);
  EXPECT_EQ(std::u16string(none.get_flags()), u"");
}

TEST(GxFlags, AssignmentCopiesEveryGroup) {
  GX_Flags a(4), b(2);
  a.set_flag(3, 1);
  b = a;
  EXPECT_EQ(b.count(), 4);
  EXPECT_EQ(b.get_flag(3), 1);
  a.set_flag(3, 0);
  EXPECT_EQ(b.get_flag(3), 1);
}

TEST(GxStdCapabilities, ClearingEveryStateShowsInTheAbilities) {
  GX_Std_Media_Capabilities media;
  EXPECT_EQ(std::u16string(media.get_abilities()).size(), 19u * 2 - 1);
  for (int k = 0; k < GX_Media_User_Flags::count; ++k) {
    media.set_one_caps_state(false, static_cast<GX_Media_User_Flags::Enum>(k));
  }
  EXPECT_EQ(std::u16string(media.get_abilities()), u"0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0");

  GX_Std_Linetype_Capabilities linetype;
  linetype.set_one_caps_state(false, static_cast<GX_Linetype_User_Flags::Enum>(2));
  EXPECT_EQ(std::u16string(linetype.get_abilities()), u"1,1,0,1");

  GX_Std_PhysPen_Capabilities pen;
  GX_Std_Plotter_IO_Capabilities io;
  GX_Std_ResColorMem_Capabilities rcm;
  EXPECT_EQ(std::u16string(pen.get_abilities()).size(), 16u * 2 - 1);
  EXPECT_EQ(std::u16string(io.get_abilities()), u"1,1,1,1");
  EXPECT_EQ(std::u16string(rcm.get_abilities()).size(), 15u * 2 - 1);
}

}  // namespace
