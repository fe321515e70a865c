// Opening, closing and configuring a port on a pseudo-terminal.
#include <QStringList>

#include <gtest/gtest.h>

#include <cerrno>

#include "tests/serial/port_fixture.h"

namespace tessaly {
namespace {

using test::ExpectComFailure;
using test::LineConfiguration;

class ComPortTest : public test::PortOnPtyTest {};

TEST_F(ComPortTest, OpenCloseTwice_NotifiesInOrderAndRepeatedCallsDoNothing) {
  QStringList log;
  const auto note = [&log](QString what) {
    return [&log, what](TCustomComPort& port) { log << what + QString::number(port.Connected()); };
  };
  port_->OnBeforeOpen = note("before-open ");
  port_->OnAfterOpen = note("after-open ");
  port_->OnBeforeClose = note("before-close ");
  port_->OnAfterClose = note("after-close ");
  for (int opening = 0; opening < 2; ++opening) {
    port_->SetConnected(true);
    port_->Open();  // already open: nothing
    port_->Close();
    port_->Close();  // already closed: nothing
  }
  const QStringList once{"before-open 0", "after-open 1", "before-close 1", "after-close 0"};
  EXPECT_EQ(log, once + once);
}

TEST_F(ComPortTest, UnusableOrBusyDevice_FailsToOpenAndStaysClosed) {
  const std::pair<const char*, int> rows[] = {
      {"/dev/tessaly-no-such-port", ENOENT}, {"", EISDIR} /* an unpicked port list */, {"/dev/null", ENOTTY}};
  for (const auto& [name, error] : rows) {
    TComPort port;
    port.SetPort(QString::fromUtf8(name));
    ExpectComFailure([&] { port.Open(); }, kComOpenFailed, error);
    EXPECT_FALSE(port.Connected()) << name;
  }
  TComPort second;  // the pty, held by another opening
  second.SetPort(pty_.SlavePath());
  port_->Open();
  ExpectComFailure([&] { second.Open(); }, kComOpenFailed, EBUSY);
  port_.reset();  // destroying a port closes it
  second.Open();
  EXPECT_TRUE(second.Connected());
}

TEST_F(ComPortTest, ZeroCustomRate_FailsWithCode7AndReleasesDevice) {
  port_->SetBaudRate(brCustom);
  port_->SetCustomBaudRate(0);
  ExpectComFailure([&] { port_->Open(); }, kComSetStateFailed, EINVAL);
  EXPECT_FALSE(port_->Connected());
  port_->SetCustomBaudRate(31250);
  port_->Open();
  EXPECT_EQ(LineConfiguration(pty_.Master()), "31250");
}

TEST_F(ComPortTest, DeviceHoldsConfigurationAskedFor) {
  // A pseudo-terminal keeps 8 data bits and drops PARENB whatever is asked.
  const std::pair<void (*)(TCustomComPort&), const char*> rows[] = {
      {[](TCustomComPort&) {}, "9600"},
      {[](TCustomComPort& p) { p.SetBaudRate(br14400); p.SetStopBits(sbTwoStopBits); }, "14400 CSTOPB"},
      {[](TCustomComPort& p) { p.SetBaudRate(brCustom); p.SetCustomBaudRate(250000); p.SetStopBits(sbOne5StopBits); },
       "250000 CSTOPB"},
      {[](TCustomComPort& p) { p.Parity().SetBits(prMark); p.Parity().SetCheck(true); }, "9600 PARODD CMSPAR INPCK"},
      {[](TCustomComPort& p) { p.Parity().SetBits(prSpace); }, "9600 CMSPAR"},
      {[](TCustomComPort& p) { p.FlowControl().SetFlowControlKind(fcSoftware); p.FlowControl().SetXoffChar(5); },
       "9600 IXON IXOFF VSTOP=5"}};
  for (const auto& [configure, expected] : rows) {
    TComPort port;
    port.SetPort(pty_.SlavePath());
    configure(port);
    port.Open();
    EXPECT_EQ(LineConfiguration(pty_.Master()), expected);
  }
}

TEST_F(ComPortTest, ChangesReachOpenDeviceExceptUnderUpdateHold) {
  port_->Open();
  port_->SetBaudRate(br19200);
  EXPECT_EQ(LineConfiguration(pty_.Master()), "19200");
  port_->SuspendApply();
  port_->SetBaudRate(br57600);
  port_->FlowControl().SetFlowControlKind(fcHardware);
  EXPECT_EQ(LineConfiguration(pty_.Master()), "19200");
  port_->ResumeApply();
  EXPECT_EQ(LineConfiguration(pty_.Master()), "57600 CRTSCTS");
}

TEST_F(ComPortTest, NewPortName_ReopensOpenPortOnNewDevice) {
  test::PtyPair other;
  port_->Open();
  port_->SetPort(other.SlavePath());
  other.Send("z");
  char byte = 0;
  EXPECT_EQ(port_->Read(&byte, 1), 1);
  EXPECT_EQ(byte, 'z');
}

}  // namespace
}  // namespace tessaly
