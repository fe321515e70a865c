// Measures saving the log: a million rows of 8 and of 256 bytes in each file
// format, written on the saver's thread while the event loop runs. Prints the
// seconds, the rate, and the longest the user-interface thread went without
// serving a 1 ms timer during the save (the worst stall a user would feel).
// Then copies all rows to the clipboard the way Ctrl+A, Ctrl+C does (a copy
// over the clipboard's limit is refused, as in the window, and says so).
// With --file the log keeps its rows in a file in folder, as the window's
// does, rather than in memory.
//
//   build/bench/save_bench [folder] [rows] [--file]
#include "log/log_write_job.h"
#include "log/packet_log_model.h"
#include "views/log_copy_command.h"
#include "views/packet_log_view.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// The longest gap between two ticks of a 1 ms timer while it runs.
class StallMeter {
 public:
  StallMeter() {
    ticks_.setTimerType(Qt::PreciseTimer);
    ticks_.setInterval(1);
    QObject::connect(&ticks_, &QTimer::timeout, [this] {
      worst_ = std::max(worst_, since_.restart());
    });
  }
  void Start() {
    worst_ = 0;
    since_.start();
    ticks_.start();
  }
  qint64 Stop() {
    ticks_.stop();
    return std::max(worst_, since_.elapsed());
  }

 private:
  QTimer ticks_;
  QElapsedTimer since_;
  qint64 worst_ = 0;
};

void Fill(tessaly::PacketLogModel& model, int rows, int size) {
  std::vector<std::uint8_t> bytes(size);
  for (int n = 0; n < rows; ++n) {
    for (int i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(n + i);
    model.AppendPacket(bytes.data(), size, 1'700'000'000'000'000 + std::int64_t{n} * 7'000);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
  const int rows = argc > 2 ? std::atoi(argv[2]) : 1'000'000;
  const bool backed = argc > 3 && QLatin1String(argv[3]) == QLatin1String("--file");
  StallMeter stalls;

  for (const int size : {8, 256}) {
    tessaly::PacketLogModel model;
    if (backed) model.SetBackingDirectory(folder);
    model.SetBatching(INT_MAX, 0);
    Fill(model, rows, size);
    for (const char* extension : {"txt", "csv", "pcap"}) {
      const QString path = folder + QStringLiteral("/save_bench.") + QLatin1String(extension);
      stalls.Start();
      QElapsedTimer clock;
      clock.start();
      tessaly::LogWriteJob job(
          tessaly::LogWriter(model.TakeSnapshot(), tessaly::LogFileFormatForName(path)), path);
      QEventLoop loop;
      QObject::connect(&job, &tessaly::LogWriteJob::finished, &loop, &QEventLoop::quit);
      job.Start();
      loop.exec();
      const double seconds = clock.nsecsElapsed() / 1e9;
      const qint64 worst = stalls.Stop();
      const double megabytes = QFileInfo(path).size() / 1e6;
      std::printf("%d rows of %3d bytes, %-4s: %6.2f s, %7.1f MB, %6.1f MB/s, longest stall %lld ms%s\n",
                  rows, size, extension, seconds, megabytes, megabytes / seconds,
                  static_cast<long long>(worst),
                  job.Result() == tessaly::LogWriteJob::Outcome::kDone ? "" : " (FAILED)");
      QFile::remove(path);
    }

    // Select all, copy: the rows reach the clipboard from the copier's thread.
    tessaly::PacketLogView view;
    view.SetLogModel(&model);
    view.selectAll();
    stalls.Start();
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QObject::connect(&view, &tessaly::PacketLogView::copied, &loop, &QEventLoop::quit);
    // More text than a clipboard should hold is refused with a box that
    // offers to save instead (at 256 bytes a row, a million rows are 770 MB
    // of text); the box waits for the user, so the step ends when it shows.
    const auto refusal = [&view] { return view.findChild<QWidget*>(QStringLiteral("CopyTooLarge")); };
    QTimer look;
    look.setInterval(10);
    QObject::connect(&look, &QTimer::timeout, [&] {
      if (refusal() != nullptr) loop.quit();
    });
    look.start();
    view.CopyRows(tessaly::LogFileFormat::kText);
    loop.exec();
    look.stop();
    const qint64 worst = stalls.Stop();
    if (QWidget* box = refusal()) {
      std::printf("%d rows of %3d bytes, copy: refused after %6.2f s (over %lld MB of text), "
                  "longest stall %lld ms\n",
                  rows, size, clock.nsecsElapsed() / 1e9,
                  static_cast<long long>(view.Copier().LimitBytes() / 1'000'000),
                  static_cast<long long>(worst));
      box->close();
      box->deleteLater();
      continue;
    }
    std::printf("%d rows of %3d bytes, copy: %6.2f s, %7.1f MB of text, longest stall %lld ms\n",
                rows, size, clock.nsecsElapsed() / 1e9,
                QApplication::clipboard()->text().size() / 1e6, static_cast<long long>(worst));
    QApplication::clipboard()->clear();
  }
  return 0;
}
