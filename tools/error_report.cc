// Copyright the kvstore authors.
#include "error_report.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <typeinfo>
#include <utility>

#include "utf.h"

namespace {

std::string demangled_name(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> name(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
  return status == 0 && name != nullptr ? std::string(name.get()) : std::string(type.name());
}

// The length of the well-formed UTF-8 sequence at text[i], or 0.
std::size_t utf8_sequence(const std::string& text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const auto c = static_cast<unsigned char>(text[i + k]);
    if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF)) return 0;
  }
  return length;
}

}  // namespace

std::string one_line(const std::string& text) {
  std::size_t start = 0;
  while (start < text.size() && text[start] == '\n') ++start;
  std::string out;
  for (std::size_t i = start; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const std::size_t length = utf8_sequence(text, i);
      if (length > 0) {
        out.append(text, i, length);
        i += length - 1;
        continue;
      }
    }
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c >= 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof(escape), "\\x%02X", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string describe_error(const std::string& class_name, uint64_t module, unsigned id,
                           const char16_t* source, const char16_t* argument) {
  const char16_t* text = kv_message_text(module, id);
  std::string line = class_name + " " + std::to_string(id) + ": ";
  line += text != nullptr ? utf16_to_utf8(text) : "(no text: the message library was not found)";
  line += " (source " + one_line(utf16_to_utf8(source)) + ")";
  if (argument != nullptr && *argument != 0) {
    line += " [" + one_line(utf16_to_utf8(argument)) + "]";
  }
  return line;
}

namespace {

const Activity* g_innermost = nullptr;
// The task that an exception left, cut to fit; empty when none.
char g_left[512];

}  // namespace

Activity::Activity(std::string what)
    : m_what(std::move(what)), m_outer(g_innermost), m_uncaught(std::uncaught_exceptions()) {
  g_innermost = this;
  g_left[0] = 0;
}

Activity::~Activity() {
  g_innermost = m_outer;
  if (std::uncaught_exceptions() > m_uncaught && g_left[0] == 0) {
    std::snprintf(g_left, sizeof(g_left), "%s", m_what.c_str());
  }
}

std::string Activity::current() {
  if (g_left[0] != 0) return g_left;
  return g_innermost != nullptr ? g_innermost->m_what : std::string();
}

std::string describe_out_of_memory(const std::string& command) {
  const std::u16string source = utf8_to_utf16("kvtool " + command);
  const std::u16string argument = utf8_to_utf16(Activity::current());
  return describe_error("KV_Memory_Exception", GetKVErrResHandle(), 55, source.c_str(),
                        argument.c_str());
}

std::string describe_exception(const GX_Exception& e) {
  return describe_error(demangled_name(typeid(e)), e.module(), e.id(), e.source(), e.argument());
}

int FirstErrorHandler::keep(const char* class_name, uint64_t module, unsigned id,
                            const char16_t* source, const char16_t* argument) {
  if (!m_first) m_first = describe_error(class_name, module, id, source, argument);
  return 0;
}

int FirstErrorHandler::report_info(uint64_t module, unsigned id, const char16_t* source,
                                   const char16_t* argument, const char16_t*) {
  return keep("GX_Exception", module, id, source, argument);
}

int FirstErrorHandler::report_warning(uint64_t module, unsigned id, const char16_t* source,
                                      const char16_t* argument, const char16_t*) {
  return keep("KV_Warning", module, id, source, argument);
}

int FirstErrorHandler::report_severe(uint64_t module, unsigned id, const char16_t* source,
                                     const char16_t* argument, const char16_t*) {
  // Both severe classes report here; the memory exception always has id 55.
  return keep(id == 55 ? "KV_Memory_Exception" : "KV_Severe", module, id, source, argument);
}

int FirstErrorHandler::report_error(uint64_t module, unsigned id, const char16_t* source,
                                    const char16_t* argument, const char16_t*) {
  return keep("KV_Error", module, id, source, argument);
}

int FirstErrorHandler::report_notice(uint64_t module, unsigned id, const char16_t* source,
                                     const char16_t* argument, const char16_t*) {
  return keep("GX_Exception", module, id, source, argument);
}

int FirstErrorHandler::report_fatal(uint64_t module, unsigned id, const char16_t* source,
                                    const char16_t* argument, const char16_t*) {
  return keep("GX_Exception", module, id, source, argument);
}
