// Copyright the kvstore authors.
#include "drivers/kv_pdt_flags.h"

GX_Abilities::~GX_Abilities() = default;
GX_UI_Ownership::~GX_UI_Ownership() = default;
GX_Boolean_Flags::~GX_Boolean_Flags() = default;

GX_Media_Abilities::~GX_Media_Abilities() = default;
GX_ResColorMem_Abilities::~GX_ResColorMem_Abilities() = default;
GX_Plotter_IO_Abilities::~GX_Plotter_IO_Abilities() = default;
GX_PhysPens_Abilities::~GX_PhysPens_Abilities() = default;
GX_Model_Ability::~GX_Model_Ability() = default;
GX_InitTerm_Abilities::~GX_InitTerm_Abilities() = default;
GX_Raster_Abilities::~GX_Raster_Abilities() = default;
UC_Method_Abilties::~UC_Method_Abilties() = default;
UC_Linetype_Abilities::~UC_Linetype_Abilities() = default;
GX_Media_UI_Owner::~GX_Media_UI_Owner() = default;
GX_ResColorMem_UI_Owner::~GX_ResColorMem_UI_Owner() = default;
GX_IO_UI_Owner::~GX_IO_UI_Owner() = default;
GX_PhysPen_UI_Owner::~GX_PhysPen_UI_Owner() = default;
GX_InitTerm_UI_Owner::~GX_InitTerm_UI_Owner() = default;
GX_Linetype_Linefont_Caps::~GX_Linetype_Linefont_Caps() = default;
