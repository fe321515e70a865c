#pragma once

// The program as start-up builds it, on a store in a temporary folder, with
// the error report captured instead of shown.

#include "app/startup.h"
#include "settings/program_key.h"
#include "tests/support/test_support.h"

#include <QStringList>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace tessaly::test {

class ProgramTest : public ::testing::Test {
 protected:
  void TearDown() override;

  // Ends the program running, if any, and starts it again.
  void StartProgram();
  std::filesystem::path StoreDirectory() const { return storeFolder_.Path() / "tessaly"; }
  Data& Links() { return program_->data; }
  MainWindow& Window() { return program_->fmMain; }
  // A value in the store as another reader sees it: a string's text or an
  // integer's number, "(missing)" or "(no key)".
  std::string Stored(const std::string& name, const char* key = kProgramKeyPath) const;

  // The log's rows as "data" texts, the empty first row left out.
  QStringList LoggedPackets();
  // From now on closes every modal dialog that appears and records it: a
  // message box by its title and text, any other by its object name. While
  // the first one is shown, whileShown runs.
  void CloseModalBoxes(std::function<void()> whileShown = {});

  TemporaryFolder storeFolder_;
  CapturedReports reports_;
  QStringList closedBoxes_;
  std::unique_ptr<QTimer> boxCloser_;
  std::unique_ptr<Program> program_;
};

}  // namespace tessaly::test
