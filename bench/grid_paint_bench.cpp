// Measures what one new row costs the grid on a paced line: rows arriving
// 50 ms and 20 ms apart, each announced to the view at once, with the grid
// following the newest row. Prints the processor time per row and how much
// of the grid was repainted per row.
//
//   build/bench/grid_paint_bench [seconds per rate]
// Runs offscreen unless QT_QPA_PLATFORM says otherwise (e.g. xcb under Xvfb).
#include "log/packet_log_model.h"
#include "views/packet_log_view.h"

#include <QApplication>
#include <QEventLoop>
#include <QPaintEvent>
#include <QTimer>

#include <sys/resource.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Counts the viewport's paint events and the pixels they cover.
class PaintCounter : public QObject {
 public:
  int events = 0;
  double pixels = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      ++events;
      for (const QRect& rect : static_cast<QPaintEvent*>(event)->region()) {
        pixels += double(rect.width()) * rect.height();
      }
    }
    return QObject::eventFilter(watched, event);
  }
};

std::array<std::uint8_t, 8> PacketNumber(int n) {
  return {0x01, 0x03, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n),
          0x00, 0x0A, static_cast<std::uint8_t>(n >> 16), 0xC5};
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;

  tessaly::PacketLogModel model;
  model.SetBatching(INT_MAX, 0);  // every row announced at once
  tessaly::PacketLogView view;
  view.SetLogModel(&model);
  view.InitLog();
  view.resize(1200, 700);
  view.setColumnWidth(1, 1200 - 25 - 90);
  view.show();
  int n = 0;
  for (; n < 1000; ++n) {
    const auto bytes = PacketNumber(n);
    model.AppendPacket(bytes.data(), 8, tessaly::WallClockNow());
  }
  QApplication::processEvents();
  PaintCounter counter;
  view.viewport()->installEventFilter(&counter);
  const double viewportPixels = double(view.viewport()->width()) * view.viewport()->height();

  for (int rate : {20, 50}) {
    QTimer arrivals;
    arrivals.setTimerType(Qt::PreciseTimer);
    int rows = 0;
    QObject::connect(&arrivals, &QTimer::timeout, [&] {
      const auto bytes = PacketNumber(n++);
      model.AppendPacket(bytes.data(), 8, tessaly::WallClockNow());
      ++rows;
    });
    counter.events = 0;
    counter.pixels = 0;
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    const double before = CpuSeconds();
    arrivals.start(1000 / rate);
    loop.exec();
    arrivals.stop();
    const double cpu = CpuSeconds() - before;
    std::printf("%2d rows/s: %4d rows, %.3f ms processor time per row, %.2f paint events per row, "
                "%.1f%% of the grid repainted per row\n",
                rate, rows, 1000.0 * cpu / rows, double(counter.events) / rows,
                100.0 * counter.pixels / viewportPixels / rows);
  }
  return 0;
}
