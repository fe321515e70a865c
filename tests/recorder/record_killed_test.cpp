// tessaly-record killed with SIGKILL while frames flow on its line: the file
// it leaves opens, holds the bytes in the order sent, and misses at most
// what came in the last second before the kill.
#include "capture_file/capture_file_writer.h"
#include "capture_file/capture_packet_stream.h"
#include "tests/support/pty_pair.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessaly {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A frame that says which one it is.
std::string FrameNumber(int number) {
  std::string frame("\x01\x03\x00\x00\x00\x00\x00\x00", 8);
  for (int i = 0; i < 4; ++i) frame[4 + i] = static_cast<char>(number >> (8 * i));
  return frame;
}

bool Holds(qint64 pid, const QString& path) {
  const std::filesystem::path target = std::filesystem::canonical(path.toStdString());
  std::error_code error;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    std::error_code ignored;
    if (std::filesystem::read_symlink(fd.path(), ignored) == target) return true;
  }
  return false;
}

TEST(RecordKilledTest, KilledWhileFramesFlow_FileOpensWithAllButTheLastSecond) {
  QTemporaryDir dir;
  test::PtyPair line;
  const QString file = dir.filePath(QStringLiteral("killed.pcapng"));
  QProcess recorder;
  recorder.start(QStringLiteral(TESSALY_RECORD_PROGRAM),
                 {"--serial", line.SlavePath(), "--baud", "115200", "--interval", "5", "-w", file, "-q"});
  ASSERT_TRUE(recorder.waitForStarted());
  // Until the line is open and raw: before that, bytes would be lost to
  // the terminal's own handling, which is no fault of the recorder.
  const Clock::time_point deadline = Clock::now() + 30s;
  termios settings{};
  while (!Holds(recorder.processId(), line.SlavePath()) ||
         tcgetattr(line.Slave(), &settings) != 0 || (settings.c_lflag & ICANON) != 0) {
    ASSERT_LT(Clock::now(), deadline) << "the recorder never opened its line";
    std::this_thread::sleep_for(10ms);
  }

  // A frame every 20 ms (the serial read's own silence is 10 ms), for two
  // and a half seconds, each one's sending time noted.
  std::vector<Clock::time_point> sent;
  const Clock::time_point start = Clock::now();
  for (int number = 0; Clock::now() - start < 2500ms; ++number) {
    line.Send(FrameNumber(number));
    sent.push_back(Clock::now());
    std::this_thread::sleep_for(20ms);
  }
  const Clock::time_point killedAt = Clock::now();
  ::kill(static_cast<pid_t>(recorder.processId()), SIGKILL);
  ASSERT_TRUE(recorder.waitForFinished(30'000));
  EXPECT_EQ(recorder.exitStatus(), QProcess::CrashExit);

  // On a busy machine two frames may share a packet (read together): the
  // bytes are compared, not the cuts.
  std::string recorded;
  CapturePacketStream stream(file.toStdString());
  CapturedPacketView packet;
  while (stream.Next(packet)) recorded.append(packet.bytes);
  std::string expected;
  for (int number = 0; expected.size() < recorded.size(); ++number) expected += FrameNumber(number);
  ASSERT_EQ(recorded, expected.substr(0, recorded.size())) << "every byte in the order sent";
  const int read = static_cast<int>(recorded.size() / 8);
  ASSERT_LE(read, static_cast<int>(sent.size()));
  // Everything sent more than a second before the kill is in the file.
  int due = 0;
  while (due < static_cast<int>(sent.size()) && killedAt - sent[due] > 1s) ++due;
  EXPECT_GE(read, due) << "frames sent: " << sent.size();
  EXPECT_GT(due, 50) << "frames flowed for longer than a second";
}

}  // namespace
}  // namespace tessaly
