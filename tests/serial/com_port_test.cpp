// Opening, closing and configuring a port on a pseudo-terminal.
#include <QStringList>

#include <gtest/gtest.h>

#include <cerrno>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <sys/ioctl.h>
#include <unistd.h>

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

// Another program's claim on a port stands, root or not, and this program
// never takes it away; once that program is gone (killed, so it never
// cleared its flag), the port opens. The multiplexer that makes
// pseudo-terminals is no port at all.
TEST_F(ComPortTest, PortHeldExclusivelyByAnother_RefusedWhileItLives_OpenedOnceItIsKilled) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const QByteArray slave = pty_.SlavePath().toLocal8Bit();
  const pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    // Another program: it holds the port, not the pseudo-terminal's far end.
    ::close(pty_.Master());
    const int handle = ::open(slave.constData(), O_RDWR | O_NOCTTY);
    const char claimed = (handle >= 0 && ioctl(handle, TIOCEXCL) == 0) ? 'y' : 'n';
    (void)!::write(ready[1], &claimed, 1);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char claimed = 0;
  ASSERT_EQ(::read(ready[0], &claimed, 1), 1);
  ::close(ready[0]);
  ASSERT_EQ(claimed, 'y');

  ExpectComFailure([&] { port_->Open(); }, kComOpenFailed, EBUSY);
  EXPECT_FALSE(port_->Connected());
  const int look = ::open(slave.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);  // root may look
  if (look >= 0) {
    int exclusive = 0;
    ASSERT_EQ(ioctl(look, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1) << "the other program's exclusive claim was cleared";
    ::close(look);
  }

  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  if (::geteuid() == 0) {
    // Only root can open a terminal whose flag outlived its holder.
    port_->Open();
    EXPECT_TRUE(port_->Connected());
  }

  TComPort multiplexer;
  multiplexer.SetPort(QStringLiteral("/dev/ptmx"));
  ExpectComFailure([&] { multiplexer.Open(); }, kComOpenFailed, ENOTTY);
}

// The next program to use the port finds it as this one found it.
TEST_F(ComPortTest, Close_PutsBackTheLineSettingsFoundAtOpening) {
  const std::string found = LineConfiguration(pty_.Master());
  port_->SetBaudRate(br19200);
  port_->Parity().SetBits(prOdd);
  port_->Open();
  ASSERT_NE(LineConfiguration(pty_.Master()), found);
  port_->Close();
  EXPECT_EQ(LineConfiguration(pty_.Master()), found);
}

TEST_F(ComPortTest, ConfigurationFails_Code7AndTheDeviceIsFreeForTheNextOpening) {
  port_->SetBaudRate(brCustom);
  port_->SetCustomBaudRate(0);
  ExpectComFailure([&] { port_->Open(); }, kComSetStateFailed, EINVAL);
  EXPECT_FALSE(port_->Connected());
  TComPort next;  // neither busy nor locked
  next.SetPort(pty_.SlavePath());
  next.SetBaudRate(brCustom);
  next.SetCustomBaudRate(31250);
  next.Open();
  EXPECT_EQ(LineConfiguration(pty_.Master()), "31250");
}

TEST_F(ComPortTest, ChangesReachTheOpenDevice_ExceptUnderTheUpdateHold) {
  port_->Open();
  const std::pair<void (*)(TCustomComPort&), const char*> rows[] = {
      {[](TCustomComPort& p) { p.SetBaudRate(br19200); }, "19200"},
      {[](TCustomComPort& p) { p.FlowControl().SetFlowControlKind(fcHardware); }, "19200 CRTSCTS"},
      {[](TCustomComPort& p) { p.FlowControl().SetFlowControlKind(fcNone); }, "19200"},
      {[](TCustomComPort& p) { p.FlowControl().SetOutCTSFlow(true); }, "19200 CRTSCTS"},
      {[](TCustomComPort& p) { p.FlowControl().SetXonXoffIn(true); }, "19200 CRTSCTS IXOFF"},
      {[](TCustomComPort& p) { p.Parity().SetBits(prOdd); }, "19200 PARODD CRTSCTS IXOFF"},
      {[](TCustomComPort& p) { p.SetStopBits(sbTwoStopBits); }, "19200 PARODD CSTOPB CRTSCTS IXOFF"}};
  for (const auto& [change, expected] : rows) {
    change(*port_);
    EXPECT_EQ(LineConfiguration(pty_.Master()), expected);
  }
  port_->SuspendApply();
  port_->SetBaudRate(br57600);
  port_->FlowControl().SetFlowControlKind(fcNone);
  EXPECT_EQ(LineConfiguration(pty_.Master()), "19200 PARODD CSTOPB CRTSCTS IXOFF");
  port_->ResumeApply();
  EXPECT_EQ(LineConfiguration(pty_.Master()), "57600 PARODD CSTOPB");
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
