#pragma once

#include <QString>

#include <exception>
#include <functional>
#include <utility>

namespace tessaly {

// The title every message of the application carries.
inline constexpr const char* kApplicationTitle = "Tessaly";

// The text the error report shows for a failure's message: a full stop is
// appended when the last character sorts after "." (so "... active" gets one,
// "... ok." or "... (2)" do not).
QString ErrorReportText(const QString& message);

// Reports a failure the application's way. The window program shows a modal
// box titled with the application title, the error icon, one OK button and
// the message, with the informative text (what it concerns, why, what to do)
// below it when there is one, and returns when the user has closed it; a
// program without a window writes both to standard error.
void ShowErrorReport(const QString& message, const QString& informative = {});

// A warning the application's way: the same box with the warning icon. It
// goes to the same hook as the error report.
void ShowWarningReport(const QString& message, const QString& informative = {});

// The report for an exception that escaped an event handler.
void ReportException(const std::exception& error);

// How reports are shown when no hook is set. The window program installs
// its message boxes; without a presenter, reports go to standard error.
enum class ReportKind { Error, Warning };
using ReportPresenter =
    std::function<void(ReportKind kind, const QString& text, const QString& informative)>;
void SetReportPresenter(ReportPresenter presenter);

// Replaces the presenter, for tests and headless runs. An empty hook
// restores it. The hook receives the text as the box would show it, and the
// detailed form also the informative text.
using ErrorReportHook = std::function<void(const QString& text)>;
using DetailedErrorReportHook = std::function<void(const QString& text, const QString& informative)>;
void SetErrorReportHook(ErrorReportHook hook);
void SetErrorReportHook(DetailedErrorReportHook hook);

// Runs an event handler; a failure that escapes it goes to the error report
// and the event loop goes on. Every signal connection that leads into code
// that may throw goes through this (Qt itself must never be unwound).
template <class Handler>
void RunReportingErrors(Handler&& handler) {
  try {
    std::forward<Handler>(handler)();
  } catch (const std::exception& error) {
    ReportException(error);
  }
}

}  // namespace tessaly
