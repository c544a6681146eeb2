// Copyright the kvstore authors.
//
// GX_Exception and its severity classes: the toolkit's exception hierarchy on
// which every exception of the library is built.
#ifndef KVSTORE_GX_EXCEPTION_H_
#define KVSTORE_GX_EXCEPTION_H_

#include <cstdint>
#include <exception>

#include "kvstore/export.h"
#include "kvstore/gx_object.h"

// An error with a numeric message id. The text of the id lives in the message
// library whose handle module() gives; source() names the failing operation,
// argument() completes the message (a path, a member, a file name) and file()
// is the revision tag of the source unit that raised it.
//
// The argument (and a source that is not a static text) is owned: copying an
// exception copies it, so an exception never points at freed memory.
class KV_EXPORT GX_Exception : public std::exception, public GX_Object {
 public:
  // source and file must outlive the exception (static texts); argument and
  // args are copied. A null argument gives an exception without argument.
  GX_Exception(uint64_t module, unsigned id, const char16_t* source, const char16_t* argument,
               const char16_t* file, int arg_count = 0, const uint64_t* args = nullptr);
  GX_Exception(const GX_Exception& other);
  GX_Exception& operator=(const GX_Exception& other);
  ~GX_Exception() override;

  // A short narrow rendering ("GX_Exception 54 KV_Object::SetData()"), for
  // diagnostics only; hosts show kv_message_text() instead.
  const char* what() const noexcept override;
  // 2 for GX_Exception itself; each subclass answers its own.
  virtual int severity() const;

  uint64_t module() const { return m_module; }
  unsigned id() const { return m_id; }
  const char16_t* source() const { return m_source; }
  // Null when the exception carries no argument.
  const char16_t* argument() const { return m_argument; }
  const char16_t* file() const { return m_file; }
  int arg_count() const { return m_arg_count; }
  const uint64_t* args() const { return m_args; }

  // Makes the exception own a copy of its source text, for the rare source
  // that is not a static text (a line of input, say).
  void own_source();

 private:
  void copy_from(const GX_Exception& other);
  void release();
  void render_what();

  uint64_t m_module;
  unsigned m_id;
  int m_arg_count;
  const char16_t* m_source;
  char16_t* m_argument;
  const char16_t* m_file;
  uint64_t* m_args;
  bool m_owns_source;
  char m_what[160];
};

class KV_EXPORT GX_Warning : public GX_Exception {
 public:
  using GX_Exception::GX_Exception;
  int severity() const override;
};

class KV_EXPORT GX_Error : public GX_Exception {
 public:
  using GX_Exception::GX_Exception;
  int severity() const override;
};

class KV_EXPORT GX_Severe_Error : public GX_Exception {
 public:
  using GX_Exception::GX_Exception;
  int severity() const override;
};

// Raised when a host's error handler asks the library to stop.
class KV_EXPORT GX_Canceled_Error : public GX_Exception {
 public:
  using GX_Exception::GX_Exception;
  int severity() const override;
};

#endif  // KVSTORE_GX_EXCEPTION_H_
