#pragma once

// Both settings dialogs over what start-up gives them: a closed serial port
// storing into a temporary folder, a TCP client, and the end-of-packet timer
// at the interval of a 9600 baud line. Plus the user's hands.

#include "core/packet_framer.h"
#include "log/packet_log_model.h"
#include "dialogs/interval_field.h"
#include "dialogs/ipv4_address_field.h"
#include "dialogs/port_field.h"
#include "dialogs/serial_settings_dialog.h"
#include "dialogs/tcp_settings_dialog.h"
#include "links/serial/com_combo_box.h"
#include "links/serial/com_port.h"
#include "links/tcp/client_socket.h"
#include "tests/support/test_support.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

namespace tessaly::test {

class SettingsDialogTest : public ::testing::Test {
 protected:
  static constexpr int kStartupInterval = 4;  // of a 9600 baud line

  SettingsDialogTest() {
    port.SetStoreDirectory(storeFolder.Path());
    framer.SetIntervalFromBaudRate(9600);
  }

  // As the opener shows it, modal, while the test keeps control.
  static void Show(QDialog& dialog) {
    dialog.open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  }
  // Select all, then type; an empty text just deletes.
  static void Type(QWidget& field, const QString& text) {
    auto* edit = qobject_cast<QLineEdit*>(&field);
    if (edit == nullptr) edit = field.findChild<QLineEdit*>();  // a spin box's
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
  }
  // To whatever has the focus, as the keyboard does.
  static void Press(Qt::Key key) { QTest::keyClick(static_cast<QWidget*>(nullptr), key); }
  // Alt with a button's underlined letter; the button clicks after its press
  // animation, so this waits until no button is down.
  static void PressShortcut(Qt::Key letter) {
    QWidget* window = QApplication::activeWindow();
    ASSERT_NE(window, nullptr);
    QTest::keyClick(static_cast<QWidget*>(nullptr), letter, Qt::AltModifier);
    EXPECT_TRUE(WaitUntil([window] {
      const auto buttons = window->findChildren<QPushButton*>();
      return std::none_of(buttons.begin(), buttons.end(), [](auto* b) { return b->isDown(); });
    }));
  }
  static void Pick(TComComboBox& list, const QString& text) {
    const int index = list.findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    list.setCurrentIndex(index);
    emit list.activated(index);  // what a user's pick sends, unlike setCurrentIndex
  }

  TemporaryFolder storeFolder;
  TComPort port;
  TClientSocket socket;
  QTimer endPacketTimer;
  PacketLogModel log;
  PacketFramer framer{endPacketTimer, log};
  CapturedReports reports;
  SerialSettingsDialog serial{port, framer};
  TcpSettingsDialog tcp{socket, framer};
};

}  // namespace tessaly::test
