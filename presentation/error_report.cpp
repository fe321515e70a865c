#include "presentation/error_report.h"

#include <QApplication>
#include <QMessageBox>

namespace tessaly {
namespace {

ErrorReportHook& Hook() {
  static ErrorReportHook hook;
  return hook;
}

}  // namespace

QString ErrorReportText(const QString& message) {
  if (!message.isEmpty() && message.back() > QChar(u'.')) return message + u'.';
  return message;
}

void ShowErrorReport(const QString& message) {
  const QString text = ErrorReportText(message);
  if (Hook()) {
    Hook()(text);
    return;
  }
  QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kApplicationTitle), text,
                  QMessageBox::Ok, QApplication::activeWindow());
  box.setObjectName(QStringLiteral("ErrorReport"));
  box.exec();
}

void ReportException(const std::exception& error) {
  ShowErrorReport(QString::fromUtf8(error.what()));
}

void SetErrorReportHook(ErrorReportHook hook) { Hook() = std::move(hook); }

}  // namespace tessaly
