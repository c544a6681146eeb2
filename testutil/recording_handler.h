// Copyright the kvstore authors.
//
// A GX_Error_Handler for tests: records every report and answers as told.
#ifndef KVSTORE_TESTUTIL_RECORDING_HANDLER_H_
#define KVSTORE_TESTUTIL_RECORDING_HANDLER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "kvstore/gx_error_handler.h"

class RecordingHandler : public GX_Error_Handler {
 public:
  struct Report {
    std::string operation;  // "info", "warning", "severe", "error", "notice", "fatal"
    unsigned id;
    std::u16string source;
    std::u16string argument;  // "<null>" when there was none
    std::u16string file;      // the revision text of the reporting unit
  };

  // answer is what every report operation returns (1: go on, 0: stop).
  explicit RecordingHandler(int answer = 1) : m_answer(answer) {}

  int report_info(uint64_t, unsigned id, const char16_t* source, const char16_t* argument,
                  const char16_t* file) override {
    return record("info", id, source, argument, file);
  }
  int report_warning(uint64_t, unsigned id, const char16_t* source, const char16_t* argument,
                     const char16_t* file) override {
    return record("warning", id, source, argument, file);
  }
  int report_severe(uint64_t, unsigned id, const char16_t* source, const char16_t* argument,
                    const char16_t* file) override {
    return record("severe", id, source, argument, file);
  }
  int report_error(uint64_t, unsigned id, const char16_t* source, const char16_t* argument,
                   const char16_t* file) override {
    return record("error", id, source, argument, file);
  }
  int report_notice(uint64_t, unsigned id, const char16_t* source, const char16_t* argument,
                    const char16_t* file) override {
    return record("notice", id, source, argument, file);
  }
  int report_fatal(uint64_t, unsigned id, const char16_t* source, const char16_t* argument,
                   const char16_t* file) override {
    return record("fatal", id, source, argument, file);
  }
  void set_arguments(const uint64_t*, int count) override { argument_calls.push_back(count); }

  std::vector<Report> reports;
  std::vector<int> argument_calls;  // the count of each set_arguments call

 private:
  int record(const char* operation, unsigned id, const char16_t* source, const char16_t* argument,
             const char16_t* file) {
    reports.push_back({operation, id, source != nullptr ? source : u"<null>",
                       argument != nullptr ? argument : u"<null>",
                       file != nullptr ? file : u"<null>"});
    return m_answer;
  }
  int m_answer;
};

#endif  // KVSTORE_TESTUTIL_RECORDING_HANDLER_H_
