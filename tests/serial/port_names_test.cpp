// Port names to device paths, and listing the machine's serial devices from
// a made-up sysfs tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "links/serial/port_names.h"
#include "tests/serial/port_fixture.h"

namespace tessaly {
namespace {

TEST(DevicePathTest, MapsComNumbersToOnBoardPortsAndOtherNamesIntoDev) {
  const std::pair<const char*, const char*> rows[] = {
      {"COM1", "/dev/ttyS0"},   {"com10", "/dev/ttyS9"},  {"COM0", "/dev/COM0"},         {"COM-1", "/dev/COM-1"},
      {"COM1a", "/dev/COM1a"},  {"COM12345678901", "/dev/COM12345678901"}, {"/dev/pts/7", "/dev/pts/7"},
      {"ttyUSB0", "/dev/ttyUSB0"}};
  for (const auto& [name, path] : rows) EXPECT_EQ(DevicePathForPort(QString::fromUtf8(name)), path) << name;
}

TEST(ListPortNamesTest, ListsDeviceBackedTtysSortedIgnoringCase_FailsWithCode23WhenUnreadable) {
  test::TemporaryFolder root;
  // name, backed by a device, type attribute (0: an empty on-board UART slot)
  const std::tuple<const char*, bool, const char*> ttys[] = {
      {"ttyS0", true, "4"}, {"ttyS1", true, "0"},  {"ttyS10", true, "4"}, {"ttyS2", true, "4"},
      {"ttyUSB0", true, nullptr}, {"ttyacm1", true, nullptr}, {"ttyACM0", true, nullptr}, {"tty0", false, nullptr}};
  for (const auto& [name, backed, type] : ttys) {
    const std::filesystem::path entry = root.Path() / "class/tty" / name;
    std::filesystem::create_directories(backed ? entry / "device" : entry);
    if (type != nullptr) std::ofstream(entry / "type") << type << '\n';
  }
  QStringList names{QStringLiteral("stale")};
  ListPortNames(names, root.Path());
  EXPECT_EQ(names, (QStringList{"ttyACM0", "ttyacm1", "ttyS0", "ttyS10", "ttyS2", "ttyUSB0"}));

  test::ExpectComFailure([&] { ListPortNames(names, root.Path() / "missing"); }, kComRegistryFailed,
                         ENOENT);
  EXPECT_EQ(names.size(), 6);  // kept
}

}  // namespace
}  // namespace tessaly
