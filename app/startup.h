#pragma once

#include "app/main_window.h"
#include "dialogs/about_dialog.h"
#include "dialogs/serial_settings_dialog.h"
#include "dialogs/tcp_settings_dialog.h"
#include "session/link_holder.h"

#include <filesystem>

namespace tessaly {

// The objects that live for the whole run, created in this order (the link
// holder restoring the stored settings before the main window reads them)
// and destroyed in reverse.
class Program {
 public:
  explicit Program(const std::filesystem::path& storeDirectory);

  Data data;

 private:
  // Runs between the link holder's creation and the main window's.
  bool restored_;

 public:
  MainWindow fmMain;
  AboutDialog fmAboutBox;
  SerialSettingsDialog fmComSet;
  TcpSettingsDialog fmTCPset;
};

// The program: builds its objects, shows the main window, runs the event
// loop until the main window closes, and takes them down. Returns the exit
// code.
int RunTessaly(int& argc, char** argv);

}  // namespace tessaly
