#include "tests/support/test_support.h"

#include "app/common/error_report.h"

namespace tessaly::test {

CapturedReports::CapturedReports() {
  SetErrorReportHook([this](const QString& text) { append(text); });
}

CapturedReports::~CapturedReports() { SetErrorReportHook({}); }

std::string Outcome(const std::function<std::string()>& operation) {
  try {
    return operation();
  } catch (const std::exception& failure) {
    return failure.what();
  }
}

std::string FailureText(const std::function<void()>& action) {
  return Outcome([&] { return action(), std::string("(no failure)"); });
}

}  // namespace tessaly::test
