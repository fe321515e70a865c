// Cutting where the bytes arrive, measured through a capture session on a
// pseudo-terminal (the line's reader thread cuts; this thread, standing for
// the window's, only takes finished packets):
//
//   exact     requests and answers (8 and 13 bytes) with the answer 2, 5 or
//             20 ms after its request, at the intervals of 9600, 19200 and
//             115200 baud (4, 2, 1 ms), by the read grouping and by the
//             Modbus rule: rows, and rows that are exactly one frame.
//   block     the longest time this thread went without running its event
//             loop while a 256-byte frame came a byte each 1.04 ms (9600
//             baud), probed by a 1 ms timer.
//   stamps    first-byte stamp less the moment the bench wrote the byte:
//             median and maximum over the exact runs' frames.
//
// A pseudo-terminal delivers bytes as written, without a baud rate's pace;
// the bench writes each frame at once and sleeps for the silences.
//
//   build/bench/cut_bench [exchanges per case]
#include "bench/raw_pty.h"
#include "session/capture_reporter.h"
#include "session/capture_session.h"
#include "session/link_holder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace tessaly;
using std::chrono::microseconds;
using std::chrono::milliseconds;

struct Row {
  std::string bytes;
  PacketTiming timing;
};

struct Rows : PacketSink {
  void AppendPacket(const std::uint8_t* bytes, int count, PacketTime endedAt) override {
    AppendPacket(bytes, count, PacketTiming{endedAt, endedAt, endedAt});
  }
  void AppendPacket(const std::uint8_t* bytes, int count, const PacketTiming& timing) override {
    rows.push_back({std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count)), timing});
  }
  std::vector<Row> rows;
};

struct NoReports : CaptureReporter {
  void LinkLost(const QString&, const QString&) override {}
  void LinkDropped(const QString&, PacketTime, bool) override {}
  void LinkBack(const QString&, PacketTime) override {}
};

void RunEventsFor(milliseconds span) {
  const auto until = std::chrono::steady_clock::now() + span;
  while (std::chrono::steady_clock::now() < until) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

struct Capture {
  Capture(int intervalMs, bool silences) : session(links, rows, reports) {
    session.Framer().SetInterval(intervalMs);
    session.SetCutAtSilences(silences);
    session.BindHandlers();
    links.ComPort().SetPort(QString::fromStdString(pty.path));
    session.OpenSerial();
  }
  ~Capture() { session.Close(); }
  void Write(const std::string& bytes) const { (void)!::write(pty.master, bytes.data(), bytes.size()); }

  bench::RawPty pty;
  QTemporaryDir store;
  Data links{store.path().toStdString()};
  Rows rows;
  NoReports reports;
  CaptureSession session;
};

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int exchanges = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
  const std::string request = "\x01\x03\x00\x00\x00\x0A\xC5\xCD";
  const std::string answer = "\x01\x03\x08\x00\x01\x00\x02\x00\x03\x00\x04\x0D\x14";
  std::vector<double> stampErrors;

  std::printf("exact: rule interval gap -> rows, rows that are one frame (of %d frames)\n", 2 * exchanges);
  for (const bool silences : {false, true}) {
    for (const int interval : {4, 2, 1}) {
      for (const int gap : {2, 5, 20}) {
        Capture capture(interval, silences);
        std::vector<PacketTime> written;
        for (int i = 0; i < exchanges; ++i) {
          written.push_back(WallClockNow());
          capture.Write(request);
          std::this_thread::sleep_for(milliseconds(gap));
          written.push_back(WallClockNow());
          capture.Write(answer);
          RunEventsFor(milliseconds(40));
        }
        RunEventsFor(milliseconds(100));
        int exact = 0;
        for (const Row& row : capture.rows.rows) exact += row.bytes == request || row.bytes == answer;
        std::printf("  %-9s %d ms  %2d ms -> %4zu rows, %4d exact\n", silences ? "silences" : "grouping", interval,
                    gap, capture.rows.rows.size(), exact);
        if (silences && static_cast<int>(capture.rows.rows.size()) == 2 * exchanges) {
          for (std::size_t row = 0; row < written.size(); ++row) {
            stampErrors.push_back(static_cast<double>(capture.rows.rows[row].timing.firstByte - written[row]) / 1000.0);
          }
        }
      }
    }
  }
  if (!stampErrors.empty()) {
    std::printf("stamps: first byte less write, ms: median %.3f, max %.3f (%zu frames)\n", Median(stampErrors),
                *std::max_element(stampErrors.begin(), stampErrors.end()), stampErrors.size());
  }

  // The longest block of this thread while a long frame comes slowly; and,
  // as the machine's own share, the same probe with no line open at all.
  for (const bool withLine : {false, true}) {
  std::vector<double> blocks;
  for (int run = 0; run < 5; ++run) {
    Capture capture(4, false);
    if (!withLine) capture.session.Close();
    QElapsedTimer sinceProbe;
    qint64 longest = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&] { longest = std::max(longest, sinceProbe.nsecsElapsed()); sinceProbe.restart(); });
    std::thread sender([&] {
      auto next = std::chrono::steady_clock::now();
      for (int i = 0; i < 256; ++i) {
        capture.Write(std::string(1, static_cast<char>(i)));
        next += microseconds(1042);
        std::this_thread::sleep_until(next);
      }
    });
    sinceProbe.start();
    probe.start();
    RunEventsFor(milliseconds(350));
    probe.stop();
    sender.join();
    blocks.push_back(static_cast<double>(longest) / 1e6);
  }
  std::printf("block: longest gap between 1 ms probes %s, ms: median %.2f, max %.2f (5 runs)\n",
              withLine ? "while a 256-byte frame came at 9600 baud" : "with no line open (the machine's share)",
              Median(blocks), *std::max_element(blocks.begin(), blocks.end()));
  }
  return 0;
}
