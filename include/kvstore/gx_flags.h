// Copyright the kvstore authors.
//
// GX_Flags: a fixed-length set of small integer groups, used as four boolean
// bits per group, and the five standard capability sets.
#ifndef KVSTORE_GX_FLAGS_H_
#define KVSTORE_GX_FLAGS_H_

#include "kvstore/export.h"

class KV_EXPORT GX_Flags {
 public:
  // count groups, all 0. A negative count gives an empty set.
  explicit GX_Flags(int count);
  GX_Flags(const GX_Flags& other);
  GX_Flags& operator=(const GX_Flags& other);
  virtual ~GX_Flags();

  int count() const { return m_count; }
  // Sets every group to value.
  void set_flags(int value);
  // The value of a group; 0 for a group outside the set.
  int get_flag(int group) const;
  // Sets one group; a group outside the set is ignored.
  void set_flag(int group, int value);
  // The groups as decimal values joined by commas ("0,5,0"); empty for an
  // empty set. The text lives until the set changes or is destroyed.
  const char16_t* get_flags() const;

 private:
  int m_count;
  int* m_groups;
  mutable char16_t* m_text;
};

// The enumerations of the standard capability sets. Each lists the states of
// its set, numbered from 0; count is the number of states.
struct KV_EXPORT GX_Linetype_User_Flags {
  enum Enum { count = 4 };
};
struct KV_EXPORT GX_Media_User_Flags {
  enum Enum { count = 19 };
};
struct KV_EXPORT GX_Pen_User_Flags {
  enum Enum { count = 16 };
};
struct KV_EXPORT GX_Plotter_IO_User_Flags {
  enum Enum { count = 4 };
};
struct KV_EXPORT GX_ResColorMem_User_Flags {
  enum Enum { count = 15 };
};

// Shared implementation of the standard capability sets: count boolean
// states, all set at construction.
class KV_EXPORT GX_Std_Capabilities {
 public:
  explicit GX_Std_Capabilities(int count);
  GX_Std_Capabilities(const GX_Std_Capabilities&) = delete;
  GX_Std_Capabilities& operator=(const GX_Std_Capabilities&) = delete;
  virtual ~GX_Std_Capabilities();

  // The states as 1 and 0 joined by commas ("1,0,1,1"), in state order.
  virtual const char16_t* get_abilities();

 protected:
  // Sets or clears one state; a state outside the set is ignored.
  void set_state(bool on, int state);

 private:
  GX_Flags m_states;
};

class KV_EXPORT GX_Std_Linetype_Capabilities : public GX_Std_Capabilities {
 public:
  GX_Std_Linetype_Capabilities();
  ~GX_Std_Linetype_Capabilities() override;
  virtual void set_one_caps_state(bool on, GX_Linetype_User_Flags::Enum state);
};

class KV_EXPORT GX_Std_Media_Capabilities : public GX_Std_Capabilities {
 public:
  GX_Std_Media_Capabilities();
  ~GX_Std_Media_Capabilities() override;
  virtual void set_one_caps_state(bool on, GX_Media_User_Flags::Enum state);
};

class KV_EXPORT GX_Std_PhysPen_Capabilities : public GX_Std_Capabilities {
 public:
  GX_Std_PhysPen_Capabilities();
  ~GX_Std_PhysPen_Capabilities() override;
  virtual void set_one_caps_state(bool on, GX_Pen_User_Flags::Enum state);
};

class KV_EXPORT GX_Std_Plotter_IO_Capabilities : public GX_Std_Capabilities {
 public:
  GX_Std_Plotter_IO_Capabilities();
  ~GX_Std_Plotter_IO_Capabilities() override;
  virtual void set_one_caps_state(bool on, GX_Plotter_IO_User_Flags::Enum state);
};

class KV_EXPORT GX_Std_ResColorMem_Capabilities : public GX_Std_Capabilities {
 public:
  GX_Std_ResColorMem_Capabilities();
  ~GX_Std_ResColorMem_Capabilities() override;
  virtual void set_one_caps_state(bool on, GX_ResColorMem_User_Flags::Enum state);
};

#endif  // KVSTORE_GX_FLAGS_H_
