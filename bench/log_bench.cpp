// Measures the packet log against the straightforward alternative, a
// QTableWidget holding the two texts of every row: time per append and
// resident memory per row, for a million packets of 8 bytes. Then it shows
// the full log in the grid during a busy capture and reports how much of the
// time the program is busy, which is what decides whether the window still
// responds after hours of traffic.
//
//   build/bench/log_bench [packets]
#include "log/packet_log_model.h"
#include "views/packet_log_view.h"
#include "log/packet_text.h"

#include <QApplication>
#include <QEventLoop>
#include <QTableWidget>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

constexpr int kPacketSize = 8;
constexpr int kDefaultPackets = 1'000'000;
constexpr int kArrivalInterval = 2;     // milliseconds
constexpr int kCaptureDuration = 3000;  // milliseconds

long ResidentBytes() {
  long totalPages = 0;
  long residentPages = 0;
  std::ifstream statm("/proc/self/statm");
  statm >> totalPages >> residentPages;
  return residentPages * sysconf(_SC_PAGESIZE);
}

// A Modbus-like 8-byte request whose bytes change with n, so nothing can be
// shared between rows.
std::array<std::uint8_t, kPacketSize> PacketNumber(int n) {
  return {0x01, 0x03, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n),
          0x00, 0x0A, static_cast<std::uint8_t>(n >> 16), 0xC5};
}

tessaly::PacketTime TimeOfPacket(int n) { return 1'700'000'000'000'000 + std::int64_t{n} * 7'000; }

struct Figures {
  double nanosecondsPerAppend;
  double bytesPerRow;
};

template <class Append>
Figures Measure(int packets, Append append) {
  const long before = ResidentBytes();
  const auto start = std::chrono::steady_clock::now();
  for (int n = 0; n < packets; ++n) append(n);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const long after = ResidentBytes();
  return {std::chrono::duration<double, std::nano>(elapsed).count() / packets,
          static_cast<double>(after - before) / packets};
}

struct Load {
  int rows;
  double busyPercent;
};

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Appends a packet every kArrivalInterval while the event loop runs (and the
// view repaints) for kCaptureDuration; returns how busy the process was.
Load RunCapture(tessaly::PacketLogModel& model) {
  QTimer arrivals;
  arrivals.setTimerType(Qt::PreciseTimer);
  int n = 0;
  QObject::connect(&arrivals, &QTimer::timeout, [&] {
    const auto bytes = PacketNumber(n++);
    model.AppendPacket(bytes.data(), kPacketSize, tessaly::WallClockNow());
  });
  QEventLoop loop;
  QTimer::singleShot(kCaptureDuration, &loop, &QEventLoop::quit);
  const double cpuBefore = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  arrivals.start(kArrivalInterval);
  loop.exec();
  arrivals.stop();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  model.AnnouncePackets();
  return {model.rowCount(), 100.0 * (CpuSeconds() - cpuBefore) / wall};
}

void Print(const char* name, const Load& load) {
  std::printf("%-28s %d rows, a packet every %d ms: process busy %.0f%% of the time\n", name,
              load.rows, kArrivalInterval, load.busyPercent);
}

void Print(const char* name, const Figures& figures) {
  std::printf("%-28s %10.0f ns/append %10.1f bytes/row (%.1f beyond the packet's bytes)\n", name,
              figures.nanosecondsPerAppend, figures.bytesPerRow,
              figures.bytesPerRow - kPacketSize);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int packets = argc > 1 ? std::atoi(argv[1]) : kDefaultPackets;
  if (packets < 1) {
    std::fprintf(stderr, "usage: log_bench [packets]\n");
    return 2;
  }
  std::printf("%d packets of %d bytes\n", packets, kPacketSize);

  // The model keeps living while the widget is measured, so the widget's
  // figure cannot be flattered by memory the model gave back.
  // Measured announcing every packet to views, as a quiet log does, so each
  // append includes its row insertion.
  tessaly::PacketLogModel model;
  model.SetBatching(INT_MAX, 0);
  const Figures log = Measure(packets, [&](int n) {
    const auto bytes = PacketNumber(n);
    model.AppendPacket(bytes.data(), kPacketSize, TimeOfPacket(n));
  });
  Print("PacketLogModel", log);

  QTableWidget widget(0, 2);
  const Figures table = Measure(packets, [&](int n) {
    const auto bytes = PacketNumber(n);
    const int row = widget.rowCount();
    widget.insertRow(row);
    widget.setItem(row, 0, new QTableWidgetItem(tessaly::FormatTimeStamp(TimeOfPacket(n))));
    widget.setItem(row, 1, new QTableWidgetItem(tessaly::FormatPacketBytes(bytes.data(), kPacketSize)));
  });
  Print("QTableWidget with texts", table);
  std::printf("QTableWidget / PacketLogModel: %.1fx the time per append, %.1fx the memory per row\n",
              table.nanosecondsPerAppend / log.nanosecondsPerAppend,
              table.bytesPerRow / log.bytesPerRow);

  // The full log on screen during a busy capture: a packet every 2 ms with
  // the grid following each new row, once announcing every packet to the
  // view and once with the model's batching.
  const long beforeView = ResidentBytes();
  tessaly::PacketLogView view;
  view.SetLogModel(&model);
  view.InitLog();
  view.resize(800, 600);
  view.show();
  QApplication::processEvents();
  std::printf("%-28s %10.1f bytes/row of the grid's own bookkeeping\n", "PacketLogView",
              static_cast<double>(ResidentBytes() - beforeView) / model.rowCount());
  Print("Shown, every packet", RunCapture(model));
  model.SetBatching(tessaly::PacketLogModel::kBatchFromRows, tessaly::PacketLogModel::kBatchInterval);
  Print("Shown, batched", RunCapture(model));
  return 0;
}
