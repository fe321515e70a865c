// The port list as the user sees it: what each port is, read from a made-up
// sysfs, /dev and /proc tree, and the processes that hold a real
// pseudo-terminal.
#include <gtest/gtest.h>

#include <QStringList>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "links/serial/port_holders.h"
#include "links/serial/port_names.h"
#include "tests/support/holding_process.h"
#include "tests/support/pty_pair.h"
#include "tests/support/test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

void Write(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text;
}

void Link(const fs::path& link, const fs::path& target) {
  fs::create_directories(link.parent_path());
  fs::create_symlink(target, link);
}

// A machine with a USB adapter (and its stable name), an on-board port, an
// empty on-board slot, a port of another driver, a console, and two open
// pseudo-terminals, one made by a traffic generator that a socat also reads.
class MadeUpMachine {
 public:
  MadeUpMachine() {
    const fs::path usb = Sysfs() / "devices/usb1/1-1";
    Write(usb / "idVendor", "0403\n");
    Write(usb / "manufacturer", "FTDI\n");
    Write(usb / "product", "FT232R USB UART\n");
    Write(usb / "serial", "A50285BI\n");
    fs::create_directories(usb / "1-1:1.0/ttyUSB0");
    Link(Sysfs() / "class/tty/ttyUSB0/device", usb / "1-1:1.0/ttyUSB0");
    Write(Sysfs() / "class/tty/ttyS0/type", "4\n");
    fs::create_directories(Sysfs() / "class/tty/ttyS0/device");
    Write(Sysfs() / "class/tty/ttyS1/type", "0\n");
    fs::create_directories(Sysfs() / "class/tty/ttyS1/device");
    Link(Sysfs() / "class/tty/ttyAMA0/device/driver", "../../bus/amba/drivers/uart-pl011");
    fs::create_directories(Sysfs() / "class/tty/tty0");

    Link(ById(), "../../ttyUSB0");
    for (const char* pts : {"ptmx", "3", "7"}) Write(Dev() / "pts" / pts, "");

    Write(Proc() / "50/comm", "tessaly-traffic\n");
    Link(Proc() / "50/fd/4", "/dev/ptmx");
    Write(Proc() / "50/fdinfo/4", "pos:\t0\nflags:\t02\nmnt_id:\t24\ntty-index:\t3\n");
    Link(Proc() / "50/fd/5", "/dev/pts/3");
    Write(Proc() / "60/comm", "socat\n");
    Link(Proc() / "60/fd/0", "socket:[1234]");
    Link(Proc() / "60/fd/7", "/dev/pts/3");
    Write(Proc() / "self/comm", "not a process number\n");
  }

  SystemRoots Roots() const { return {Sysfs(), Dev(), Proc()}; }
  fs::path Sysfs() const { return root_.Path() / "sys"; }
  fs::path Dev() const { return root_.Path() / "dev"; }
  fs::path Proc() const { return root_.Path() / "proc"; }
  fs::path ById() const { return Dev() / "serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"; }

 private:
  test::TemporaryFolder root_;
};

TEST(PortListTest, MadeUpMachine_EachPortSaysWhatItIs_NamesFindTheirEntries) {
  const MadeUpMachine machine;
  const std::vector<PortEntry> entries = ListPorts(machine.Roots());
  QStringList shown;
  for (const PortEntry& entry : entries) shown << entry.name + " = " + entry.description;
  const QString byId = QString::fromStdString(machine.ById().string());
  EXPECT_EQ(shown, (QStringList{byId + " = USB: FTDI FT232R USB UART, serial A50285BI, stable name of ttyUSB0",
                                "pts/3 = pseudo-terminal of tessaly-traffic (pid 50)", "pts/7 = pseudo-terminal",
                                "ttyAMA0 = serial port (uart-pl011)", "ttyS0 = on-board port, COM1",
                                "ttyUSB0 = USB: FTDI FT232R USB UART, serial A50285BI"}));

  const std::pair<QString, const char*> rows[] = {
      {"COM1", "ttyS0"},         {"ttys0", "ttyS0"}, {"/dev/ttyUSB0", "ttyUSB0"}, {byId, nullptr},
      {"/dev/pts/3", "pts/3"},   {"COM2", ""},       {"", ""}};
  for (const auto& [name, expected] : rows) {
    const int index = FindPortEntry(entries, name);
    const QString found = index < 0 ? QString() : entries[static_cast<std::size_t>(index)].name;
    EXPECT_EQ(found, expected == nullptr ? byId : QString::fromUtf8(expected)) << name.toStdString();
  }
}

TEST(PortListTest, PseudoTerminalReaders_TheProgramAtItsOtherEndIsNoSecondReader) {
  const MadeUpMachine machine;
  const OpenDevices open(machine.Proc());
  EXPECT_EQ(HoldersText(open.Holding("/dev/pts/3", 0)), "socat (pid 60)");
  EXPECT_EQ(HoldersText(open.Holding("/dev/pts/3", 60)), "");
  EXPECT_EQ(HoldersText(open.PseudoTerminalOwners(3)), "tessaly-traffic (pid 50)");
  EXPECT_TRUE(OpenDevices({}).Holding("/dev/pts/3", 0).empty());
}

TEST(PortListTest, RealPseudoTerminal_ItsMakerAndASecondReaderAreFoundInProc) {
  const test::PtyPair line;  // this test program holds the other end
  const std::string path = line.SlavePath().toStdString();
  EXPECT_TRUE(OpenDevices("/proc").Holding(path, ::getpid()).empty());

  const test::HoldingProcess reader(line.SlavePath());
  const std::vector<PortHolder> holders = OpenDevices("/proc").Holding(path, ::getpid());
  ASSERT_EQ(holders.size(), 1U);
  EXPECT_EQ(holders[0].pid, reader.Pid());
  EXPECT_EQ(holders[0].program, "sleep");

  const QString name = line.SlavePath().mid(5);  // "pts/N"
  const std::vector<PortEntry> real = ListPorts(SystemRoots{{}, "/dev", "/proc"});
  const int index = FindPortEntry(real, name);
  ASSERT_GE(index, 0) << name.toStdString();
  EXPECT_TRUE(real[static_cast<std::size_t>(index)].description.contains(
      QStringLiteral("(pid %1)").arg(::getpid())))
      << real[static_cast<std::size_t>(index)].description.toStdString();
}

}  // namespace
}  // namespace tessaly
