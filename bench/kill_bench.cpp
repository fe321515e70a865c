// What a kill -9 costs a recording under a flood: tessaly-record on a
// pseudo-terminal fed numbered frames as fast as it takes them (each write's
// moment noted), killed with SIGKILL after a few seconds; its file is read
// back and compared with what was sent. Reports, per run, the frames sent
// and recorded, whether the recorded ones are exactly the first ones sent
// in order, and how much traffic went missing counted in time: from the
// sending of the first missing frame to the kill.
//
//   build/bench/kill_bench [runs] [seconds per run] [folder] [silence us]
//
// Defaults: 5 runs of 4 seconds, the system's temporary folder, and no
// silence between frames (a flood: frames run together into long packets;
// 2000 gives a row a frame, a few hundred a second).
#include "capture_file/capture_file_writer.h"
#include "capture_file/capture_packet_stream.h"

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string FrameNumber(std::uint32_t number) {
  std::string frame("\x01\x03\x00\x00\x00\x00\x00\x00", 8);
  for (int i = 0; i < 4; ++i) frame[4 + i] = static_cast<char>(number >> (8 * i));
  return frame;
}

struct Run {
  long sent = 0;
  long recorded = 0;
  bool inOrder = true;
  double lostSeconds = 0;
  double rowsPerSecond = 0;
};

Run Flood(int seconds, const std::string& file, int silenceMicros) {
  int master = -1;
  int slave = -1;
  char name[256] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) std::exit(1);
  fcntl(master, F_SETFD, FD_CLOEXEC);
  fcntl(slave, F_SETFD, FD_CLOEXEC);
  const pid_t recorder = fork();
  if (recorder == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    // Cut at 1 ms silences and read every millisecond: each frame a row.
    execl(TESSALY_RECORD_PROGRAM, TESSALY_RECORD_PROGRAM, "--serial", name, "--baud", "115200", "--interval", "1",
          "--read-interval", "1", "-q", "-w", file.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  for (;;) {
    termios settings{};
    if (tcgetattr(slave, &settings) == 0 && (settings.c_lflag & ICANON) == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::vector<Clock::time_point> sentAt;
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  while (Clock::now() < end) {
    const std::string frame = FrameNumber(static_cast<std::uint32_t>(sentAt.size()));
    (void)!write(master, frame.data(), frame.size());
    sentAt.push_back(Clock::now());
    if (silenceMicros > 0) std::this_thread::sleep_for(std::chrono::microseconds(silenceMicros));
  }
  const Clock::time_point killedAt = Clock::now();
  kill(recorder, SIGKILL);
  waitpid(recorder, nullptr, 0);
  close(master);
  close(slave);

  Run run;
  run.sent = static_cast<long>(sentAt.size());
  // Rows may hold more than one frame when the recorder read late: count
  // frames by their bytes.
  std::string recorded;
  try {
    tessaly::CapturePacketStream stream(file);
    tessaly::CapturedPacketView packet;
    while (stream.Next(packet)) recorded.append(packet.bytes);
  } catch (const tessaly::CaptureFileError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    run.inOrder = false;
  }
  // Whole frames recorded; the last packet may end inside a frame (a
  // packet that was cut while the frame's bytes came).
  run.recorded = static_cast<long>(recorded.size() / 8);
  for (std::size_t at = 0; at < recorded.size() && run.inOrder; at += 8) {
    const std::string frame = FrameNumber(static_cast<std::uint32_t>(at / 8));
    run.inOrder = recorded.compare(at, 8, frame, 0, std::min<std::size_t>(8, recorded.size() - at)) == 0;
    if (!run.inOrder) std::fprintf(stderr, "run differs at byte %zu of %zu\n", at, recorded.size());
  }
  run.lostSeconds =
      run.recorded < run.sent ? std::chrono::duration<double>(killedAt - sentAt[static_cast<std::size_t>(run.recorded)]).count() : 0;
  run.rowsPerSecond = static_cast<double>(run.sent) / seconds;
  std::remove(file.c_str());
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 4;
  const std::string folder = argc > 3 ? argv[3] : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
  const int silenceMicros = argc > 4 ? std::atoi(argv[4]) : 0;
  std::printf("%4s %8s %9s %9s %14s %10s\n", "run", "sent", "recorded", "in order", "lost (s)", "frames/s");
  double worst = 0;
  for (int i = 0; i < runs; ++i) {
    const Run run = Flood(seconds, folder + "/kill_bench.pcapng", silenceMicros);
    worst = std::max(worst, run.lostSeconds);
    std::printf("%4d %8ld %9ld %9s %14.3f %10.0f\n", i + 1, run.sent, run.recorded, run.inOrder ? "yes" : "NO",
                run.lostSeconds, run.rowsPerSecond);
  }
  std::printf("worst loss: %.3f s of traffic (goal: at most 1 s)\n", worst);
  return 0;
}
