// A capture session on its own, with Qt Core's event loop and no window
// system: real links (a pseudo-terminal, a loopback gateway), and the edges
// of a capture where bytes used to be lost, with the owner's thread made
// busy on purpose.
#include "session/capture_session.h"

#include "session/link_holder.h"
#include "presentation/failure_report.h"
#include "session/capture_reporter.h"
#include "tests/support/loopback.h"
#include "tests/support/pty_pair.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace tessaly {
namespace {

using std::chrono::milliseconds;

struct Packets : PacketSink {
  void AppendPacket(const std::uint8_t* bytes, int count, PacketTime) override {
    rows.emplace_back(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count));
  }
  std::string All() const {
    std::string all;
    for (const std::string& row : rows) all += row;
    return all;
  }
  std::vector<std::string> rows;
};

struct Reports : CaptureReporter {
  void LinkLost(const QString& message, const QString&) override { lost << message; }
  void LinkDropped(const QString& cause, PacketTime, bool retrying) override {
    dropped << cause + (retrying ? " (retrying)" : "");
  }
  void LinkBack(const QString& where, PacketTime) override { back << where; }
  QStringList lost;
  QStringList dropped;
  QStringList back;
};

// Runs the owner's event loop until the condition holds (or a minute passes
// on a very busy machine).
template <class Condition>
bool RunUntil(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

// The owner's thread busy with something else (a repaint, a dialog) while
// the line goes on: nothing of the event loop runs meanwhile.
void BusyFor(milliseconds time) { std::this_thread::sleep_for(time); }

class CaptureSessionTest : public testing::Test {
 protected:
  CaptureSessionTest() {
    SetErrorReportHook([this](const QString& text) { errors_ << text; });
    session_.Framer().SetInterval(20);
    session_.BindHandlers();
  }
  ~CaptureSessionTest() override { SetErrorReportHook(ErrorReportHook{}); }

  void OpenSerialOn(const test::PtyPair& line) {
    links_.ComPort().SetPort(line.SlavePath());
    session_.OpenSerial();
  }

  QTemporaryDir store_;
  Data links_{store_.path().toStdString()};
  Packets packets_;
  Reports reports_;
  CaptureSession session_{links_, packets_, reports_};
  QStringList errors_;
};

TEST_F(CaptureSessionTest, SerialLine_FramesBecomePacketsCutAtTheSilences) {
  test::PtyPair line;
  OpenSerialOn(line);
  line.Send(std::string("\x01\x03\x00\x00\x00\x02", 6));
  ASSERT_TRUE(RunUntil([&] { return packets_.rows.size() == 1; }));
  line.Send(std::string("\x01\x03\x04\xAB\xCD", 5));
  ASSERT_TRUE(RunUntil([&] { return packets_.rows.size() == 2; }));
  EXPECT_EQ(packets_.rows[1], std::string("\x01\x03\x04\xAB\xCD", 5));
  session_.Close();
  EXPECT_FALSE(session_.LinkOpen());
  EXPECT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
}

// Runs the owner's event loop for a while.
void RunFor(milliseconds time) {
  const auto end = std::chrono::steady_clock::now() + time;
  while (std::chrono::steady_clock::now() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Bytes the recorder kept while the owner was busy, then the device gone:
// all of them are logged, then the loss is told once, in the same words
// every time, and the port is closed.
TEST_F(CaptureSessionTest, HangUpWhileBusy_EveryByteReadBeforeIsLogged_LossToldOnceAlike) {
  for (int run = 0; run < 10; ++run) {
    SCOPED_TRACE(run);
    packets_.rows.clear();
    reports_.lost.clear();
    test::PtyPair line;
    OpenSerialOn(line);
    line.Send("ABCDEFGH");
    BusyFor(milliseconds(100));
    line.HangUp();
    BusyFor(milliseconds(50));
    ASSERT_TRUE(RunUntil([&] { return !reports_.lost.isEmpty(); }));
    RunFor(milliseconds(60));  // the packet's silence ends
    EXPECT_EQ(packets_.All(), "ABCDEFGH");
    EXPECT_EQ(reports_.lost, QStringList{"WaitForEvent method failed (win error code: 5)"});
    EXPECT_FALSE(session_.LinkOpen());
  }
  EXPECT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
}

// Stop while bytes wait unhandled, in the recorder or still in the kernel:
// they are logged, cut where the line fell silent, and the last packet ends
// as at a silence.
TEST_F(CaptureSessionTest, StopWhileBusy_EveryByteReadBeforeIsLogged_OnEitherLink) {
  test::PtyPair serialLine;
  test::LoopbackListener gateway;
  for (const bool tcp : {false, true}) {
    SCOPED_TRACE(tcp ? "tcp" : "serial");
    packets_.rows.clear();
    if (tcp) {
      links_.Socket().SetAddress(QStringLiteral("127.0.0.1"));
      links_.Socket().SetPort(gateway.Port());
      session_.StartTcp();
    } else {
      OpenSerialOn(serialLine);
    }
    const test::Descriptor far = tcp ? gateway.Accept() : test::Descriptor();
    if (tcp) {
      ASSERT_TRUE(RunUntil([&] { return links_.Socket().Active(); }));
    }
    const auto send = [&](std::string_view bytes) {
      if (tcp) {
        far.Send(bytes);
      } else {
        serialLine.Send(bytes);
      }
    };
    send("first");
    BusyFor(milliseconds(60));  // far longer than the 20 ms end, and the 10 ms serial read rule
    send("second");
    BusyFor(milliseconds(30));
    session_.Close();
    EXPECT_FALSE(session_.LinkOpen());
    RunFor(milliseconds(60));
    EXPECT_EQ(packets_.rows, (std::vector<std::string>{"first", "second"}));
  }
  EXPECT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
}

TEST_F(CaptureSessionTest, LineDescription_TellsTheLineAndTheIntervalInForce) {
  test::PtyPair line;
  OpenSerialOn(line);
  LineDescription serial = session_.Line();
  EXPECT_EQ(serial.link, LineDescription::Link::Serial);
  EXPECT_EQ(serial.where, line.SlavePath());
  EXPECT_EQ(serial.bitsPerSecond, 4800);  // the built-in speed: nothing was restored
  EXPECT_EQ(serial.intervalMs, 20);
  // 10 bits a character (8N1) at 4800 bits per second.
  EXPECT_NEAR(*serial.CharacterMicroseconds(), 2083.33, 0.01);
  session_.Close();

  test::LoopbackListener gateway;
  links_.Socket().SetAddress(QStringLiteral("127.0.0.1"));
  links_.Socket().SetPort(gateway.Port());
  session_.StartTcp();
  const LineDescription tcp = session_.Line();
  EXPECT_EQ(tcp.link, LineDescription::Link::Tcp);
  EXPECT_FALSE(tcp.CharacterMicroseconds().has_value()) << "a gateway's line speed is unknown unless given";
  EXPECT_TRUE(tcp.Text().contains(QStringLiteral("line speed unknown")));
  session_.Close();
  session_.SetGatewayLineSpeed(19200);
  session_.StartTcp();
  EXPECT_EQ(session_.Line().bitsPerSecond, 19200);
  session_.Close();
  links_.ComPort().SetBaudRate(br115200);
  EXPECT_EQ(session_.Line().bitsPerSecond, 19200) << "the capture keeps the line it was made on";
}

// A gateway that closes the connection leaves a trace: the drop is told
// with its cause, whatever the link. With reconnect on, the session dials
// again every second until the gateway is back, and says so; Stop ends it.
TEST_F(CaptureSessionTest, GatewayGone_DropToldWithItsCause_ReconnectDialsUntilItIsBack) {
  auto gateway = std::make_unique<test::LoopbackListener>();
  const int port = gateway->Port();
  links_.Socket().SetAddress(QStringLiteral("127.0.0.1"));
  links_.Socket().SetPort(port);
  session_.StartTcp();
  test::Descriptor far = gateway->Accept();
  ASSERT_TRUE(RunUntil([&] { return links_.Socket().Active(); }));
  far.Send("last");
  far.Close();
  ASSERT_TRUE(RunUntil([&] { return !reports_.dropped.isEmpty(); }));
  EXPECT_EQ(reports_.dropped, QStringList{QStringLiteral("TCP 127.0.0.1:%1: the gateway closed the connection").arg(port)});
  EXPECT_TRUE(reports_.lost.isEmpty()) << "a gateway's end is no box";
  RunFor(milliseconds(60));
  EXPECT_EQ(packets_.All(), "last");

  // Reconnect: the gateway goes away for good, then comes back on its port.
  session_.SetReconnect(true);
  reports_.dropped.clear();
  session_.StartTcp();
  far = gateway->Accept();
  ASSERT_TRUE(RunUntil([&] { return links_.Socket().Active(); }));
  far.Close();
  gateway.reset();
  ASSERT_TRUE(RunUntil([&] { return !reports_.dropped.isEmpty(); }));
  EXPECT_TRUE(reports_.dropped.front().endsWith(" (retrying)"));
  EXPECT_TRUE(session_.Retrying());
  RunFor(milliseconds(1500));  // at least one attempt finds nobody
  gateway = std::make_unique<test::LoopbackListener>(port);
  ASSERT_TRUE(RunUntil([&] { return !reports_.back.isEmpty(); }));
  EXPECT_EQ(reports_.back, QStringList{QStringLiteral("127.0.0.1:%1").arg(port)});
  EXPECT_FALSE(session_.Retrying());
  EXPECT_TRUE(links_.Socket().Active());

  // Stop while retrying ends the retries.
  session_.Close();
  gateway.reset();
  EXPECT_FALSE(session_.Retrying());
  EXPECT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
}

}  // namespace
}  // namespace tessaly
