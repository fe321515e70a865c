// Lines cut their own packets on the threads that read them: the thread
// that runs the session only takes finished packets, and lines merged into
// one log keep the order their bytes came in.
#include "session/capture_reporter.h"
#include "session/capture_session.h"
#include "session/line_merge.h"
#include "session/link_holder.h"
#include "tests/support/loopback.h"
#include "tests/support/pty_pair.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace tessaly {
namespace {

using std::chrono::milliseconds;

struct Row {
  int line;
  std::string bytes;
  PacketTiming timing;
};

struct Rows : PacketSink {
  void AppendPacket(const std::uint8_t* bytes, int count, PacketTime endedAt) override {
    AppendLinePacket(0, bytes, count, PacketTiming{endedAt, endedAt, endedAt});
  }
  void AppendPacket(const std::uint8_t* bytes, int count, const PacketTiming& timing) override {
    AppendLinePacket(0, bytes, count, timing);
  }
  void AppendLinePacket(int line, const std::uint8_t* bytes, int count, const PacketTiming& timing) override {
    rows.push_back({line, std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count)), timing});
  }
  std::vector<Row> rows;
};

struct NoReports : CaptureReporter {
  void LinkLost(const QString&, const QString&) override {}
  void LinkDropped(const QString&, PacketTime, bool) override {}
  void LinkBack(const QString&, PacketTime) override {}
};

template <class Condition>
bool RunUntil(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

// One line's capture on a pseudo-terminal.
struct SerialCapture {
  explicit SerialCapture(PacketSink& sink, int intervalMs) : session(links, sink, reports) {
    session.Framer().SetInterval(intervalMs);
    session.BindHandlers();
    links.ComPort().SetPort(line.SlavePath());
    session.OpenSerial();
  }
  ~SerialCapture() { session.Close(); }

  QTemporaryDir store;
  Data links{store.path().toStdString()};
  NoReports reports;
  CaptureSession session;
  test::PtyPair line;
};

// A 256-byte frame coming a byte a millisecond (about 9600 baud): the
// session's thread goes on answering its events while the line's thread
// collects the frame.
TEST(LineCutting, WindowThreadStaysFreeWhileALongFrameArrives) {
  Rows rows;
  SerialCapture capture(rows, 60);
  QElapsedTimer sinceProbe;
  qint64 longestGap = 0;
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  probe.setInterval(1);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    longestGap = std::max(longestGap, sinceProbe.restart());
  });
  std::thread sender([&] {
    for (int i = 0; i < 256; ++i) {
      capture.line.Send(std::string(1, static_cast<char>(i)));
      std::this_thread::sleep_for(milliseconds(1));
    }
  });
  sinceProbe.start();
  probe.start();
  std::size_t received = 0;
  const bool arrived = RunUntil([&] {
    received = 0;
    for (const Row& row : rows.rows) received += row.bytes.size();
    return received == 256;
  });
  probe.stop();
  sender.join();
  ASSERT_TRUE(arrived) << received;
  // Waiting in the serial read, the thread was blocked for the whole frame
  // (over 256 ms); now only a loaded machine holds it up. (How many rows
  // the frame makes is the pseudo-terminal's business: under load the
  // kernel may hold its bytes back for longer than the interval.)
  EXPECT_LT(longestGap, 100) << "ms without an event";
}

