// The received-characters event: reaching the handler on the user-interface
// thread, bytes still unhandled at close handed over before it ends, and the
// end of delivery when a handler fails or the device goes away (a line that
// goes away is followed end to end in the session and app tests).
#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "tests/serial/port_fixture.h"

namespace tessaly {
namespace {

// Long enough for the recorder thread to have read the bytes, even on a
// busy machine.
constexpr std::chrono::milliseconds kThreadSettles{300};
constexpr int kWaitLimitMs = 60000;

class ComEventsTest : public test::PortOnPtyTest {
 protected:
  // A handler as packet framing has one: read what is there.
  void ReadOnRxChar() {
    port_->OnRxChar = [this](TCustomComPort& port, int count) {
      ++calls_;
      onUiThread_ = onUiThread_ && QThread::currentThread() == QCoreApplication::instance()->thread() && count > 0;
      std::array<char, 1024> buffer{};
      received_.append(buffer.data(), static_cast<std::size_t>(port.Read(buffer.data(), 1024)));
    };
  }

  int calls_ = 0;
  bool onUiThread_ = true;
  std::string received_;
  QStringList lost_;
};

TEST_F(ComEventsTest, ReceivedBytes_ReachHandlerOnUiThreadInOrder) {
  ReadOnRxChar();
  port_->Open();
  pty_.Send(std::string("\x11\x03\x00\x6B", 4));
  ASSERT_TRUE(QTest::qWaitFor([&] { return received_.size() == 4; }, kWaitLimitMs));
  // More than one read's worth at once, control characters included.
  std::string burst(3000, '\0');
  for (std::size_t i = 0; i < burst.size(); ++i) burst[i] = static_cast<char>(i % 251);
  pty_.Send(burst);
  ASSERT_TRUE(QTest::qWaitFor([&] { return received_.size() >= 4 + burst.size(); }, kWaitLimitMs));
  EXPECT_EQ(received_, std::string("\x11\x03\x00\x6B", 4) + burst);
  EXPECT_GE(calls_, 4);
  EXPECT_TRUE(onUiThread_);
}

TEST_F(ComEventsTest, BytesAlreadyRead_RaiseNoHandlerCall) {
  ReadOnRxChar();
  port_->Open();
  pty_.Send("abc");
  std::this_thread::sleep_for(kThreadSettles);  // read by the recorder, not yet handled
  std::array<char, 16> buffer{};
  EXPECT_EQ(port_->Read(buffer.data(), 16), 3);
  QTest::qWait(200);
  EXPECT_EQ(calls_, 0);
}

TEST_F(ComEventsTest, BytesUnhandledAtClose_ReachTheHandlerBeforeCloseEnds) {
  ReadOnRxChar();
  bool readBeforeClosed = false;
  port_->OnAfterClose = [&](TCustomComPort&) { readBeforeClosed = received_ == "late"; };
  port_->Open();
  pty_.Send("late");
  std::this_thread::sleep_for(kThreadSettles);  // no event loop: nothing handled yet
  port_->Close();
  EXPECT_TRUE(readBeforeClosed);
}

TEST_F(ComEventsTest, HandlerThatDoesNotRead_IsCalledAgainOnlyForNewBytes) {
  int lastCount = 0;
  port_->OnRxChar = [&](TCustomComPort&, int count) {
    ++calls_;
    lastCount = count;
  };
  port_->Open();
  pty_.Send("12345");
  ASSERT_TRUE(QTest::qWaitFor([&] { return lastCount == 5; }, kWaitLimitMs));
  QTest::qWait(300);
  const int callsForFirstBytes = calls_;
  EXPECT_LE(callsForFirstBytes, 2);  // not once per pass of the event loop
  pty_.Send("678");
  ASSERT_TRUE(QTest::qWaitFor([&] { return lastCount == 8; }, kWaitLimitMs));
}

TEST_F(ComEventsTest, HandlerClosingThePort_DoesNotDeadlock) {
  port_->OnRxChar = [&](TCustomComPort& port, int) {
    ++calls_;
    port.Close();
  };
  port_->Open();
  pty_.Send("stop");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !port_->Connected(); }, kWaitLimitMs));
  EXPECT_EQ(calls_, 1);
  port_->Open();
  EXPECT_TRUE(port_->Connected());
}

TEST_F(ComEventsTest, HandlerFailure_EndsDeliveryUntilReopened) {
  // Reported while the port still counts as open, so its owner can close it.
  port_->OnLinkLost = [&](TCustomComPort& port, const QString& message) {
    lost_ << message + (port.Connected() ? "" : " (closed)");
  };
  port_->OnRxChar = [&](TCustomComPort&, int) {
    ++calls_;
    throw std::runtime_error("handler failed");
  };
  port_->Open();
  pty_.Send("a");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !lost_.isEmpty(); }, kWaitLimitMs));
  pty_.Send("b");
  QTest::qWait(200);
  EXPECT_EQ(calls_, 1);  // delivery has ended
  EXPECT_EQ(lost_, QStringList{QStringLiteral("handler failed")});

  port_->Close();  // discards "b"
  ReadOnRxChar();
  port_->Open();
  pty_.Send("c");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !received_.empty(); }, kWaitLimitMs));
  EXPECT_EQ(received_, "c");
}

// The device goes away while the port is being opened: one report, the
// loss, however far the opening had got.
TEST_F(ComEventsTest, DeviceGoneDuringOpening_ReportedOnceAsTheLoss) {
  for (int run = 0; run < 5; ++run) {
    SCOPED_TRACE(run);
    test::PtyPair line;
    TComPort port;
    port.SetPort(line.SlavePath());
    QStringList lost;
    port.OnAfterOpen = [&](TCustomComPort&) { line.HangUp(); };
    port.OnLinkLost = [&](TCustomComPort&, const QString& message) { lost << message; };
    port.Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !lost.isEmpty(); }, kWaitLimitMs));
    QTest::qWait(50);
    EXPECT_EQ(lost, QStringList{"WaitForEvent method failed (win error code: 5)"});
  }
}

}  // namespace
}  // namespace tessaly
