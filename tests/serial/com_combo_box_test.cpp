// The setting lists bound to a port: what they show, what a pick changes,
// and when it reaches the port. The port stays closed throughout, as it is
// while the serial settings dialog is shown.
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "links/serial/com_combo_box.h"
#include "links/serial/com_text.h"
#include "tests/serial/port_fixture.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

// What the list does when the user picks an item.
void Pick(TComComboBox& list, const char* text) {
  const int index = list.findText(QString::fromUtf8(text));
  ASSERT_GE(index, 0) << text;
  list.setCurrentIndex(index);
  emit list.activated(index);
}

struct ListCase {
  const char* scenario;
  TComProperty property;
  int itemCount;
  const char* shown;  // the port's value as the list first shows it
  const char* picked;
  std::function<QString(const TCustomComPort&)> portValue;
};

class ComComboBoxListTest : public testing::TestWithParam<ListCase> {
 protected:
  ComComboBoxListTest() {
    port_.SetBaudRate(br4800);
    port_.FlowControl().SetFlowControlKind(fcNone);
  }
  TComPort port_;
};

TEST_P(ComComboBoxListTest, ShowsPortValue_PickStaysPendingUntilApplied) {
  const ListCase& row = GetParam();
  TComComboBox list;
  int changes = 0;
  list.OnChange = [&](TComComboBox& sender) {
    ++changes;
    EXPECT_EQ(&sender, &list);
  };
  list.SetComProperty(row.property);
  list.SetComPort(&port_);
  EXPECT_EQ(list.count(), row.itemCount);
  EXPECT_EQ(list.Text(), QString::fromUtf8(row.shown));

  Pick(list, row.picked);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(row.portValue(port_), QString::fromUtf8(row.shown));  // not applied yet

  list.ApplySelection();
  EXPECT_EQ(row.portValue(port_), QString::fromUtf8(row.picked));
}

INSTANTIATE_TEST_SUITE_P(
    Properties, ComComboBoxListTest,
    testing::Values(
        ListCase{"BaudRateCustom", cpBaudRate, 16, "4800", "Custom",
                 [](const TCustomComPort& port) { return BaudRateText(port.BaudRate()); }},
        ListCase{"DataBits", cpDataBits, 4, "8", "7",
                 [](const TCustomComPort& port) { return DataBitsText(port.DataBits()); }},
        ListCase{"StopBits", cpStopBits, 3, "1", "2",
                 [](const TCustomComPort& port) { return StopBitsText(port.StopBits()); }},
        ListCase{"Parity", cpParity, 5, "None", "Even",
                 [](const TCustomComPort& port) { return ParityText(port.Parity().Bits()); }},
        ListCase{"FlowControl", cpFlowControl, 4, "None", "Hardware",
                 [](const TCustomComPort& port) { return FlowControlText(port.FlowControl().FlowControlKind()); }}),
    [](const testing::TestParamInfo<ListCase>& info) { return info.param.scenario; });

class ComComboBoxTest : public testing::Test {
 protected:
  void AddPortName(const char* name) {
    fs::create_directories(fs::path(sysfs_.path().toStdString()) / "class" / "tty" / name / "device");
  }
  std::unique_ptr<TComComboBox> PortList() {
    auto list = std::make_unique<TComComboBox>();
    list->SetSysfsRoot(sysfs_.path().toStdString());
    list->SetComProperty(cpPort);
    list->SetComPort(&port_);
    return list;
  }

  QTemporaryDir sysfs_;
  TComPort port_;
};

TEST_F(ComComboBoxTest, PortNameNotListed_ShowsNothingAndAppliesEmptyName) {
  AddPortName("ttyS0");
  AddPortName("ttyUSB0");
  port_.SetPort(QStringLiteral("COM7"));
  auto list = PortList();
  EXPECT_EQ(list->count(), 2);
  EXPECT_EQ(list->currentIndex(), -1);
  EXPECT_EQ(list->Text(), QString());

  list->ApplySelection();
  EXPECT_EQ(port_.Port(), QString());
  test::ExpectComFailure([&] { port_.Open(); }, kComOpenFailed, EISDIR);
}