// More than a full buffer on one line while the other is silent: the
// line's packets reach the log in the order of its bytes.
TEST(LineCutting, FloodOnOneLineWhileTheOtherIsSilent_KeepsWireOrder) {
  Rows rows;
  LineMerge merge(rows);
  SerialCapture a(merge.Input(0), 4);
  SerialCapture b(merge.Input(1), 4);
  merge.SetProgress(0, [&] { return a.session.CompleteUntil(); });
  merge.SetProgress(1, [&] { return b.session.CompleteUntil(); });
  std::string sent;
  for (int i = 0; i < 5000; ++i) sent += static_cast<char>('0' + i % 43);
  for (std::size_t at = 0; at < sent.size(); at += 500) {
    a.line.Send(sent.substr(at, 500));
    std::this_thread::sleep_for(milliseconds(2));
  }
  std::string logged;
  ASSERT_TRUE(RunUntil([&] {
    logged.clear();
    for (const Row& row : rows.rows) logged += row.bytes;
    return logged.size() >= sent.size() && merge.Held() == 0;
  }));
  EXPECT_EQ(logged, sent);
  for (const Row& row : rows.rows) EXPECT_EQ(row.line, 0);
  EXPECT_GE(rows.rows.size(), 5u) << "cut at full buffers";
  EXPECT_EQ(merge.OutOfOrder(), 0);
}

// A gateway watched from both sides: the serial side carries each frame
// 5 ms before the gateway's TCP side does. Each frame's serial row comes
// first, every time.
TEST(LineCutting, GatewayCopyFiveMillisecondsLate_SerialRowFirstEveryTime) {
  Rows rows;
  LineMerge merge(rows);
  SerialCapture serial(merge.Input(0), 4);
  QTemporaryDir store;
  Data gatewayLinks(store.path().toStdString());
  NoReports reports;
  CaptureSession gateway(gatewayLinks, merge.Input(1), reports);
  gateway.Framer().SetInterval(4);
  gateway.BindHandlers();
  test::LoopbackListener listener;
  gatewayLinks.Socket().SetAddress(QStringLiteral("127.0.0.1"));
  gatewayLinks.Socket().SetPort(listener.Port());
  gateway.StartTcp();
  const test::Descriptor far = listener.Accept();
  ASSERT_TRUE(RunUntil([&] { return gatewayLinks.Socket().Active(); }));
  merge.SetProgress(0, [&] { return serial.session.CompleteUntil(); });
  merge.SetProgress(1, [&] { return gateway.CompleteUntil(); });

  constexpr int kFrames = 20;
  for (int i = 0; i < kFrames; ++i) {
    const std::string frame = "F" + std::to_string(100 + i);
    serial.line.Send(frame);
    std::this_thread::sleep_for(milliseconds(5));
    far.Send(frame);
    // Events run between frames, as a window's would.
    const auto next = std::chrono::steady_clock::now() + milliseconds(40);
    while (std::chrono::steady_clock::now() < next) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  ASSERT_TRUE(RunUntil([&] { return rows.rows.size() == 2 * kFrames && merge.Held() == 0; }));
  for (int i = 0; i < kFrames; ++i) {
    const std::string frame = "F" + std::to_string(100 + i);
    EXPECT_EQ(rows.rows[2 * i].line, 0) << i;
    EXPECT_EQ(rows.rows[2 * i].bytes, frame) << i;
    EXPECT_EQ(rows.rows[2 * i + 1].line, 1) << i;
    EXPECT_EQ(rows.rows[2 * i + 1].bytes, frame) << i;
  }
  EXPECT_EQ(merge.OutOfOrder(), 0);
  gateway.Close();
}

// Stamps are the arrival of the bytes as the reading thread saw them, not
// when the packet ended: the first byte's within a few milliseconds of the
// write, whatever the read grouping adds before the packet ends.
TEST(LineCutting, FirstByteStampedWhereItCame) {
  Rows rows;
  SerialCapture capture(rows, 4);
  std::this_thread::sleep_for(milliseconds(20));
  const PacketTime before = WallClockNow();
  capture.line.Send("stamp");
  ASSERT_TRUE(RunUntil([&] { return !rows.rows.empty(); }));
  const PacketTiming& timing = rows.rows[0].timing;
  EXPECT_GE(timing.firstByte, before - 1'000);
  EXPECT_LT(timing.firstByte, before + 20'000);  // generous: a loaded machine
  // The row's time: the packet's end, 10 ms of the read and the interval
  // after the last byte.
  EXPECT_NEAR(static_cast<double>(timing.ended - timing.lastByte), 14'000.0, 100.0);
}

}  // namespace
}  // namespace tessaly
