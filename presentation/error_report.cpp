#include "presentation/error_report.h"

#include <QApplication>
#include <QMessageBox>

namespace tessaly {
namespace {

void ShowMessageBox(ReportKind kind, const QString& text, const QString& informative) {
  const bool error = kind == ReportKind::Error;
  QMessageBox box(error ? QMessageBox::Critical : QMessageBox::Warning, QString::fromLatin1(kApplicationTitle),
                  text, QMessageBox::Ok, QApplication::activeWindow());
  box.setObjectName(error ? QStringLiteral("ErrorReport") : QStringLiteral("WarningReport"));
  if (!informative.isEmpty()) box.setInformativeText(informative);
  box.exec();
}

}  // namespace

void InstallMessageBoxReports() { SetReportPresenter(ShowMessageBox); }

}  // namespace tessaly
