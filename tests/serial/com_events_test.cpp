// The event thread: received-characters events reaching the handler on the
// user-interface thread, hand-overs served while closing, and the end of the
// thread when the line goes away or a handler fails.
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

using std::chrono::milliseconds;

// Long enough for the event thread to have woken and queued its hand-over,
// even on a busy machine.
constexpr milliseconds kThreadSettles{300};
constexpr int kWaitLimitMs = 5000;

class ComEventsTest : public test::PortOnPtyTest {
 protected:
  // A handler as packet framing has one: read what is there into one place.
  void ReadOnRxChar() {
    port_->OnRxChar = [this](TCustomComPort& port, int count) {
      ++calls_;
      onUiThread_ = onUiThread_ && QThread::currentThread() == QCoreApplication::instance()->thread();
      EXPECT_GT(count, 0);
      std::array<char, 1024> buffer{};
      received_.append(buffer.data(), static_cast<std::size_t>(port.Read(buffer.data(), 1024)));
    };
  }

  int calls_ = 0;
  bool onUiThread_ = true;
  std::string received_;
};

TEST_F(ComEventsTest, ReceivedBytes_ReachHandlerOnUiThreadInOrder) {
  ReadOnRxChar();
  port_->Open();
  pty_.Send(std::string("\x11\x03\x00\x6B", 4));
  ASSERT_TRUE(QTest::qWaitFor([&] { return received_.size() >= 4; }, kWaitLimitMs));
  pty_.Send(std::string("\x00\x03\x76\x87", 4));
  ASSERT_TRUE(QTest::qWaitFor([&] { return received_.size() >= 8; }, kWaitLimitMs));
  EXPECT_EQ(received_, std::string("\x11\x03\x00\x6B\x00\x03\x76\x87", 8));
  EXPECT_TRUE(onUiThread_);
}

TEST_F(ComEventsTest, MoreThanOneReadQueued_AllBytesReachHandler) {
  ReadOnRxChar();
  port_->Open();
  const std::string burst(3000, '\x5A');
  pty_.Send(burst);
  ASSERT_TRUE(QTest::qWaitFor([&] { return received_.size() >= burst.size(); }, kWaitLimitMs));
  EXPECT_EQ(received_, burst);
  EXPECT_GE(calls_, 3);
}

TEST_F(ComEventsTest, BytesAlreadyRead_RaiseNoHandlerCall) {
  ReadOnRxChar();
  port_->Open();
  pty_.Send("abc");
  std::this_thread::sleep_for(kThreadSettles);  // hand-over queued, not yet run
  std::array<char, 16> buffer{};
  EXPECT_EQ(port_->Read(buffer.data(), 16), 3);
  QTest::qWait(200);
  EXPECT_EQ(calls_, 0);
}

TEST_F(ComEventsTest, HandOverQueuedAtClose_RunsBeforeCloseEnds) {
  ReadOnRxChar();
  bool readBeforeClosed = false;
  port_->OnAfterClose = [&](TCustomComPort&) { readBeforeClosed = received_ == "late"; };
  port_->Open();
  pty_.Send("late");
  std::this_thread::sleep_for(kThreadSettles);  // no event loop: the hand-over waits
  port_->Close();
  EXPECT_EQ(calls_, 1);
  EXPECT_TRUE(readBeforeClosed);
  EXPECT_FALSE(port_->Connected());
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
  EXPECT_GT(calls_, callsForFirstBytes);
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
  port_->Open();  // a new opening works
  EXPECT_TRUE(port_->Connected());
}

TEST_F(ComEventsTest, LineHangsUp_LinkLostReportedOnceAndPortStaysOpenUntilClosed) {
  QStringList lost;
  port_->OnLinkLost = [&](TCustomComPort& port, const QString& message) {
    lost << message;
    EXPECT_TRUE(port.Connected());
  };
  port_->Open();
  pty_.HangUp();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !lost.isEmpty(); }, kWaitLimitMs));
  QTest::qWait(200);
  EXPECT_EQ(lost, QStringList{QStringLiteral("WaitForEvent method failed (win error code: 5)")});
  EXPECT_TRUE(port_->Connected());
  port_->Close();
  EXPECT_FALSE(port_->Connected());
}

TEST_F(ComEventsTest, HandlerFailure_EndsDeliveryUntilReopened) {
  QStringList lost;
  port_->OnLinkLost = [&](TCustomComPort&, const QString& message) { lost << message; };
  port_->OnRxChar = [&](TCustomComPort&, int) {
    ++calls_;
    throw std::runtime_error("handler failed");
  };
  port_->Open();
  pty_.Send("a");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !lost.isEmpty(); }, kWaitLimitMs));
  EXPECT_EQ(lost, QStringList{QStringLiteral("handler failed")});
  EXPECT_EQ(calls_, 1);

  pty_.Send("b");
  QTest::qWait(200);
  EXPECT_EQ(calls_, 1);  // no thread left to deliver

  port_->Close();
  ReadOnRxChar();
  port_->Open();  // the old bytes were discarded on the thread's way out
  pty_.Send("c");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !received_.empty(); }, kWaitLimitMs));
  EXPECT_EQ(received_, "c");
}

TEST_F(ComEventsTest, LinkLostOfEarlierOpening_IsNotReportedAfterClose) {
  int lost = 0;
  port_->OnLinkLost = [&](TCustomComPort&, const QString&) { ++lost; };
  port_->OnRxChar = [](TCustomComPort&, int) { throw std::runtime_error("fails"); };
  port_->Open();
  pty_.Send("a");
  std::this_thread::sleep_for(kThreadSettles);
  port_->Close();  // runs the failing hand-over; the notice is still queued
  QTest::qWait(200);
  EXPECT_EQ(lost, 0);
}

}  // namespace
}  // namespace tessaly
