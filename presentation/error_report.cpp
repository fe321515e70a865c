#include "presentation/error_report.h"

#include <QApplication>
#include <QMessageBox>

namespace tessaly {
namespace {

DetailedErrorReportHook& Hook() {
  static DetailedErrorReportHook hook;
  return hook;
}

}  // namespace

QString ErrorReportText(const QString& message) {
  if (!message.isEmpty() && message.back() > QChar(u'.')) return message + u'.';
  return message;
}

void ShowErrorReport(const QString& message, const QString& informative) {
  const QString text = ErrorReportText(message);
  if (Hook()) {
    Hook()(text, informative);
    return;
  }
  QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kApplicationTitle), text,
                  QMessageBox::Ok, QApplication::activeWindow());
  box.setObjectName(QStringLiteral("ErrorReport"));
  if (!informative.isEmpty()) box.setInformativeText(informative);
  box.exec();
}

void ShowWarningReport(const QString& message, const QString& informative) {
  if (Hook()) {
    Hook()(message, informative);
    return;
  }
  QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kApplicationTitle), message, QMessageBox::Ok,
                  QApplication::activeWindow());
  box.setObjectName(QStringLiteral("WarningReport"));
  if (!informative.isEmpty()) box.setInformativeText(informative);
  box.exec();
}

void ReportException(const std::exception& error) {
  ShowErrorReport(QString::fromUtf8(error.what()));
}

void SetErrorReportHook(ErrorReportHook hook) {
  if (!hook) {
    Hook() = nullptr;
    return;
  }
  Hook() = [hook = std::move(hook)](const QString& text, const QString&) { hook(text); };
}

void SetErrorReportHook(DetailedErrorReportHook hook) { Hook() = std::move(hook); }

}  // namespace tessaly
