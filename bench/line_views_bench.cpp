// What the line health and register panes cost:
//  1. processor time per row at paced rates, the grid shown and following
//     in a window of the same size, without the panes and with both docked
//     beside it and following (the grid is narrower then, as in the
//     program; row_cost_bench measures the grid alone); the traffic is a master
//     polling a unit that answers ten registers and a unit that never
//     answers;
//  2. what the statistics and the register watch cost per row alone, and
//     memory per distinct register in the register watch;
//  3. how long the line health pane takes to open on a long capture (it
//     catches up over every row then).
// Run it under a display (xvfb-run) to include the painting.
//
//   xvfb-run -a build/bench/line_views_bench [seconds per rate] [rows for the opening]
#include "bench/cpu_time.h"
#include "bench/loopback_link.h"
#include "panes/line_health_pane.h"
#include "modbus/crc16.h"
#include "modbus/line_statistics.h"
#include "modbus/register_watch.h"
#include "core/packet_framer.h"
#include "log/packet_log_model.h"
#include "views/packet_log_view.h"
#include "panes/register_pane.h"

#include <QApplication>
#include <QMainWindow>
#include <QTimer>

#include <malloc.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace tessaly {
namespace {

using bench::LoopbackLink;
using bench::RunUntil;

constexpr int kTickMs = 100;

std::vector<std::uint8_t> Frame(std::vector<std::uint8_t> body) {
  const std::uint16_t crc = modbus::Crc16(body.data(), body.size());
  body.push_back(static_cast<std::uint8_t>(crc));
  body.push_back(static_cast<std::uint8_t>(crc >> 8));
  return body;
}

// A poll cycle of three frames: unit 1's request and its answer of ten
// changing registers, and a request to unit 7, which never answers.
std::vector<std::uint8_t> PollFrame(int index) {
  switch (index % 3) {
    case 0: return Frame({0x01, 0x03, 0x00, 0x00, 0x00, 0x0A});
    case 1: {
      std::vector<std::uint8_t> answer{0x01, 0x03, 0x14};
      for (int i = 0; i < 10; ++i) {
        answer.push_back(static_cast<std::uint8_t>(index >> 8));
        answer.push_back(static_cast<std::uint8_t>(index + i));
      }
      return Frame(answer);
    }
    default: return Frame({0x07, 0x03, 0x00, 0x00, 0x00, 0x0A});
  }
}

void MeasureRowCost(int rowsPerSecond, int seconds, bool panes) {
  PacketLogModel log;
  log.SetBatching(0, PacketLogModel::kBatchInterval);
  // As in the program: the grid in a window's middle, the panes docked
  // beside and below it (the window is the same size either way).
  QMainWindow window;
  auto* view = new PacketLogView(&window);
  view->SetLogModel(&log);
  window.setCentralWidget(view);
  auto* health = new LineHealthPane(log, &window);
  auto* registers = new RegisterPane(log, &window);
  window.addDockWidget(Qt::BottomDockWidgetArea, health);
  window.addDockWidget(Qt::RightDockWidgetArea, registers);
  health->setVisible(panes);
  registers->setVisible(panes);
  health->SetFollowing(panes);
  registers->SetFollowing(panes);
  window.resize(1500, 900);
  window.show();
  QTimer endPacketTimer;
  PacketFramer framer(endPacketTimer, log);
  framer.SetInterval(1);
  QObject::connect(&endPacketTimer, &QTimer::timeout, [&] { framer.OnEndOfPacket(); });

  LoopbackLink link(framer);
  RunUntil([] { return false; }, 500, kTickMs);

  const int frames = rowsPerSecond * seconds;
  std::atomic<bool> finished{false};
  std::atomic<double> senderCpu{0.0};
  const double cpuBefore = tessaly::bench::CpuMs(CLOCK_PROCESS_CPUTIME_ID);
  const int rowsBefore = log.PacketCount();
  std::thread sender([&] {
    auto next = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) {
      std::this_thread::sleep_until(next);
      const std::vector<std::uint8_t> frame = PollFrame(i);
      if (::write(link.Peer(), frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) break;
      next += std::chrono::microseconds(1'000'000 / rowsPerSecond);
    }
    senderCpu = tessaly::bench::CpuMs(CLOCK_THREAD_CPUTIME_ID);
    finished = true;
  });
  RunUntil([&] { return finished.load(); }, (seconds + 60) * 1000, kTickMs);
  RunUntil([] { return false; }, 600, kTickMs);  // the panes' last refresh
  sender.join();
  const double cpu = tessaly::bench::CpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore - senderCpu.load();
  const int rows = log.PacketCount() - rowsBefore;
  std::printf("%6d rows/s %-14s %7d rows %8.3f ms/row\n", rowsPerSecond, panes ? "panes shown" : "no panes", rows,
              rows > 0 ? cpu / rows : 0.0);
  std::fflush(stdout);
}

// The engines alone, without a window: what taking one row costs them.
void MeasureEngines(int rows) {
  std::vector<std::vector<std::uint8_t>> frames;
  for (int i = 0; i < 3 * 256; ++i) frames.push_back(PollFrame(i));
  modbus::LineStatistics statistics({19200, 10});
  modbus::RegisterWatch watch;
  std::int64_t at = 0;
  const auto before = std::chrono::steady_clock::now();
  for (int i = 0; i < rows; ++i) {
    const std::vector<std::uint8_t>& frame = frames[static_cast<std::size_t>(i) % frames.size()];
    const modbus::LoggedPacket packet{frame.data(), static_cast<int>(frame.size()), at += 10'000};
    statistics.Add(packet);
    watch.Add(packet);
  }
  const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - before).count();
  std::printf("statistics and register watch: %.0f ns per row over %d rows\n", ns / rows, rows);
}

void MeasureRegisterMemory() {
  constexpr int kRegisters = 100'000;
  const std::size_t before = mallinfo2().uordblks;
  auto* watch = new modbus::RegisterWatch;
  // Units 1 to 10 answer reads of 100 registers each, 100 blocks a unit;
  // each register seen with one value.
  std::int64_t at = 0;
  for (int unit = 1; unit <= 10; ++unit) {
    for (int block = 0; block < kRegisters / 10 / 100; ++block) {
      const auto start = static_cast<std::uint16_t>(block * 100);
      const std::vector<std::uint8_t> request =
          Frame({static_cast<std::uint8_t>(unit), 0x03, static_cast<std::uint8_t>(start >> 8),
                 static_cast<std::uint8_t>(start), 0x00, 100});
      std::vector<std::uint8_t> answer{static_cast<std::uint8_t>(unit), 0x03, 200};
      answer.resize(3 + 200, 0x11);
      answer = Frame(answer);
      watch->Add({request.data(), static_cast<int>(request.size()), at += 1000});
      watch->Add({answer.data(), static_cast<int>(answer.size()), at += 1000});
    }
  }
  const std::size_t after = mallinfo2().uordblks;
  std::printf("register watch: %zu registers, %.1f bytes per register (one value each; the history is capped at "
              "%zu changes)\n",
              watch->Registers().size(), static_cast<double>(after - before) / watch->Registers().size(),
              modbus::RegisterState::kHistoryLimit);
  delete watch;
}

void MeasureOpening(int rows) {
  PacketLogModel log;
  log.SetBatching(0, PacketLogModel::kBatchInterval);
  LineHealthPane health(log);
  health.SetLineTiming([] { return modbus::LineTiming{19200, 10}; });
  // The rows come as a capture brings them, in batches, while the pane is
  // closed.
  std::vector<std::vector<std::uint8_t>> frames;
  for (int i = 0; i < 3 * 256; ++i) frames.push_back(PollFrame(i));
  PacketTime at = WallClockNow();
  for (int i = 0; i < rows; ++i) {
    const std::vector<std::uint8_t>& frame = frames[static_cast<std::size_t>(i) % frames.size()];
    log.AppendPacket(frame.data(), static_cast<int>(frame.size()), at += 10'000);
    if (i % 1000 == 999) log.AnnouncePackets();
  }
  log.AnnouncePackets();
  health.show();
  const auto before = std::chrono::steady_clock::now();
  health.SetFollowing(true);
  QApplication::processEvents();
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - before).count();
  std::printf("line health opened on %d rows in %.0f ms (%s)\n", rows, ms,
              health.SummaryText().toLocal8Bit().constData());
}

}  // namespace
}  // namespace tessaly

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  const int openingRows = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10'000'000;
  QApplication app(argc, argv);
  for (int rate : {50, 500}) {
    tessaly::MeasureRowCost(rate, seconds, false);
    tessaly::MeasureRowCost(rate, seconds, true);
  }
  tessaly::MeasureEngines(1'000'000);
  tessaly::MeasureRegisterMemory();
  tessaly::MeasureOpening(openingRows);
  return 0;
}
