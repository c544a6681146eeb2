// Copyright the kvstore authors.
//
// Helpers shared by the fuzz targets: turning fuzz bytes into UTF-16 text,
// an error handler that lets every report go on, and a check that stops the
// run when an oracle fails.
#ifndef KVSTORE_FUZZ_FUZZ_UTIL_H_
#define KVSTORE_FUZZ_FUZZ_UTIL_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "kvstore/gx_error_handler.h"

// Stops the process with a message when an oracle of a target fails, so that
// libFuzzer and the replay driver count it as a finding.
#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

// The text that the input stands for. The low bit of the first byte selects
// the reading of the rest: clear, every byte is one code unit (so that short
// inputs reach the ASCII syntax quickly); set, the bytes are UTF-16LE code
// units (a last odd byte is dropped). The text ends at the first zero unit,
// as a C string would.
inline std::u16string fuzz_text(const uint8_t* data, std::size_t size) {
  std::u16string text;
  if (size == 0) return text;
  const bool wide = (data[0] & 1) != 0;
  ++data;
  --size;
  if (wide) {
    for (std::size_t i = 0; i + 1 < size; i += 2) {
      char16_t unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
      if (unit == 0) break;
      text.push_back(unit);
    }
  } else {
    for (std::size_t i = 0; i < size && data[i] != 0; ++i) text.push_back(data[i]);
  }
  return text;
}

// Answers "go on" to every report and counts them.
class GoOnHandler : public GX_Error_Handler {
 public:
  int report_info(uint64_t, unsigned, const char16_t*, const char16_t*, const char16_t*) override {
    return Count();
  }
  int report_warning(uint64_t, unsigned, const char16_t*, const char16_t*,
                     const char16_t*) override {
    return Count();
  }
  int report_severe(uint64_t, unsigned, const char16_t*, const char16_t*,
                    const char16_t*) override {
    return Count();
  }
  int report_error(uint64_t, unsigned, const char16_t*, const char16_t*, const char16_t*) override {
    return Count();
  }
  int report_notice(uint64_t, unsigned, const char16_t*, const char16_t*,
                    const char16_t*) override {
    return Count();
  }
  int report_fatal(uint64_t, unsigned, const char16_t*, const char16_t*, const char16_t*) override {
    return Count();
  }
  int reports() const { return m_reports; }

 private:
  int Count() {
    ++m_reports;
    return 1;
  }
  int m_reports = 0;
};

#endif  // KVSTORE_FUZZ_FUZZ_UTIL_H_
