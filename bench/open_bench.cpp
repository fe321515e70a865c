// Opening a large capture file in the real main window: writes a capture of
// 8-byte frames as the recording does (each with its first-byte note) to the
// size asked, then measures
//   - counting it for the question after a crash (no window involved),
//   - File > Open capture: until the first rows are in the log, until they
//     are painted (the first screen), and until the whole file is in,
//   - the longest stall of the window's thread meanwhile (how late a 10 ms
//     timer fired at worst), and the resident memory before and after.
// The file is removed at the end (kept with OPEN_BENCH_KEEP=1, to time a
// peer on the same file: tshark -r FILE > /dev/null).
//
//   QT_QPA_PLATFORM=offscreen build/bench/open_bench [folder] [megabytes]
//
// The folder defaults to the system's temporary one, the size to 1024 MB.
#include "app/capture_load.h"
#include "app/main_window.h"
#include "bench/cpu_time.h"
#include "bench/stall_watch.h"
#include "capture_file/capture_file_writer.h"
#include "capture_file/capture_packet_stream.h"
#include "capture_file/pcapng_blocks.h"
#include "session/link_holder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

namespace {

constexpr int kStallTimerMs = 10;

double ResidentMb() {
  long pages = 0;
  long resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1e6;
}

// Packets of 8 bytes 7 ms apart, each with the note of its first byte, as
// a busy line's recording holds them. The number of packets written.
long WriteCapture(const std::string& path, std::uint64_t bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    std::perror(path.c_str());
    std::exit(1);
  }
  std::string block;
  tessaly::pcapng::AppendSectionHeader(block, "open_bench");
  tessaly::pcapng::AppendInterface(block, {"ttyUSB0", "ttyUSB0 115200 8N1, packets end after 1 ms of silence", 115200});
  std::uint64_t written = 0;
  long packets = 0;
  std::uint8_t frame[8] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};
  std::vector<std::string> comments(1);
  while (written < bytes) {
    const tessaly::PacketTime end = 1'796'731'200'000'000 + packets * 7'000LL;
    frame[2] = static_cast<std::uint8_t>(packets >> 8);
    frame[3] = static_cast<std::uint8_t>(packets);
    comments[0] = tessaly::FirstByteComment(end - 1'500);
    tessaly::pcapng::AppendPacket(block, 0, end, frame, 8, comments);
    ++packets;
    if (block.size() > (8u << 20)) {
      std::fwrite(block.data(), 1, block.size(), file);
      written += block.size();
      block.clear();
    }
  }
  std::fwrite(block.data(), 1, block.size(), file);
  std::fclose(file);
  return packets;
}

// The longest processor time the window's thread spent on one event: what
// a stall would be on an idle machine, whatever else the machine runs.
class TimedApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    if (depth_++ > 0) {
      const bool handled = QApplication::notify(receiver, event);
      --depth_;
      return handled;
    }
    const double before = tessaly::bench::CpuMs(CLOCK_THREAD_CPUTIME_ID);
    const qint64 wallBefore = wall_.isValid() ? wall_.nsecsElapsed() : 0;
    if (!wall_.isValid()) wall_.start();
    if (lastEnd_ > 0) longestOutside_ = std::max(longestOutside_, (wallBefore - lastEnd_) / 1e6);
    const bool handled = QApplication::notify(receiver, event);
    longest_ = std::max(longest_, tessaly::bench::CpuMs(CLOCK_THREAD_CPUTIME_ID) - before);
    lastEnd_ = wall_.nsecsElapsed();
    const double wallMs = (lastEnd_ - wallBefore) / 1e6;
    if (wallMs > longestWall_) {
      longestWall_ = wallMs;
      longestWallType_ = event->type();
      // Which object took it, and whose it is (a timer's owner).
      longestWallReceiver_ = receiver->metaObject()->className();
      if (const QObject* owner = receiver->parent()) {
        longestWallReceiver_ += std::string(" of ") + owner->metaObject()->className();
      }
    }
    --depth_;
    return handled;
  }
  void Reset() { longest_ = longestWall_ = longestOutside_ = 0; }
  double LongestMs() const { return longest_; }
  double longestWall_ = 0;
  int longestWallType_ = 0;
  std::string longestWallReceiver_;
  double longestOutside_ = 0;

 private:
  QElapsedTimer wall_;
  qint64 lastEnd_ = 0;
  int depth_ = 0;
  double longest_ = 0;
};

