// Copyright the kvstore authors.
//
// The flag sets of the driver description import: ability sets, in which the
// reader collects which capabilities a description supplies, user-interface
// ownership sets, and the boolean line font set. Each is a GX_Flags of a
// fixed number of groups; a group that marks a present capability holds
// kv_pdt_present.
#ifndef KVSTORE_DRIVERS_KV_PDT_FLAGS_H_
#define KVSTORE_DRIVERS_KV_PDT_FLAGS_H_

#include "kvstore/gx_flags.h"

// The value of a group whose capability the description supplies.
inline constexpr int kv_pdt_present = 5;

// Marks group as supplied. A group outside the set is ignored.
inline void kv_pdt_mark(GX_Flags& flags, int group) {
  flags.set_flag(group, kv_pdt_present);
}

class GX_Abilities : public GX_Flags {
 public:
  explicit GX_Abilities(int groups) : GX_Flags(groups) {}
  ~GX_Abilities() override;
};

class GX_UI_Ownership : public GX_Flags {
 public:
  explicit GX_UI_Ownership(int groups) : GX_Flags(groups) {}
  ~GX_UI_Ownership() override;
};

class GX_Boolean_Flags : public GX_Flags {
 public:
  explicit GX_Boolean_Flags(int groups) : GX_Flags(groups) {}
  ~GX_Boolean_Flags() override;
};

// One class per set; kGroups is its number of groups.
#define KV_PDT_FLAG_SET(Name, Base, Groups) \
  class Name : public Base {                \
   public:                                  \
    static constexpr int kGroups = Groups;  \
    Name() : Base(kGroups) {}               \
    ~Name() override;                       \
  }

// clang-format off
//              Class                      Base              Groups
KV_PDT_FLAG_SET(GX_Media_Abilities,        GX_Abilities,     51);
KV_PDT_FLAG_SET(GX_ResColorMem_Abilities,  GX_Abilities,     24);
KV_PDT_FLAG_SET(GX_Plotter_IO_Abilities,   GX_Abilities,     12);
KV_PDT_FLAG_SET(GX_PhysPens_Abilities,     GX_Abilities,     19);
KV_PDT_FLAG_SET(GX_Model_Ability,          GX_Abilities,     12);
KV_PDT_FLAG_SET(GX_InitTerm_Abilities,     GX_Abilities,     3);
KV_PDT_FLAG_SET(GX_Raster_Abilities,       GX_Abilities,     4);
KV_PDT_FLAG_SET(UC_Method_Abilties,        GX_Abilities,     20);
KV_PDT_FLAG_SET(UC_Linetype_Abilities,     GX_Abilities,     2);
KV_PDT_FLAG_SET(GX_Media_UI_Owner,         GX_UI_Ownership,  23);
KV_PDT_FLAG_SET(GX_ResColorMem_UI_Owner,   GX_UI_Ownership,  14);
KV_PDT_FLAG_SET(GX_IO_UI_Owner,            GX_UI_Ownership,  9);
KV_PDT_FLAG_SET(GX_PhysPen_UI_Owner,       GX_UI_Ownership,  7);
KV_PDT_FLAG_SET(GX_InitTerm_UI_Owner,      GX_UI_Ownership,  3);
KV_PDT_FLAG_SET(GX_Linetype_Linefont_Caps, GX_Boolean_Flags, 9);
// clang-format on

#undef KV_PDT_FLAG_SET

#endif  // KVSTORE_DRIVERS_KV_PDT_FLAGS_H_
