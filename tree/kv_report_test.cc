// Copyright the kvstore authors.
#include "tree/kv_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvstore/gx_error_handler.h"
#include "kvstore/kv_exceptions.h"

namespace {

// Records every call and answers `answer` from each report operation.
class RecordingHandler : public GX_Error_Handler {
 public:
  explicit RecordingHandler(int answer) : m_answer(answer) {}
  int report_info(uint64_t, unsigned id, const char16_t*, const char16_t*,
                  const char16_t*) override {
    return record("info", id);
  }
  int report_warning(uint64_t, unsigned id, const char16_t*, const char16_t*,
                     const char16_t*) override {
    return record("warning", id);
  }
  int report_severe(uint64_t, unsigned id, const char16_t*, const char16_t*,
                    const char16_t*) override {
    return record("severe", id);
  }
  int report_error(uint64_t, unsigned id, const char16_t*, const char16_t*,
                   const char16_t*) override {
    return record("error", id);
  }
  int report_notice(uint64_t, unsigned id, const char16_t*, const char16_t*,
                    const char16_t*) override {
    return record("notice", id);
  }
  int report_fatal(uint64_t, unsigned id, const char16_t*, const char16_t*,
                   const char16_t*) override {
    return record("fatal", id);
  }
  void set_arguments(const uint64_t*, int count) override {
    calls.push_back("args" + std::to_string(count));
  }
  std::vector<std::string> calls;

 private:
  int record(const char* what, unsigned) {
    calls.push_back(what);
    return m_answer;
  }
  int m_answer;
};

// An exception whose severity the test chooses.
class AnySeverity : public GX_Exception {
 public:
  explicit AnySeverity(int severity)
      : GX_Exception(0, 1, u"test", nullptr, u"f"), m_severity(severity) {}
  int severity() const override { return m_severity; }

 private:
  int m_severity;
};

TEST(KvReport, EverySeverityReachesItsOperationWithItsResult) {
  struct Row {
    int severity;
    const char* operation;
    int result_when_handler_says_0;
  };
  const Row rows[] = {{0, "info", 2},   {1, "warning", 0}, {2, "error", 0}, {3, "notice", 0},
                      {4, "severe", 2}, {5, "fatal", 2},   {7, "error", 0}, {-1, "error", 0}};
  for (const Row& row : rows) {
    for (int answer : {0, 1, 5}) {
      RecordingHandler handler(answer);
      int result = kv_report_to_handler(&handler, AnySeverity(row.severity));
      int expected = row.result_when_handler_says_0 == 2 ? 2 : answer;
      EXPECT_EQ(result, expected) << "severity " << row.severity;
      ASSERT_EQ(handler.calls.size(), 2u);
      EXPECT_EQ(handler.calls[0], "args0");
      EXPECT_EQ(handler.calls[1], row.operation);
    }
  }
}

TEST(KvReport, CanceledCallsNothingAndStops) {
  RecordingHandler handler(1);
  EXPECT_EQ(kv_report_to_handler(&handler, GX_Canceled_Error(0, 1, u"s", nullptr, u"f")), 0);
  EXPECT_TRUE(handler.calls.empty());
}

TEST(KvReport, LibraryExceptionsReportByTheirClass) {
  RecordingHandler handler(1);
  kv_report_to_handler(&handler, KV_Warning(57, u"s", nullptr, u"f"));
  kv_report_to_handler(&handler, KV_Error(57, u"s", nullptr, u"f"));
  kv_report_to_handler(&handler, KV_Severe(63, u"s", nullptr, u"f"));
  kv_report_to_handler(&handler, KV_Memory_Exception(55, u"s", nullptr, u"f"));
  EXPECT_EQ(handler.calls, (std::vector<std::string>{"args0", "warning", "args0", "error", "args0",
                                                     "severe", "args0", "severe"}));
}

TEST(KvExceptions, ClassesCatchAsTheirToolkitBases) {
  try {
    throw KV_Warning(52, u"KV_Object::DeletePath()", u"\\x", u"f");
  } catch (const GX_Warning& e) {
    EXPECT_EQ(e.severity(), 1);
  }
  try {
    throw KV_Memory_Exception(55, u"kvobj", u"data", u"f");
  } catch (const GX_Severe_Error& e) {
    EXPECT_EQ(e.severity(), 4);
  }
  try {
    throw KV_Severe(50, u"s", u"m_root", u"f");
  } catch (const GX_Severe_Error& e) {
    EXPECT_EQ(e.id(), 50u);
  }
  try {
    throw KV_Error(53, u"kvobj", u"bad raw data value", u"f");
  } catch (const GX_Error& e) {
    EXPECT_EQ(e.severity(), 2);
  }
  // A copy sliced to GX_Exception keeps the fields, not the class.
  KV_Warning w(54, u"KV_Object::GetData()", nullptr, u"f");
  GX_Exception plain(w);
  EXPECT_EQ(plain.severity(), 2);
  EXPECT_EQ(plain.id(), 54u);
  EXPECT_EQ(plain.argument(), nullptr);
  EXPECT_EQ(plain.module(), w.module());
}

}  // namespace
