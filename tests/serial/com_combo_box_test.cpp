// The setting lists bound to a closed port, as the serial settings dialog
// uses them: what they show, and when a pick reaches the port.
#include <gtest/gtest.h>

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

TEST(ComComboBoxTest, PortNameNotListed_ShowsNothingAndAppliesEmptyName) {
  test::TemporaryFolder sysfs;
  std::filesystem::create_directories(sysfs.Path() / "class/tty/ttyUSB0/device");
  TComPort port;
  port.SetPort(QStringLiteral("COM7"));
  TComComboBox list;
  list.SetSysfsRoot(sysfs.Path());
  list.SetComProperty(cpPort);
  list.SetComPort(&port);
  EXPECT_EQ(list.count(), 1);
  EXPECT_EQ(list.Text(), QString());

  list.ApplySelection();
  EXPECT_EQ(port.Port(), QString());
  Pick(list, "ttyUSB0");
  list.ApplySelection();
  EXPECT_EQ(port.Port(), QStringLiteral("ttyUSB0"));

  list.SetSysfsRoot(sysfs.Path() / "missing");
  test::ExpectComFailure([&] { list.SetComProperty(cpPort); }, kComRegistryFailed, ENOENT);
  EXPECT_EQ(list.count(), 0);
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
