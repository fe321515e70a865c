#include "presentation/failure_report.h"

#include <cstdio>

namespace tessaly {
namespace {

DetailedErrorReportHook& Hook() {
  static DetailedErrorReportHook hook;
  return hook;
}

ReportPresenter& Presenter() {
  static ReportPresenter presenter;
  return presenter;
}

void Present(ReportKind kind, const QString& text, const QString& informative) {
  if (Hook()) {
    Hook()(text, informative);
    return;
  }
  if (Presenter()) {
    Presenter()(kind, text, informative);
    return;
  }
  const QByteArray message = text.toLocal8Bit();
  const QByteArray detail = informative.toLocal8Bit();
  std::fprintf(stderr, "%s: %s%s\n", kApplicationTitle, kind == ReportKind::Warning ? "warning: " : "",
               message.constData());
  if (!detail.isEmpty()) std::fprintf(stderr, "%s\n", detail.constData());
}

}  // namespace

QString ErrorReportText(const QString& message) {
  if (!message.isEmpty() && message.back() > QChar(u'.')) return message + u'.';
  return message;
}

void ShowErrorReport(const QString& message, const QString& informative) {
  Present(ReportKind::Error, ErrorReportText(message), informative);
}

void ShowWarningReport(const QString& message, const QString& informative) {
  Present(ReportKind::Warning, message, informative);
}

void ReportException(const std::exception& error) { ShowErrorReport(QString::fromUtf8(error.what())); }

void SetReportPresenter(ReportPresenter presenter) { Presenter() = std::move(presenter); }

void SetErrorReportHook(ErrorReportHook hook) {
  if (!hook) {
    Hook() = nullptr;
    return;
  }
  Hook() = [hook = std::move(hook)](const QString& text, const QString&) { hook(text); };
}

void SetErrorReportHook(DetailedErrorReportHook hook) { Hook() = std::move(hook); }

}  // namespace tessaly
