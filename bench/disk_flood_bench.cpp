// Rows a second sustained to disk with the window shown: the real main
// window's log and its recording (the capture file written as it comes) fed
// 8-byte packets as fast as they are taken, the window's events (painting
// the grid as it follows) handled every 5 ms, for some seconds; then the
// capture ends (flushed, synced, closed) and its file is read back to check
// every row reached it.
//
//   QT_QPA_PLATFORM=offscreen build/bench/disk_flood_bench [seconds] [folder]
//   xvfb-run -a build/bench/disk_flood_bench [seconds] [folder]
//
// The capture file goes to folder/tessaly/captures (default: a temporary
// folder) and is removed with it.
#include "app/main_window.h"
#include "log/packet_log_model.h"
#include "capture_file/capture_file_writer.h"
#include "capture_file/capture_packet_stream.h"
#include "session/link_holder.h"
#include "session/recording_sink.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  QTemporaryDir place(argc > 2 ? QString::fromLocal8Bit(argv[2]) + QStringLiteral("/disk_flood_XXXXXX")
                               : QDir::tempPath() + QStringLiteral("/disk_flood_XXXXXX"));
  qputenv("XDG_DATA_HOME", place.path().toLocal8Bit());

  QApplication app(argc, argv);
  QTemporaryDir store;
  tessaly::Data data(store.path().toStdString());
  data.DataModuleCreate();
  tessaly::MainWindow window(data);
  window.resize(1100, 700);
  window.show();
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 500) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);

  tessaly::RecordingSink& recording = window.Recording();
  recording.BeginCapture();
  std::uint8_t frame[8] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};
  long rows = 0;
  const tessaly::PacketTime noon = 1'796'731'200'000'000;
  clock.restart();
  while (clock.elapsed() < seconds * 1000LL) {
    QElapsedTimer slice;
    slice.start();
    while (slice.elapsed() < 5) {
      for (int i = 0; i < 64; ++i, ++rows) {
        frame[2] = static_cast<std::uint8_t>(rows >> 8);
        frame[3] = static_cast<std::uint8_t>(rows);
        const tessaly::PacketTime end = noon + rows * 10;
        recording.AppendPacket(frame, 8, tessaly::PacketTiming{end - 7, end - 2, end});
      }
    }
    QCoreApplication::processEvents();
  }
  const double fed = clock.elapsed() / 1e3;
  const QString file = recording.CurrentFile();
  recording.EndCapture();
  const double closed = clock.elapsed() / 1e3;
  long onDisk = 0;
  try {
    tessaly::CapturePacketStream stream(file.toStdString());
    onDisk = static_cast<long>(tessaly::CountCapture(stream).packets);
  } catch (const tessaly::CaptureFileError& error) {
    std::fprintf(stderr, "%s\n", error.what());
  }
  std::printf("fed %ld rows in %.2f s: %.0f rows/s with the window shown; closed at %.2f s: %.0f rows/s to disk\n",
              rows, fed, rows / fed, closed, onDisk / closed);
  std::printf("rows in the log %d, in the file %ld%s\n", window.Log().PacketCount(), onDisk,
              onDisk == rows ? "" : "  (MISSING ROWS)");
  return onDisk == rows ? 0 : 1;
}
