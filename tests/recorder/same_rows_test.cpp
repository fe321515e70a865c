// The window and the recorder share one capture session and one framer:
// the same traffic, sent at the same moments to two lines, one held by a
// session as the window holds it and one by tessaly-record, gives the same
// packets, cut in the same places.
#include "capture_file/capture_file_reader.h"
#include "session/link_holder.h"
#include "session/capture_reporter.h"
#include "session/capture_session.h"
#include "tests/support/pty_pair.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <signal.h>
#include <termios.h>

#include <chrono>
#include <thread>

namespace tessaly {
namespace {

using namespace std::chrono_literals;

struct WindowRows : PacketSink, CaptureReporter {
  void AppendPacket(const std::uint8_t* bytes, int count, PacketTime) override {
    rows.emplace_back(bytes, bytes + count);
  }
  void LinkLost(const QString&, const QString&) override {}
  void LinkDropped(const QString&, PacketTime, bool) override {}
  void LinkBack(const QString&, PacketTime) override {}
  std::vector<std::vector<std::uint8_t>> rows;
};

bool Raw(const test::PtyPair& line) {
  termios settings{};
  return tcgetattr(line.Slave(), &settings) == 0 && (settings.c_lflag & ICANON) == 0;
}

template <class Condition>
bool RunUntil(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

TEST(SameRowsTest, WindowSessionAndRecorder_SameTraffic_SamePackets) {
  QTemporaryDir dir;
  test::PtyPair windowLine;
  test::PtyPair recorderLine;
  Data links(dir.filePath("store").toStdString());
  WindowRows window;
  CaptureSession session(links, window, window);
  session.Framer().SetInterval(20);
  session.BindHandlers();
  links.ComPort().SetPort(windowLine.SlavePath());
  session.OpenSerial();

  const QString file = dir.filePath("line.pcapng");
  QProcess recorder;
  recorder.start(QStringLiteral(TESSALY_RECORD_PROGRAM),
                 {"--serial", recorderLine.SlavePath(), "--interval", "20", "-w", file});
  ASSERT_TRUE(RunUntil([&] { return Raw(recorderLine); }));

  // Whole frames far apart, a frame in halves closer than the interval, and
  // two frames with no silence between them.
  const std::vector<std::pair<std::string, std::chrono::milliseconds>> traffic = {
      {std::string("\x01\x03\x00\x00\x00\x02\xC4\x0B", 8), 100ms},
      {std::string("\x01\x03\x04\x00", 4), 5ms},
      {std::string("\x2A\x00\x07\x9A\x39", 5), 100ms},
      {std::string("\x01\x06\x00\x01\x00\x03\x98\x0B\x01\x06\x00\x01\x00\x03\x98\x0B", 16), 100ms},
  };
  std::thread sender([&] {
    for (const auto& [bytes, pause] : traffic) {
      windowLine.Send(bytes);
      recorderLine.Send(bytes);
      std::this_thread::sleep_for(pause);
    }
  });
  const bool framed = RunUntil([&] { return window.rows.size() == 3; });
  sender.join();
  ASSERT_TRUE(framed);
  ASSERT_TRUE(RunUntil([&] {
    try {
      return ReadCaptureFile(file.toStdString()).packets.size() == 3;
    } catch (const std::exception&) {
      return false;
    }
  }));
  ::kill(static_cast<pid_t>(recorder.processId()), SIGTERM);
  ASSERT_TRUE(recorder.waitForFinished(60'000));
  session.Close();

  std::vector<std::vector<std::uint8_t>> recorded;
  for (const CapturedPacket& packet : ReadCaptureFile(file.toStdString()).packets) recorded.push_back(packet.bytes);
  EXPECT_EQ(recorded, window.rows);
}

}  // namespace
}  // namespace tessaly
