// Copyright the kvstore authors.
//
// The one-line rendering of an error for kvtool's standard error stream:
//   KV_Warning 54: The value's type differs from the type bound to the
//   property. (source KV_Object::SetData()) [argument]
// The class is the exception's own, the text comes from the message library
// (kv_message_text), and control characters of a source or argument (the
// line-context text begins with a line feed) are shown as escapes, so the
// report stays on one line.
#ifndef KVSTORE_TOOLS_ERROR_REPORT_H_
#define KVSTORE_TOOLS_ERROR_REPORT_H_

#include <kvstore/kvstore.h>

#include <cstdint>
#include <optional>
#include <string>

// The report of a library exception.
std::string describe_exception(const GX_Exception& e);

// The report of an error with the given class name and fields.
std::string describe_error(const std::string& class_name, uint64_t module, unsigned id,
                           const char16_t* source, const char16_t* argument);

// What kvtool is allocating for, named by the report of running out of
// memory. A guard names the task while it lives ("the tree of printer.pia");
// guards nest. The innermost guard that an exception leaves is remembered
// (without allocating), since the guards are gone when the exception is
// caught; a new guard forgets it.
class Activity {
 public:
  explicit Activity(std::string what);
  Activity(const Activity&) = delete;
  Activity& operator=(const Activity&) = delete;
  ~Activity();

  // The task that the last exception left, else the innermost live one,
  // else "".
  static std::string current();

 private:
  std::string m_what;
  const Activity* m_outer;
  int m_uncaught;
};

// The report of running out of memory, in the form of the library's own
// memory exception: "KV_Memory_Exception 55: <text> (source kvtool
// <command>) [<Activity::current()>]".
std::string describe_out_of_memory(const std::string& command);

// text with leading line feeds dropped, other control characters written as
// \r, \n, \t or \xNN, and bytes that are not well-formed UTF-8 as \xNN.
std::string one_line(const std::string& text);

// An error handler that keeps the first error reported to it (the codecs
// report their failures instead of throwing them) and asks to stop.
class FirstErrorHandler : public GX_Error_Handler {
 public:
  int report_info(uint64_t module, unsigned id, const char16_t* source, const char16_t* argument,
                  const char16_t* file) override;
  int report_warning(uint64_t module, unsigned id, const char16_t* source, const char16_t* argument,
                     const char16_t* file) override;
  int report_severe(uint64_t module, unsigned id, const char16_t* source, const char16_t* argument,
                    const char16_t* file) override;
  int report_error(uint64_t module, unsigned id, const char16_t* source, const char16_t* argument,
                   const char16_t* file) override;
  int report_notice(uint64_t module, unsigned id, const char16_t* source, const char16_t* argument,
                    const char16_t* file) override;
  int report_fatal(uint64_t module, unsigned id, const char16_t* source, const char16_t* argument,
                   const char16_t* file) override;

  // The report of the first error, if there was one.
  const std::optional<std::string>& first() const { return m_first; }

 private:
  int keep(const char* class_name, uint64_t module, unsigned id, const char16_t* source,
           const char16_t* argument);

  std::optional<std::string> m_first;
};

#endif  // KVSTORE_TOOLS_ERROR_REPORT_H_
