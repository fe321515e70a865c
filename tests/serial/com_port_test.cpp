// Opening, closing and configuring a port on a pseudo-terminal.
#include <QStringList>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <cerrno>

#include "tests/serial/port_fixture.h"

namespace tessaly {
namespace {

using test::ExpectComFailure;
using test::PortOnPtyTest;
using test::ReadLineConfiguration;

class ComPortOpenTest : public PortOnPtyTest {};

TEST_F(ComPortOpenTest, OpenCloseReopen_RunsNotificationsInOrder) {
  QStringList log;
  port_->OnBeforeOpen = [&](TCustomComPort& port) { log << QStringLiteral("before-open %1").arg(port.Connected()); };
  port_->OnAfterOpen = [&](TCustomComPort& port) { log << QStringLiteral("after-open %1").arg(port.Connected()); };
  port_->OnCTSChange = [&](TCustomComPort&, bool on) { log << QStringLiteral("cts %1").arg(on); };
  port_->OnDSRChange = [&](TCustomComPort&, bool on) { log << QStringLiteral("dsr %1").arg(on); };
  port_->OnRLSDChange = [&](TCustomComPort&, bool on) { log << QStringLiteral("rlsd %1").arg(on); };
  port_->OnBeforeClose = [&](TCustomComPort& port) { log << QStringLiteral("before-close %1").arg(port.Connected()); };
  port_->OnAfterClose = [&](TCustomComPort& port) { log << QStringLiteral("after-close %1").arg(port.Connected()); };

  port_->Open();
  port_->Open();  // already open: nothing
  port_->Close();
  port_->Close();  // already closed: nothing
  port_->SetConnected(true);
  EXPECT_TRUE(port_->Connected());
  port_->SetConnected(false);

  // A pseudo-terminal has no modem lines: they read as off, without failing.
  const QStringList once{"before-open 0", "after-open 1", "cts 0", "dsr 0", "rlsd 0",
                         "cts 0", "dsr 0", "rlsd 0", "before-close 1", "after-close 0"};
  EXPECT_EQ(log, once + once);
  EXPECT_FALSE(port_->Connected());
}

struct OpenFailureCase {
  const char* name;
  int platformCode;
};

class ComPortOpenFailureTest : public testing::TestWithParam<OpenFailureCase> {};

TEST_P(ComPortOpenFailureTest, FailsWithCode1AndStaysClosed) {
  TComPort port;
  port.SetPort(QString::fromUtf8(GetParam().name));
  bool afterOpenRan = false;
  port.OnAfterOpen = [&](TCustomComPort&) { afterOpenRan = true; };
  ExpectComFailure([&] { port.Open(); }, kComOpenFailed, GetParam().platformCode);
  EXPECT_FALSE(port.Connected());
  EXPECT_FALSE(afterOpenRan);
}

INSTANTIATE_TEST_SUITE_P(Names, ComPortOpenFailureTest,
                         testing::Values(OpenFailureCase{"/dev/tessaly-no-such-port", ENOENT},
                                         // An empty name, as an unpicked port list applies.
                                         OpenFailureCase{"", EISDIR}));

TEST(ComPortOpenFailureTest, MissingDeviceMessageCarriesErrno) {
  TComPort port;
  port.SetPort(QStringLiteral("/dev/tessaly-no-such-port"));
  try {
    port.Open();
    FAIL() << "opened a missing device";
  } catch (const EComPort& failure) {
    EXPECT_STREQ(failure.what(), "Unable to open com port (win error code: 2)");
  }
}

TEST(ComPortOpenFailureTest, FileThatIsNoTerminalIsRefused) {
  QTemporaryFile file;
  ASSERT_TRUE(file.open());
  TComPort port;
  port.SetPort(file.fileName());
  ExpectComFailure([&] { port.Open(); }, kComOpenFailed, ENOTTY);
  EXPECT_FALSE(port.Connected());
}

TEST_F(ComPortOpenTest, PortInUseByAnotherOpening_FailsWithCode1UntilReleased) {
  port_->Open();
  TComPort second;
  second.SetPort(pty_.SlavePath());
  ExpectComFailure([&] { second.Open(); }, kComOpenFailed, EBUSY);
  EXPECT_FALSE(second.Connected());

  port_->Close();
  second.Open();
  EXPECT_TRUE(second.Connected());
}

TEST_F(ComPortOpenTest, ZeroCustomRate_FailsWithCode7AndClosesAgain) {
  port_->SetBaudRate(brCustom);
  port_->SetCustomBaudRate(0);
  ExpectComFailure([&] { port_->Open(); }, kComSetStateFailed, EINVAL);
  EXPECT_FALSE(port_->Connected());
  // The device was released: a valid rate opens it.
  port_->SetCustomBaudRate(31250);
  port_->Open();
  EXPECT_EQ(ReadLineConfiguration(pty_.Master()).outputSpeed, 31250u);
}

TEST_F(ComPortOpenTest, DestroyingAnOpenPortReleasesTheDevice) {
  port_->Open();
  port_.reset();
  TComPort again;
  again.SetPort(pty_.SlavePath());
  again.Open();
  EXPECT_TRUE(again.Connected());
}

struct LineCase {
  const char* scenario;
  std::function<void(TCustomComPort&)> configure;
  std::function<void(const test::TLineReadback&)> check;
};

class ComPortLineTest : public PortOnPtyTest, public testing::WithParamInterface<LineCase> {};

TEST_P(ComPortLineTest, DeviceHoldsTheConfigurationAskedFor) {
  GetParam().configure(*port_);
  port_->Open();
  const test::TLineReadback line = ReadLineConfiguration(pty_.Master());
  EXPECT_TRUE(line.raw);
  EXPECT_EQ(line.inputSpeed, line.outputSpeed);
  GetParam().check(line);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ComPortLineTest,
    testing::Values(
        LineCase{"Defaults",
                 [](TCustomComPort&) {},
                 [](const test::TLineReadback& line) {
                   EXPECT_EQ(line.outputSpeed, 9600u);
                   EXPECT_EQ(line.characterBits, 8);
                   EXPECT_FALSE(line.twoStopBits);
                   EXPECT_FALSE(line.rtsCts || line.xonOutput || line.xoffInput || line.parityCheck);
                 }},
        LineCase{"RateOutsidePosixList",
                 [](TCustomComPort& port) { port.SetBaudRate(br14400); },
                 [](const test::TLineReadback& line) { EXPECT_EQ(line.outputSpeed, 14400u); }},
        LineCase{"CustomRateAndTwoStopBits",
                 [](TCustomComPort& port) {
                   port.SetBaudRate(brCustom);
                   port.SetCustomBaudRate(250000);
                   port.SetStopBits(sbTwoStopBits);
                 },
                 [](const test::TLineReadback& line) {
                   EXPECT_EQ(line.outputSpeed, 250000u);
                   EXPECT_TRUE(line.twoStopBits);
                 }},
        LineCase{"OneAndAHalfStopBitsAsksForTwo",
                 [](TCustomComPort& port) { port.SetStopBits(sbOne5StopBits); },
                 [](const test::TLineReadback& line) { EXPECT_TRUE(line.twoStopBits); }},
        // A pseudo-terminal drops PARENB; the parity kind still shows.
        LineCase{"OddParityChecked",
                 [](TCustomComPort& port) {
                   port.Parity().SetBits(prOdd);
                   port.Parity().SetCheck(true);
                 },
                 [](const test::TLineReadback& line) {
                   EXPECT_TRUE(line.oddParity);
                   EXPECT_FALSE(line.stickParity);
                   EXPECT_TRUE(line.parityCheck);
                 }},
        LineCase{"MarkParity",
                 [](TCustomComPort& port) { port.Parity().SetBits(prMark); },
                 [](const test::TLineReadback& line) { EXPECT_TRUE(line.stickParity && line.oddParity); }},
        LineCase{"SpaceParity",
                 [](TCustomComPort& port) { port.Parity().SetBits(prSpace); },
                 [](const test::TLineReadback& line) {
                   EXPECT_TRUE(line.stickParity);
                   EXPECT_FALSE(line.oddParity);
                 }},
        LineCase{"HardwareFlow",
                 [](TCustomComPort& port) { port.FlowControl().SetFlowControlKind(fcHardware); },
                 [](const test::TLineReadback& line) {
                   EXPECT_TRUE(line.rtsCts);
                   EXPECT_FALSE(line.xonOutput || line.xoffInput);
                 }},
        LineCase{"SoftwareFlowWithOwnCharacters",
                 [](TCustomComPort& port) {
                   port.FlowControl().SetFlowControlKind(fcSoftware);
                   port.FlowControl().SetXonChar(0x11);
                   port.FlowControl().SetXoffChar(0x05);
                 },
                 [](const test::TLineReadback& line) {
                   EXPECT_FALSE(line.rtsCts);
                   EXPECT_TRUE(line.xonOutput && line.xoffInput);
                   EXPECT_EQ(line.startChar, 0x11);
                   EXPECT_EQ(line.stopChar, 0x05);
                 }}),
    [](const testing::TestParamInfo<LineCase>& info) { return info.param.scenario; });

TEST_F(ComPortOpenTest, ChangesReachOpenDeviceExceptUnderUpdateHold) {
  port_->Open();
  port_->SetBaudRate(br19200);
  EXPECT_EQ(ReadLineConfiguration(pty_.Master()).outputSpeed, 19200u);

  port_->SuspendApply();
  port_->SetBaudRate(br57600);
  port_->FlowControl().SetOutCTSFlow(true);
  EXPECT_EQ(ReadLineConfiguration(pty_.Master()).outputSpeed, 19200u);
  EXPECT_FALSE(ReadLineConfiguration(pty_.Master()).rtsCts);

  port_->ResumeApply();
  EXPECT_EQ(ReadLineConfiguration(pty_.Master()).outputSpeed, 57600u);
  EXPECT_TRUE(ReadLineConfiguration(pty_.Master()).rtsCts);
}

TEST_F(ComPortOpenTest, NewPortNameReopensOpenPortOnNewDevice) {
  test::TPtyPair other;
  port_->Open();
  int opens = 0;
  port_->OnAfterOpen = [&](TCustomComPort&) { ++opens; };
  port_->SetPort(other.SlavePath());
  EXPECT_EQ(opens, 1);
  EXPECT_TRUE(port_->Connected());
  other.Send("z");
  char byte = 0;
  EXPECT_EQ(port_->Read(&byte, 1), 1);
  EXPECT_EQ(byte, 'z');
}

}  // namespace
}  // namespace tessaly
