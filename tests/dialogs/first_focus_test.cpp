// Every showing of a settings dialog, the first included, puts the focus in
// its first field with the text selected: typing replaces the value.
#include "tests/dialogs/settings_dialog_fixture.h"

namespace tessaly {
namespace {

using FirstFocusTest = test::SettingsDialogTest;

QLineEdit* FocusedEdit() { return qobject_cast<QLineEdit*>(QApplication::focusWidget()); }
// As the keyboard types: each key to whatever has the focus then.
void TypeKeys(const QString& text) { QTest::keyClicks(static_cast<QWidget*>(nullptr), text); }

TEST_F(FirstFocusTest, EachShowingSelectsTheFirstField_TypingReplacesIt) {
  socket.SetAddress(QStringLiteral("192.168.0.1"));
  port.SetPort(QStringLiteral("COM1"));
  for (int showing = 1; showing <= 2; ++showing) {
    SCOPED_TRACE(showing);
    Show(tcp);
    ASSERT_NE(FocusedEdit(), nullptr);
    EXPECT_EQ(FocusedEdit(), tcp.eIP->Octet(0));
    EXPECT_EQ(FocusedEdit()->selectedText(), QStringLiteral("192"));
    TypeKeys(QStringLiteral("127.0.0.1"));
    EXPECT_EQ(tcp.eIP->Address(), QStringLiteral("127.0.0.1"));
    tcp.reject();

    Show(serial);
    // The list's text field passes its focus to the list.
    EXPECT_EQ(QApplication::focusWidget(), serial.comsetCOMPORT);
    const QLineEdit* portText = serial.comsetCOMPORT->lineEdit();
    EXPECT_EQ(portText->selectedText(), serial.comsetCOMPORT->currentText());
    EXPECT_FALSE(portText->selectedText().isEmpty());
    TypeKeys(QStringLiteral("/dev/pts/4"));
    EXPECT_EQ(serial.comsetCOMPORT->currentText(), QStringLiteral("/dev/pts/4"));
    serial.reject();
  }
}

}  // namespace
}  // namespace tessaly
