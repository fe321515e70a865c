#pragma once

// Small helpers most test programs share: a folder removed with the test, the
// error report captured instead of shown, failures as text, and Qt strings
// printed as text in failure messages.

#include "presentation/error_report.h"

#include <QStringList>
#include <QTest>
#include <QTemporaryDir>

#include <exception>
#include <filesystem>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace tessaly::test {

// A fresh folder, removed with the test: a settings store's or a made-up
// sysfs tree's home.
class TemporaryFolder {
 public:
  TemporaryFolder() {
    if (!dir_.isValid()) throw std::runtime_error("no temporary folder");
  }
  std::filesystem::path Path() const { return dir_.path().toStdString(); }

 private:
  QTemporaryDir dir_;
};

// While it lives, what the application's error report would show is
// collected here instead of in a modal box: the messages in the list, their
// informative texts in Details().
class CapturedReports : public QStringList {
 public:
  CapturedReports() {
    SetErrorReportHook([this](const QString& text, const QString& informative) {
      append(text);
      details_.append(informative);
    });
  }
  ~CapturedReports() { SetErrorReportHook(DetailedErrorReportHook{}); }
  CapturedReports(const CapturedReports&) = delete;
  CapturedReports& operator=(const CapturedReports&) = delete;
  std::string Text() const { return join(u'\n').toStdString(); }
  const QStringList& Details() const { return details_; }

 private:
  QStringList details_;
};

// What an operation gives: its result as text, or the message of the failure
// it raises.
inline std::string Outcome(const std::function<std::string()>& operation) {
  try {
    return operation();
  } catch (const std::exception& failure) {
    return failure.what();
  }
}

// Runs the event loop until done() holds; false if it never did. The limit
// is far beyond any normal wait, for a busy machine.
inline bool WaitUntil(const std::function<bool()>& done) { return QTest::qWaitFor(done, 60'000); }

// The message of the failure the action raises, or "(no failure)".
inline std::string FailureText(const std::function<void()>& action) {
  return Outcome([&] { return action(), std::string("(no failure)"); });
}

}  // namespace tessaly::test