TEST_F(ComComboBoxTest, PortNameListedInOtherCase_IsShownAndPickedName) {
  AddPortName("ttyUSB0");
  port_.SetPort(QStringLiteral("TTYUSB0"));
  auto list = PortList();
  EXPECT_EQ(list->Text(), QStringLiteral("ttyUSB0"));
  list->ApplySelection();
  EXPECT_EQ(port_.Port(), QStringLiteral("ttyUSB0"));
}

TEST_F(ComComboBoxTest, PortNamesUnreadable_FailsWithCode23AndLeavesListEmpty) {
  TComComboBox list;
  list.addItem(QStringLiteral("old"));
  list.SetSysfsRoot(fs::path(sysfs_.path().toStdString()) / "missing");
  test::ExpectComFailure([&] { list.SetComProperty(cpPort); }, kComRegistryFailed, ENOENT);
  EXPECT_EQ(list.count(), 0);
  EXPECT_EQ(list.ComProperty(), cpPort);
}

TEST_F(ComComboBoxTest, CustomFlowPick_ChangesNoFlagAndListShowsDerivedKindAgain) {
  port_.FlowControl().SetFlowControlKind(fcHardware);
  TComComboBox list;
  list.SetComPort(&port_);
  list.SetComProperty(cpFlowControl);
  EXPECT_EQ(list.Text(), QStringLiteral("Hardware"));

  Pick(list, "Custom");
  list.ApplySelection();
  EXPECT_EQ(port_.FlowControl().ControlRTS(), rtsHandshake);
  EXPECT_TRUE(port_.FlowControl().OutCTSFlow());
  list.ShowCurrent();
  EXPECT_EQ(list.Text(), QStringLiteral("Hardware"));
}

TEST_F(ComComboBoxTest, KeyboardPick_BecomesPendingValue) {
  port_.SetBaudRate(br4800);
  TComComboBox list;
  list.SetComProperty(cpBaudRate);
  list.SetComPort(&port_);
  QTest::keyClick(&list, Qt::Key_Down);
  EXPECT_EQ(list.Selection().PendingBaudRate(), br9600);
  list.ApplySelection();
  EXPECT_EQ(port_.BaudRate(), br9600);
}

TEST_F(ComComboBoxTest, SettingText_SelectsMatchIgnoringCaseOrChangesNothing) {
  TComComboBox list;
  list.SetComProperty(cpParity);
  EXPECT_EQ(list.Text(), QStringLiteral("None"));  // unbound: the first item
  list.SetText(QStringLiteral("eVeN"));
  EXPECT_EQ(list.Text(), QStringLiteral("Even"));
  list.SetText(QStringLiteral("Even "));
  EXPECT_EQ(list.Text(), QStringLiteral("Even"));
}

TEST_F(ComComboBoxTest, AutoApply_WritesPickBeforeOnChange) {
  TComComboBox list;
  list.SetComProperty(cpStopBits);
  list.SetComPort(&port_);
  list.SetAutoApply(true);
  TStopBits seenByOnChange = sbOneStopBit;
  list.OnChange = [&](TComComboBox&) { seenByOnChange = port_.StopBits(); };
  Pick(list, "1.5");
  EXPECT_EQ(seenByOnChange, sbOne5StopBits);
}

TEST_F(ComComboBoxTest, PortDestroyed_UnbindsAndSelectsFirstItem) {
  auto port = std::make_unique<TComPort>();
  port->SetBaudRate(br115200);
  TComComboBox list;
  list.SetComProperty(cpBaudRate);
  list.SetComPort(port.get());
  EXPECT_EQ(list.Text(), QStringLiteral("115200"));

  port.reset();
  EXPECT_EQ(list.ComPort(), nullptr);
  EXPECT_EQ(list.currentIndex(), 0);
  list.ApplySelection();  // nothing to write into
}

}  // namespace
}  // namespace tessaly
