#pragma once

// The program as start-up builds it (link holder, then main window), on a
// store in a temporary folder, with the error report captured instead of
// shown, plus the real lines the tests feed: a pseudo-terminal and a
// loopback listener.

#include "app/main_window.h"
#include "links/link_holder.h"

#include "tests/support/qt_printers.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tessaly::testing_support {

// A pseudo-terminal whose far end the test holds: what the test writes to
// the master arrives on the port at Path().
class PseudoTerminal {
 public:
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  const std::string& Path() const { return path_; }
  void Write(const std::vector<std::uint8_t>& bytes) const;
  // The device goes away under the port, as an unplugged adapter does.
  void Hangup();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

// A TCP listener on 127.0.0.1, any free port.
class LoopbackListener {
 public:
  LoopbackListener();
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  int Port() const { return port_; }
  // The connected peer, once the program has connected (events run while
  // waiting); -1 if none came.
  int AcceptClient();
  void Send(const std::vector<std::uint8_t>& bytes) const;
  void CloseClient();
  // A gateway that speaks first: a thread of its own accepts the program's
  // connection and sends the bytes the moment it is made.
  void SendOnAccept(std::vector<std::uint8_t> bytes);

 private:
  std::thread greeter_;
  int listener_ = -1;
  int client_ = -1;
  int port_ = 0;
};

// A port on 127.0.0.1 where nothing listens.
int UnusedLoopbackPort();

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Link holder and main window, as start-up creates them.
  void StartProgram();
  std::filesystem::path StoreDirectory() const;
  Data& Links() { return *data_; }
  MainWindow& Window() { return *window_; }

  // Runs events until the condition holds or the time is up.
  static bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000);
  // The log's rows as "data" texts, the empty first row left out.
  QStringList LoggedPackets();
  // From now on closes every modal dialog that appears and records it: a
  // message box by its title and text, any other by its object name.
  void CloseModalBoxes();

  QTemporaryDir storeFolder_;
  QStringList reports_;
  QStringList closedBoxes_;
  std::unique_ptr<QTimer> boxCloser_;
  std::unique_ptr<Data> data_;
  std::unique_ptr<MainWindow> window_;
};

}  // namespace tessaly::testing_support
