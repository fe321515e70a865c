// Port names to device paths, and listing the machine's serial devices from
// a made-up sysfs tree.
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "links/serial/com_error.h"
#include "links/serial/port_names.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

struct PathCase {
  const char* name;
  const char* path;
};

class DevicePathTest : public testing::TestWithParam<PathCase> {};

TEST_P(DevicePathTest, MapsNameToDevice) {
  EXPECT_EQ(DevicePathForPort(QString::fromUtf8(GetParam().name)), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(Names, DevicePathTest,
                         testing::Values(PathCase{"COM1", "/dev/ttyS0"}, PathCase{"COM10", "/dev/ttyS9"},
                                         PathCase{"com3", "/dev/ttyS2"}, PathCase{"COM0", "/dev/COM0"},
                                         PathCase{"COM", "/dev/COM"}, PathCase{"COM-1", "/dev/COM-1"},
                                         PathCase{"COM1a", "/dev/COM1a"},
                                         PathCase{"COM12345678901", "/dev/COM12345678901"},
                                         PathCase{"/dev/pts/7", "/dev/pts/7"},
                                         PathCase{"ttyUSB0", "/dev/ttyUSB0"}, PathCase{"", "/dev/"}));

class ListPortNamesTest : public testing::Test {
 protected:
  // A tty entry as sysfs shows it: with a device link when hardware backs
  // it, and a type attribute for on-board UART slots.
  void AddTty(const char* name, bool backed, const char* type = nullptr) {
    const fs::path entry = Root() / "class" / "tty" / name;
    fs::create_directories(entry);
    if (backed) fs::create_directories(entry / "device");
    if (type != nullptr) std::ofstream(entry / "type") << type << '\n';
  }
  fs::path Root() const { return fs::path(dir_.path().toStdString()); }

  QTemporaryDir dir_;
};

TEST_F(ListPortNamesTest, ListsBackedDevicesSortedIgnoringCase) {
  AddTty("ttyS0", true, "4");
  AddTty("ttyS1", true, "0");  // empty UART slot
  AddTty("ttyS10", true, "4");
  AddTty("ttyS2", true, "4");
  AddTty("ttyUSB0", true);
  AddTty("ttyacm1", true);
  AddTty("ttyACM0", true);
  AddTty("ttyAMA0", true, "1");
  AddTty("tty0", false);
  AddTty("ptmx", false);
  QStringList names{QStringLiteral("stale")};

  ListPortNames(names, Root());

  EXPECT_EQ(names, (QStringList{"ttyACM0", "ttyacm1", "ttyAMA0", "ttyS0", "ttyS10", "ttyS2", "ttyUSB0"}));
}

TEST_F(ListPortNamesTest, UnreadableListFailsWithCode23AndKeepsNames) {
  QStringList names{QStringLiteral("kept")};
  try {
    ListPortNames(names, Root() / "missing");
    FAIL() << "listing a missing tree succeeded";
  } catch (const EComPort& failure) {
    EXPECT_EQ(failure.ErrorCode(), kComRegistryFailed);
    EXPECT_EQ(failure.PlatformCode(), ENOENT);
    EXPECT_EQ(failure.Message(), QStringLiteral("Registry error (win error code: 2)"));
  }
  EXPECT_EQ(names, QStringList{QStringLiteral("kept")});
}

}  // namespace
}  // namespace tessaly
