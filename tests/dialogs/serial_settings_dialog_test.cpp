// The serial settings dialog driven as a user drives it: list picks, typing
// in the timeout field, buttons by mouse and by keyboard.
#include "tests/dialogs/settings_dialog_fixture.h"
#include "tests/support/pty_pair.h"

#include <QCheckBox>
#include <QToolButton>

#include <string>
#include <vector>

namespace tessaly {
namespace {

using SerialSettingsDialogTest = test::SettingsDialogTest;

TEST_F(SerialSettingsDialogTest, PicksReachThePortOnlyOnOk_ARatePickReloadsTheTimeoutFromTheTimer) {
  Show(serial);
  EXPECT_EQ(serial.seEnd->text(), "4");
  const std::vector<int> items{serial.comsetBaudRate->count(), serial.comsetDataBits->count(),
                               serial.comsetStopBits->count(), serial.comsetParity->count(),
                               serial.comsetFlowControl->count()};
  EXPECT_EQ(items, (std::vector<int>{16, 4, 3, 5, 4}));
  Type(*serial.seEnd, "20");
  Pick(*serial.comsetBaudRate, "19200");
  EXPECT_EQ(serial.seEnd->text(), "4");
  Pick(*serial.comsetParity, "Odd");
  Pick(*serial.comsetDataBits, "7");
  Pick(*serial.comsetStopBits, "2");
  Pick(*serial.comsetFlowControl, "Hardware");
  serial.fixTimeButton->click();
  EXPECT_EQ(serial.seEnd->text(), "1");
  serial.cancelButton->click();
  EXPECT_EQ(port.BaudRate(), br9600);

  Show(serial);  // the lists still show the picks
  EXPECT_EQ(serial.comsetBaudRate->Text(), "19200");
  EXPECT_EQ(port.BaudRate(), br9600) << "a pick reaches the port only on Ok";
  QTest::mouseClick(serial.okButton, Qt::LeftButton);
  EXPECT_FALSE(serial.isVisible());
  EXPECT_EQ(port.BaudRate(), br19200);
  EXPECT_EQ(port.Parity().Bits(), prOdd);
  EXPECT_EQ(port.DataBits(), dbSeven);
  EXPECT_EQ(port.StopBits(), sbTwoStopBits);
  EXPECT_EQ(port.FlowControl().FlowControlKind(), fcHardware);
  EXPECT_EQ(framer.Interval(), kStartupInterval) << "a new rate does not recompute the interval";
}

TEST_F(SerialSettingsDialogTest, CutAtSilences_ShowsThePortsChoice_ReachesItOnlyOnOk) {
  Show(serial);
  ASSERT_NE(serial.findChild<QCheckBox*>(QStringLiteral("cbCutAtSilences")), nullptr);
  EXPECT_EQ(serial.cbCutAtSilences->text(), "Cut at the line's silences");
  EXPECT_FALSE(serial.cbCutAtSilences->isChecked());
  serial.cbCutAtSilences->click();
  serial.cancelButton->click();
  EXPECT_FALSE(port.CutAtSilences());
  Show(serial);
  EXPECT_FALSE(serial.cbCutAtSilences->isChecked()) << "each showing shows the port's choice";
  serial.cbCutAtSilences->click();
  QTest::mouseClick(serial.okButton, Qt::LeftButton);
  EXPECT_TRUE(port.CutAtSilences());
}

TEST_F(SerialSettingsDialogTest, KeysClose_OnlyOkSetsTheInterval) {
  const struct {
    const char* typed;          // into the timeout field first, or nullptr
    std::vector<Qt::Key> keys;  // letters with Alt, the rest alone
    int interval;
  } rows[] = {{nullptr, {Qt::Key_F, Qt::Key_O}, 1}, {"20", {Qt::Key_Return}, 20}, {"20", {Qt::Key_Escape}, 4}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.interval);
    framer.SetInterval(kStartupInterval);
    Show(serial);
    if (row.typed != nullptr) Type(*serial.seEnd, row.typed);
    for (Qt::Key key : row.keys) {
      if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        PressShortcut(key);
      } else {
        Press(key);
      }
    }
    EXPECT_FALSE(serial.isVisible());
    EXPECT_EQ(framer.Interval(), row.interval);
  }
}

TEST_F(SerialSettingsDialogTest, PortNotOnThisMachine_NameShownWithoutEntry_OkKeepsIt_APickedPortIsApplied) {
  test::PtyPair pty;  // so that the list has at least one port
  const QString absent = QStringLiteral("/dev/ttyTessalyAbsent");
  port.SetPort(absent);
  port.SetBaudRate(br38400);
  SerialSettingsDialog dialog(port, framer);  // built after the settings were restored
  Show(dialog);
  EXPECT_EQ(dialog.comsetCOMPORT->Text(), absent);
  EXPECT_EQ(dialog.comsetCOMPORT->currentIndex(), -1);
  EXPECT_EQ(dialog.comsetBaudRate->Text(), "38400");
  dialog.okButton->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(port.Port(), absent);
  EXPECT_EQ(port.BaudRate(), br38400);

  Show(dialog);
  ASSERT_GT(dialog.comsetCOMPORT->count(), 0);
  const QString listed = dialog.comsetCOMPORT->itemText(0);
  Pick(*dialog.comsetCOMPORT, listed);
  dialog.okButton->click();
  EXPECT_EQ(port.Port(), listed);
}

TEST_F(SerialSettingsDialogTest, PortMadeWhileTheProgramRuns_ListedAtTheNextShowingAndOnRefresh) {
  serial.show();
  const test::PtyPair line;
  const QString name = line.SlavePath().mid(5);  // "pts/N"
  EXPECT_EQ(serial.comsetCOMPORT->findText(name), -1);
  serial.refreshPortsButton->click();
  EXPECT_GE(serial.comsetCOMPORT->findText(name), 0);
  serial.hide();

  const test::PtyPair second;
  Show(serial);
  EXPECT_GE(serial.comsetCOMPORT->findText(second.SlavePath().mid(5)), 0);
  EXPECT_EQ(serial.comsetCOMPORT->Text(), port.Port()) << "the name shown stays";
}

}  // namespace
}  // namespace tessaly
