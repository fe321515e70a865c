// The settings without a device: text conversions, the derived flow-control
// kind, port names to device paths, and the list of ports from a made-up sysfs
// tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "links/serial/com_text.h"
#include "links/serial/port_names.h"
#include "tests/serial/port_fixture.h"

namespace tessaly {
namespace {

TEST(ComTextTest, FromText_MatchesIgnoringAsciiCaseOnlyElseFallsBack) {
  const struct {
    const char* text;
    TBaudRate baudRate;
    TParityBits parity;
    TFlowControl flowControl;
    TStopBits stopBits;
    TDataBits dataBits;
  } rows[] = {{"", br9600, prNone, fcCustom, sbOneStopBit, dbEight},  // a missing stored value
              {"19200", br19200, prNone, fcCustom, sbOneStopBit, dbEight},
              {"19200 ", br9600, prNone, fcCustom, sbOneStopBit, dbEight},  // nothing trimmed
              {"custom", brCustom, prNone, fcCustom, sbOneStopBit, dbEight},
              {"eVEN", br9600, prEven, fcCustom, sbOneStopBit, dbEight},
              {"none", br9600, prNone, fcNone, sbOneStopBit, dbEight},
              {"1.5", br9600, prNone, fcCustom, sbOne5StopBits, dbEight},
              {"7", br9600, prNone, fcCustom, sbOneStopBit, dbSeven},
              {"\u017Foftware", br9600, prNone, fcCustom, sbOneStopBit, dbEight}};  // long s: not ASCII
  for (const auto& row : rows) {
    const QString text = QString::fromUtf8(row.text);
    EXPECT_EQ(BaudRateFromText(text), row.baudRate) << row.text;
    EXPECT_EQ(ParityFromText(text), row.parity) << row.text;
    EXPECT_EQ(FlowControlFromText(text), row.flowControl) << row.text;
    EXPECT_EQ(StopBitsFromText(text), row.stopBits) << row.text;
    EXPECT_EQ(DataBitsFromText(text), row.dataBits) << row.text;
  }
  EXPECT_EQ(BaudRateText(static_cast<TBaudRate>(200)), QString());  // no enumerator, no text
}

TEST(FlowControlKindTest, DerivedFromRtsCtsAndXonXoffOnly) {
  const struct {
    TRTSFlowControl rts;
    bool ctsOut, xonIn, xonOut;
    TFlowControl kind;
  } rows[] = {{rtsHandshake, true, false, false, fcHardware}, {rtsHandshake, true, true, false, fcCustom},
              {rtsDisable, false, true, true, fcSoftware},    {rtsDisable, false, true, false, fcCustom},
              {rtsDisable, false, false, false, fcNone},      {rtsEnable, false, false, false, fcCustom}};
  for (const auto& row : rows) {
    TComPort port;
    TComFlowControl& flow = port.FlowControl();
    SCOPED_TRACE(&row - rows);
    flow.SetControlRTS(row.rts);
    flow.SetOutCTSFlow(row.ctsOut);
    flow.SetXonXoffIn(row.xonIn);
    flow.SetXonXoffOut(row.xonOut);
    flow.SetOutDSRFlow(true);
    flow.SetControlDTR(dtrHandshake);
    EXPECT_EQ(flow.FlowControlKind(), row.kind);
  }
}

TEST(DevicePathTest, MapsComNumbersToOnBoardPortsAndOtherNamesIntoDev) {
  const std::pair<const char*, const char*> rows[] = {
      {"COM1", "/dev/ttyS0"},   {"com10", "/dev/ttyS9"},  {"COM0", "/dev/COM0"},         {"COM-1", "/dev/COM-1"},
      {"COM1a", "/dev/COM1a"},  {"COM12345678901", "/dev/COM12345678901"}, {"/dev/pts/7", "/dev/pts/7"},
      {"ttyUSB0", "/dev/ttyUSB0"}};
  for (const auto& [name, path] : rows) EXPECT_EQ(DevicePathForPort(QString::fromUtf8(name)), path) << name;
}

TEST(ListPortNamesTest, ListsDeviceBackedTtysAndPseudoTerminalsSortedIgnoringCase_FailsWithCode23WhenUnreadable) {
  test::TemporaryFolder root;
  std::filesystem::create_directories(root.Path() / "pts");
  // name, backed by a device, type attribute (0: an empty on-board UART slot)
  const std::tuple<const char*, bool, const char*> ttys[] = {
      {"ttyS0", true, "4"}, {"ttyS1", true, "0"},  {"ttyS10", true, "4"}, {"ttyS2", true, "4"},
      {"ttyUSB0", true, nullptr}, {"ttyacm1", true, nullptr}, {"ttyACM0", true, nullptr}, {"tty0", false, nullptr}};
  for (const auto& [name, backed, type] : ttys) {
    const std::filesystem::path entry = root.Path() / "class/tty" / name;
    std::filesystem::create_directories(backed ? entry / "device" : entry);
    if (type != nullptr) std::ofstream(entry / "type") << type << '\n';
  }
  // Open pseudo-terminals are listed too; the multiplexer is no port.
  for (const char* pts : {"ptmx", "3", "12"}) std::ofstream(root.Path() / "pts" / pts);
  QStringList names{QStringLiteral("stale")};
  ListPortNames(names, root.Path(), root.Path() / "pts");
  EXPECT_EQ(names, (QStringList{"pts/12", "pts/3", "ttyACM0", "ttyacm1", "ttyS0", "ttyS10", "ttyS2", "ttyUSB0"}));

  test::ExpectComFailure([&] { ListPortNames(names, root.Path() / "missing", {}); }, kComRegistryFailed,
                         ENOENT);
  EXPECT_EQ(names.size(), 8);  // kept
}

}  // namespace
}  // namespace tessaly
