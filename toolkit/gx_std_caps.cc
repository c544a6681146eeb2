// Copyright the kvstore authors.
#include "kvstore/gx_flags.h"

GX_Std_Capabilities::GX_Std_Capabilities(int count) : m_states(count) {
  m_states.set_flags(1);
}

GX_Std_Capabilities::~GX_Std_Capabilities() = default;

const char16_t* GX_Std_Capabilities::get_abilities() {
  return m_states.get_flags();
}

void GX_Std_Capabilities::set_state(bool on, int state) {
  m_states.set_flag(state, on ? 1 : 0);
}

GX_Std_Linetype_Capabilities::GX_Std_Linetype_Capabilities()
    : GX_Std_Capabilities(GX_Linetype_User_Flags::count) {}
GX_Std_Linetype_Capabilities::~GX_Std_Linetype_Capabilities() = default;
void GX_Std_Linetype_Capabilities::set_one_caps_state(bool on, GX_Linetype_User_Flags::Enum state) {
  set_state(on, state);
}

GX_Std_Media_Capabilities::GX_Std_Media_Capabilities()
    : GX_Std_Capabilities(GX_Media_User_Flags::count) {}
GX_Std_Media_Capabilities::~GX_Std_Media_Capabilities() = default;
void GX_Std_Media_Capabilities::set_one_caps_state(bool on, GX_Media_User_Flags::Enum state) {
  set_state(on, state);
}

GX_Std_PhysPen_Capabilities::GX_Std_PhysPen_Capabilities()
    : GX_Std_Capabilities(GX_Pen_User_Flags::count) {}
GX_Std_PhysPen_Capabilities::~GX_Std_PhysPen_Capabilities() = default;
void GX_Std_PhysPen_Capabilities::set_one_caps_state(bool on, GX_Pen_User_Flags::Enum state) {
  set_state(on, state);
}

GX_Std_Plotter_IO_Capabilities::GX_Std_Plotter_IO_Capabilities()
    : GX_Std_Capabilities(GX_Plotter_IO_User_Flags::count) {}
GX_Std_Plotter_IO_Capabilities::~GX_Std_Plotter_IO_Capabilities() = default;
void GX_Std_Plotter_IO_Capabilities::set_one_caps_state(bool on,
                                                        GX_Plotter_IO_User_Flags::Enum state) {
  set_state(on, state);
}

GX_Std_ResColorMem_Capabilities::GX_Std_ResColorMem_Capabilities()
    : GX_Std_Capabilities(GX_ResColorMem_User_Flags::count) {}
GX_Std_ResColorMem_Capabilities::~GX_Std_ResColorMem_Capabilities() = default;
void GX_Std_ResColorMem_Capabilities::set_one_caps_state(bool on,
                                                         GX_ResColorMem_User_Flags::Enum state) {
  set_state(on, state);
}
