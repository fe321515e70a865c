#include "app/preferences_dialog.h"

#include "capture_file/capture_folder.h"
#include "presentation/error_report.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>

namespace tessaly {

PreferencesDialog::PreferencesDialog(std::filesystem::path storeDirectory, QWidget* parent)
    : QDialog(parent), storeDirectory_(std::move(storeDirectory)) {
  setObjectName(QStringLiteral("PreferencesDialog"));
  setWindowTitle(QStringLiteral("Preferences"));
  auto* layout = new QFormLayout(this);
  auto* where = new QLabel(QStringLiteral("Every capture is recorded to a file in %1. The oldest files are "
                                          "removed to keep within both limits, whichever is smaller; the "
                                          "file being written is never removed.")
                               .arg(QDir::toNativeSeparators(CaptureFolder())),
                           this);
  where->setWordWrap(true);
  layout->addRow(where);

  const CaptureBudget budget = ReadCaptureBudget(storeDirectory_);
  maxMegabytes_ = new QSpinBox(this);
  maxMegabytes_->setObjectName(QStringLiteral("seMaxMegabytes"));
  maxMegabytes_->setRange(1, 100'000'000);
  maxMegabytes_->setSuffix(QStringLiteral(" MB"));
  maxMegabytes_->setValue(budget.maxMegabytes);
  layout->addRow(QStringLiteral("Keep &captures up to"), maxMegabytes_);
  minFreePercent_ = new QSpinBox(this);
  minFreePercent_->setObjectName(QStringLiteral("seMinFreePercent"));
  minFreePercent_->setRange(0, 99);
  minFreePercent_->setSuffix(QStringLiteral(" %"));
  minFreePercent_->setValue(budget.minFreePercent);
  layout->addRow(QStringLiteral("Leave &free on the disk at least"), minFreePercent_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addRow(buttons);
}

void PreferencesDialog::accept() {
  bool stored = false;
  RunReportingErrors([&] {
    WriteCaptureBudget(storeDirectory_, {maxMegabytes_->value(), minFreePercent_->value()});
    stored = true;
  });
  // A store that refused has said why; the dialog stays for another try.
  if (stored) QDialog::accept();
}

}  // namespace tessaly