void RunUntil(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < timeoutMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace

int main(int argc, char** argv) {
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
  const std::uint64_t megabytes = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1024;
  const std::string path = (folder + QStringLiteral("/open_bench.pcapng")).toStdString();

  QElapsedTimer clock;
  clock.start();
  const long packets = WriteCapture(path, megabytes << 20);
  std::printf("written: %ld packets, %llu MB, in %.1f s\n", packets, static_cast<unsigned long long>(megabytes),
              clock.elapsed() / 1e3);

  clock.restart();
  {
    tessaly::CapturePacketStream stream(path);
    const tessaly::CaptureSpan span = tessaly::CountCapture(stream);
    std::printf("counted for the question after a crash: %llu packets in %.2f s\n",
                static_cast<unsigned long long>(span.packets), clock.elapsed() / 1e3);
  }

  TimedApplication app(argc, argv);
  QTemporaryDir store;
  tessaly::Data data(store.path().toStdString());
  data.DataModuleCreate();
  tessaly::MainWindow window(data);
  window.resize(1100, 700);
  window.show();
  RunUntil([] { return false; }, 500);
  const double idleMb = ResidentMb();

  clock.restart();
  {
    tessaly::CaptureLoad first(QString::fromStdString(path));
    std::printf("first packets read: %.3f s\n", clock.elapsed() / 1e3);
  }
  tessaly::bench::StallWatch stall(kStallTimerMs);
  stall.Reset();
  clock.restart();
  if (!window.OpenCapture(QString::fromStdString(path))) {
    std::fprintf(stderr, "the file did not open\n");
    return 1;
  }
  const double opened = clock.elapsed() / 1e3;
  QCoreApplication::processEvents();  // the first screen painted
  const double firstScreen = clock.elapsed() / 1e3;
  const double openingStall = stall.WorstMs();
  stall.Reset();
  app.Reset();
  RunUntil([&] { return !window.ReadingCapture(); }, 600'000);
  const double whole = clock.elapsed() / 1e3;
  const double stalled = stall.WorstMs();
  const double longestEvent = app.LongestMs();
  std::printf("first rows in the log: %.3f s; first screen: %.3f s; whole file: %.2f s (%d rows, %.0f rows/s)\n",
              opened, firstScreen, whole, window.Log().PacketCount(), window.Log().PacketCount() / whole);
  std::printf("longest stall of the window's thread: %.1f ms while the rest was read (%.1f ms opening and painting "
              "the first screen); its longest processor time on one event meanwhile: %.1f ms\n",
              stalled, std::max(openingStall, firstScreen * 1e3 - kStallTimerMs), longestEvent);
  std::printf("longest wall time on one event %.1f ms (type %d, to %s), longest between events %.1f ms\n",
              app.longestWall_, app.longestWallType_, app.longestWallReceiver_.c_str(), app.longestOutside_);
  std::printf("resident %.0f MB (idle window %.0f MB)\n", ResidentMb(), idleMb);
  // OPEN_BENCH_KEEP=1 leaves the file, to time a peer on it (tshark -r).
  if (qEnvironmentVariableIntValue("OPEN_BENCH_KEEP") == 1) {
    std::printf("kept: %s\n", path.c_str());
  } else {
    std::remove(path.c_str());
  }
  return window.Log().PacketCount() == packets ? 0 : 1;
}
