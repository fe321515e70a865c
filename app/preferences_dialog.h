#pragma once

#include "capture_file/capture_budget.h"

#include <QDialog>

#include <filesystem>

class QSpinBox;

namespace tessaly {

// Options > Preferences: the disk budget of the captures folder. OK stores
// both values together; the next weighing of the folder uses them.
class PreferencesDialog : public QDialog {
  Q_OBJECT

 public:
  PreferencesDialog(std::filesystem::path storeDirectory, QWidget* parent = nullptr);

  QSpinBox& MaxMegabytesField() { return *maxMegabytes_; }
  QSpinBox& MinFreePercentField() { return *minFreePercent_; }

  void accept() override;

 private:
  std::filesystem::path storeDirectory_;
  QSpinBox* maxMegabytes_;
  QSpinBox* minFreePercent_;
};

}  // namespace tessaly
