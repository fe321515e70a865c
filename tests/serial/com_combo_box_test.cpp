// The setting lists bound to a closed port, as the serial settings dialog
// uses them: what they show, and when a pick reaches the port.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include <filesystem>
#include <memory>

#include "links/serial/com_combo_box.h"
#include "links/serial/com_text.h"
#include "tests/serial/port_fixture.h"

namespace tessaly {
namespace {

// What the list does when the user picks an item.
void Pick(TComComboBox& list, const char* text) {
  const int index = list.findText(QString::fromUtf8(text));
  ASSERT_GE(index, 0) << text;
  list.setCurrentIndex(index);
  emit list.activated(index);
}

TEST(ComComboBoxTest, PortList_ShowsTheNameAsChosenMarksItsEntry_TypedPathIsApplied) {
  test::TemporaryFolder sysfs;
  std::filesystem::create_directories(sysfs.Path() / "class/tty/ttyUSB0/device");
  std::filesystem::create_directories(sysfs.Path() / "class/tty/ttyS0/device");
  // stored name, entry it marks ("" for none)
  const std::pair<const char*, const char*> rows[] = {
      {"COM1", "ttyS0"}, {"/dev/ttyUSB0", "ttyUSB0"}, {"ttyusb0", "ttyUSB0"}, {"COM7", ""}};
  for (const auto& [stored, entry] : rows) {
    TComPort port;
    port.SetPort(QString::fromUtf8(stored));
    TComComboBox list;
    list.SetSysfsRoot(sysfs.Path());
    list.SetComProperty(cpPort);
    list.SetComPort(&port);
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(list.Text(), stored);
    EXPECT_EQ(list.currentIndex() < 0 ? QString() : list.itemText(list.currentIndex()), entry) << stored;
    list.ApplySelection();
    EXPECT_EQ(port.Port(), stored) << "the name stays as the user chose it";
  }

  TComPort port;
  TComComboBox list;
  list.SetSysfsRoot(sysfs.Path());
  list.SetComProperty(cpPort);
  list.SetComPort(&port);
  Pick(list, "ttyUSB0");
  list.ApplySelection();
  EXPECT_EQ(port.Port(), QStringLiteral("ttyUSB0"));
  list.lineEdit()->clear();
  QTest::keyClicks(list.lineEdit(), QStringLiteral("/dev/serial/by-id/usb-x "));
  list.ApplySelection();
  EXPECT_EQ(port.Port(), QStringLiteral("/dev/serial/by-id/usb-x"));

  // A list read again keeps the name shown, also when the device list is gone.
  std::filesystem::create_directories(sysfs.Path() / "class/tty/ttyACM0/device");
  list.RefreshPortList();
  EXPECT_EQ(list.count(), 3);
  EXPECT_EQ(list.Text(), QStringLiteral("/dev/serial/by-id/usb-x"));
  list.SetSysfsRoot(sysfs.Path() / "missing");
  test::ExpectComFailure([&] { list.RefreshPortList(); }, kComRegistryFailed, ENOENT);
  EXPECT_EQ(list.count(), 0);
  EXPECT_EQ(list.Text(), QStringLiteral("/dev/serial/by-id/usb-x"));
}

TEST(ComComboBoxTest, CustomFlowPick_ChangesNoFlagAndListShowsDerivedKindAgain) {
  TComPort port;
  port.FlowControl().SetFlowControlKind(fcHardware);
  TComComboBox list;
  list.SetComPort(&port);
  list.SetComProperty(cpFlowControl);
  Pick(list, "Custom");
  list.ApplySelection();
  EXPECT_EQ(port.FlowControl().FlowControlKind(), fcHardware);
  list.ShowCurrent();
  EXPECT_EQ(list.Text(), QStringLiteral("Hardware"));
}

TEST(ComComboBoxTest, PortDestroyed_UnbindsAndSelectsFirstItem) {
  auto port = std::make_unique<TComPort>();
  port->SetBaudRate(br115200);
  TComComboBox list;
  list.SetComProperty(cpBaudRate);
  list.SetComPort(port.get());
  port.reset();
  EXPECT_EQ(list.ComPort(), nullptr);
  EXPECT_EQ(list.currentIndex(), 0);
  list.ApplySelection();  // nothing left to write into
}

}  // namespace
}  // namespace tessaly
