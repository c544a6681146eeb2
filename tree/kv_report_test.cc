// Copyright the kvstore authors.
#include "tree/kv_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvstore/gx_error_handler.h"
#include "kvstore/kv_exceptions.h"
#include "testutil/recording_handler.h"

namespace {

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
      EXPECT_EQ(handler.argument_calls, std::vector<int>{0});
      ASSERT_EQ(handler.reports.size(), 1u);
      EXPECT_EQ(handler.reports[0].operation, row.operation);
    }
  }
}

TEST(KvReport, CanceledCallsNothingAndStops) {
  RecordingHandler handler(1);
  EXPECT_EQ(kv_report_to_handler(&handler, GX_Canceled_Error(0, 1, u"s", nullptr, u"f")), 0);
  EXPECT_TRUE(handler.reports.empty());
  EXPECT_TRUE(handler.argument_calls.empty());
}

TEST(KvReport, LibraryExceptionsReportByTheirClass) {
  RecordingHandler handler(1);
  kv_report_to_handler(&handler, KV_Warning(57, u"s", nullptr, u"f"));
  kv_report_to_handler(&handler, KV_Error(57, u"s", nullptr, u"f"));
  kv_report_to_handler(&handler, KV_Severe(63, u"s", nullptr, u"f"));
  kv_report_to_handler(&handler, KV_Memory_Exception(55, u"s", nullptr, u"f"));
  std::vector<std::string> operations;
  for (const auto& r : handler.reports) operations.push_back(r.operation);
  EXPECT_EQ(operations, (std::vector<std::string>{"warning", "error", "severe", "severe"}));
  EXPECT_EQ(handler.argument_calls.size(), 4u);
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
