// Processor time per row: a sender thread paces 8-byte frames over a loopback
// TCP connection at a given number of rows per second; the real TCP link,
// framer and packet log with its grid shown and following run on this
// thread, as in the program. Prints, per rate, the rows logged and this
// thread's processor time per row and as a share of one core (the sender's
// own time is not counted). Run it under a display (xvfb-run) to include
// the painting.
//
//   build/bench/row_cost_bench [seconds per rate]
#include "bench/cpu_time.h"
#include "bench/loopback_link.h"
#include "core/packet_framer.h"
#include "log/packet_log_model.h"
#include "views/packet_log_view.h"

#include <QApplication>
#include <QTimer>

#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace tessaly {
namespace {

using bench::LoopbackLink;
using bench::RunUntil;

// How often the loop wakes, while the bench waits, to look whether it is done.
constexpr int kTickMs = 100;

void Measure(int rowsPerSecond, int seconds) {
  PacketLogModel log;
  log.SetBatching(0, PacketLogModel::kBatchInterval);
  PacketLogView view;
  view.SetLogModel(&log);
  view.resize(1100, 700);
  view.show();
  QTimer endPacketTimer;
  PacketFramer framer(endPacketTimer, log);
  framer.SetInterval(1);  // 500 rows per second leave 2 ms between frames
  QObject::connect(&endPacketTimer, &QTimer::timeout, [&] { framer.OnEndOfPacket(); });

  LoopbackLink link(framer);
  RunUntil([] { return false; }, 500, kTickMs);  // the window settles

  const int frames = rowsPerSecond * seconds;
  std::atomic<bool> finished{false};
  std::atomic<double> senderCpu{0.0};  // the sender's whole life lies in the measurement
  const double cpuBefore = tessaly::bench::CpuMs(CLOCK_PROCESS_CPUTIME_ID);
  const int rowsBefore = log.PacketCount();
  const auto wallBefore = std::chrono::steady_clock::now();
  std::thread sender([&] {
    const std::uint8_t frame[8] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};
    auto next = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) {
      std::this_thread::sleep_until(next);
      if (::write(link.Peer(), frame, sizeof frame) != sizeof frame) break;
      next += std::chrono::microseconds(1'000'000 / rowsPerSecond);
    }
    senderCpu = tessaly::bench::CpuMs(CLOCK_THREAD_CPUTIME_ID);
    finished = true;
  });
  RunUntil([&] { return finished.load(); }, (seconds + 60) * 1000, kTickMs);
  RunUntil([] { return false; }, 200, kTickMs);
  sender.join();
  const double cpu = tessaly::bench::CpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore - senderCpu.load();
  const double wall =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wallBefore).count();
  const int rows = log.PacketCount() - rowsBefore;
  std::printf("%6d rows/s %7d rows %8.3f ms/row %7.2f %% of a core\n", rowsPerSecond, rows,
              rows > 0 ? cpu / rows : 0.0, 100.0 * cpu / wall);
  std::fflush(stdout);
}

}  // namespace
}  // namespace tessaly

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  QApplication app(argc, argv);
  for (int rate : {20, 50, 500}) tessaly::Measure(rate, seconds);
  return 0;
}
