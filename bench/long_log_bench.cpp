// What a long log costs the real main window: fills its log to a number of
// rows through the log itself, shows the window, and then measures
//   - processor time per row while rows arrive at 50 a second (the whole
//     process and, given its process id, the X server),
//   - Ctrl+Home then Ctrl+End, Select all + Copy, a filter by unit, a find
//     through the whole log and saving it as text,
//   - the resident memory, leaving out (and showing apart) the pages of the
//     log's store files that happen to be mapped in,
// and for each the longest stall of the window's thread: how late a 20 ms
// timer fired at worst. Every other row is from unit 1, so the filter keeps
// half of them.
//
//   Xvfb :77 & xpid=$!
//   DISPLAY=:77 build/bench/long_log_bench rows bytes [x-server-pid] [--no-copy]
//   kill $xpid
// With LONG_LOG_BENCH_SHOT=file.png it saves a picture of the filled window
// (and one with the filter pane as file.png.filter.png) and stops.
//
// One size a run, so each starts from a fresh process.
#include "app/frame_analysis.h"
#include "app/log_save_command.h"
#include "app/main_window.h"
#include "bench/cpu_time.h"
#include "bench/stall_watch.h"
#include "panes/log_filter_pane.h"
#include "views/packet_log_view.h"
#include "session/link_holder.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kStallTimerMs = 20;
constexpr int kRowsPerSecond = 50;
// LONG_LOG_BENCH_SECONDS=n paces for n seconds instead (for a quick look).
const int kPacedSeconds = std::getenv("LONG_LOG_BENCH_SECONDS") ? std::atoi(std::getenv("LONG_LOG_BENCH_SECONDS")) : 20;

// Resident memory, in MB, from /proc/self/smaps: the whole, and the part
// that is pages of the log's own store files. The log keeps its rows in
// files it maps; pages just written stay resident as file pages (page cache
// the kernel takes back when it needs the memory, never swapped), so the
// whole resident figure grows with every row written even where the
// process holds no more memory of its own. What the window costs is the
// whole less those pages.
struct Resident {
  double wholeMb = 0;
  double storeMb = 0;
  double OwnMb() const { return wholeMb - storeMb; }
};

// The store's files are unnamed (made with O_TMPFILE or unlinked at once)
// and mapped shared for writing: a mapping "rw-s" of a file that is gone.
// Shared memory with the X server (SysV segments) and memfd mappings look
// alike but are not files on disk, and are counted in.
bool IsStoreMapping(const std::string& header) {
  std::istringstream fields(header);
  std::string range, perms, offset, device, inode, path;
  fields >> range >> perms >> offset >> device >> inode;
  std::getline(fields >> std::ws, path);
  const auto startsWith = [&path](const char* prefix) { return path.rfind(prefix, 0) == 0; };
  return perms == "rw-s" && startsWith("/") && !startsWith("/SYSV") && !startsWith("/memfd:") &&
         !startsWith("/dev/") && path.size() > 10 && path.compare(path.size() - 10, 10, " (deleted)") == 0;
}

Resident ResidentNow() {
  Resident resident;
  std::ifstream smaps("/proc/self/smaps");
  std::string line;
  bool inStore = false;
  while (std::getline(smaps, line)) {
    // A mapping's first line starts with its address range "start-end ".
    const std::size_t dash = line.find('-');
    if (dash != std::string::npos && dash > 0 && std::isxdigit(static_cast<unsigned char>(line[0])) &&
        line.find(' ') > dash) {
      inStore = IsStoreMapping(line);
      continue;
    }
    if (line.rfind("Rss:", 0) == 0) {
      const double mb = std::atof(line.c_str() + 4) / 1e3;
      resident.wholeMb += mb;
      if (inStore) resident.storeMb += mb;
    }
  }
  return resident;
}

double ResidentMb() { return ResidentNow().OwnMb(); }

// Runs the event loop until done() holds or the time is up; false if it
// never held. The loop sleeps between looks, so waiting costs no processor
// time of its own worth counting.
bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  QEventLoop loop;
  QTimer look;
  look.setInterval(10);
  QObject::connect(&look, &QTimer::timeout, [&] {
    if (done() || clock.elapsed() > timeoutMs) loop.quit();
  });
  look.start();
  if (!done()) loop.exec();
  return done();
}

void Settle(int ms) {
  RunUntil([] { return false; }, ms);
}


tessaly::PacketTime TimeOfRow(std::int64_t n) {
  return 1'700'000'000'000'000 + n * 7'000;
}

void Packet(std::vector<std::uint8_t>& bytes, std::int64_t n) {
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(n + i * 7);
  bytes[0] = n % 2 == 0 ? 1 : 2;
}

void Report(const char* what, double ms, double stall) {
  std::printf("%-22s %10.1f ms   longest stall %8.1f ms\n", what, ms, stall);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: long_log_bench rows bytes [x-server-pid] [--no-copy]\n");
    return 2;
  }
  const std::int64_t rows = std::atoll(argv[1]);
  const int size = std::atoi(argv[2]);
  const long xPid = argc > 3 && std::strcmp(argv[3], "--no-copy") != 0 ? std::atol(argv[3]) : 0;
  bool copy = true;
  for (int i = 3; i < argc; ++i) copy = copy && std::strcmp(argv[i], "--no-copy") != 0;

  QApplication app(argc, argv);
  QTemporaryDir store;
  tessaly::Data data(store.path().toStdString());
  data.DataModuleCreate();
  tessaly::MainWindow window(data);
  window.resize(1100, 700);
  window.show();
  Settle(500);
  const double idleMb = ResidentMb();

  tessaly::PacketLogModel& log = window.Log();
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  QElapsedTimer fill;
  fill.start();
  for (std::int64_t n = 0; n < rows; ++n) {
    Packet(bytes, n);
    log.AppendPacket(bytes.data(), size, TimeOfRow(n));
  }
  log.AnnouncePackets();
  Settle(1000);
  const Resident filled = ResidentNow();
  std::printf("%lld rows of %d bytes: filled in %.1f s, resident %.0f MB (idle %.0f MB), %.1f bytes/row, "
              "leaving out %.0f MB of the log's store file pages (%.0f MB with them)\n",
              static_cast<long long>(rows), size, fill.elapsed() / 1e3, filled.OwnMb(), idleMb,
              (filled.OwnMb() - idleMb) * 1e6 / static_cast<double>(rows), filled.storeMb,
              filled.wholeMb);

  // A picture of the window as filled, to compare the grid's look between
  // builds.
  if (const char* shot = std::getenv("LONG_LOG_BENCH_SHOT")) {
    window.grab().save(QString::fromLocal8Bit(shot));
    // And with the rows of unit 1 listed in the filter pane.
    window.Analysis().miFilterFind->setChecked(true);
    window.Analysis().FilterPane().UnitField()->setText(QStringLiteral("1"));
    window.Analysis().FilterPane().ApplyFilter();
    Settle(1000);
    window.grab().save(QString::fromLocal8Bit(shot) + QStringLiteral(".filter.png"));
    return 0;
  }

  tessaly::bench::StallWatch stall(kStallTimerMs);
  tessaly::PacketLogView& view = window.LogView();
  view.setFocus();

  // Rows at 50 a second, through the log as packet framing hands them over.
  {
    std::int64_t n = rows;
    QTimer pace;
    pace.setTimerType(Qt::PreciseTimer);
    pace.setInterval(1000 / kRowsPerSecond);
    QObject::connect(&pace, &QTimer::timeout, [&] {
      Packet(bytes, n);
      log.AppendPacket(bytes.data(), size, TimeOfRow(n));
      ++n;
    });
    const double cpuBefore = tessaly::bench::CpuMs(CLOCK_PROCESS_CPUTIME_ID);
    const double xBefore = tessaly::bench::OtherProcessCpuMs(xPid);
    stall.Reset();
    pace.start();
    Settle(kPacedSeconds * 1000);
    pace.stop();
    Settle(200);
    const double perRow = (tessaly::bench::CpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore) / static_cast<double>(n - rows);
    const double xPerRow = (tessaly::bench::OtherProcessCpuMs(xPid) - xBefore) / static_cast<double>(n - rows);
    std::printf("%-22s %10.3f ms/row (X server %.3f ms/row, %lld rows)   longest stall %8.1f ms\n",
                "50 rows/s", perRow, xPerRow, static_cast<long long>(n - rows), stall.WorstMs());
  }

  const auto press = [&view](int key) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::ControlModifier);
    QApplication::sendEvent(&view, &down);
  };
  {
    press(Qt::Key_Home);
    Settle(300);
    stall.Reset();
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(0, [&] {
      clock.start();
      press(Qt::Key_End);
      view.viewport()->repaint();
      Report("Ctrl+End", static_cast<double>(clock.nsecsElapsed()) / 1e6, 0);
    });
    Settle(300);
    Report("", 0, stall.WorstMs());
  }

  if (copy) {
    view.SelectAllAction()->trigger();
    Settle(300);
    bool copied = false;
    QObject::connect(&view, &tessaly::PacketLogView::copied, [&copied] { copied = true; });
    // A copy too large for the clipboard says so in a box instead.
    const auto refusal = [&view] { return view.findChild<QWidget*>(QStringLiteral("CopyTooLarge")); };
    stall.Reset();
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(0, [&] { view.CopyAction()->trigger(); });
    const bool done = RunUntil([&] { return copied || refusal() != nullptr; }, 120'000);
    const double ms = static_cast<double>(clock.elapsed());
    Settle(300);
    const char* outcome = !done ? "Copy all (unfinished)" : copied ? "Copy all" : "Copy all (refused)";
    Report(outcome, ms, stall.WorstMs());
    if (QWidget* box = refusal()) box->close();
    std::printf("%-22s resident %.0f MB\n", "", ResidentMb());
    view.clearSelection();
    view.ResumeFollowing();
    Settle(300);
  }

  {
    tessaly::LogFilterPane& pane = window.Analysis().FilterPane();
    window.Analysis().miFilterFind->setChecked(true);
    Settle(300);
    pane.UnitField()->setText(QStringLiteral("1"));
    const QString expected = QStringLiteral("%1 of %2 rows shown")
                                 .arg((log.PacketCount() + 1) / 2)
                                 .arg(log.PacketCount());
    stall.Reset();
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(0, [&] { pane.ApplyFilter(); });
    const bool done = RunUntil([&] { return pane.Count() == expected; }, 120'000);
    const double ms = static_cast<double>(clock.elapsed());
    Settle(300);
    Report(done ? "Filter by unit" : "Filter by unit (unfinished)", ms, stall.WorstMs());
  }

  {
    // Find a sequence that is nowhere: the whole log is looked through.
    tessaly::LogFilterPane& pane = window.Analysis().FilterPane();
    pane.FindField()->setText(QStringLiteral("FF FE FD FC FB FA F9"));
    view.setCurrentIndex(log.index(0, 1));
    Settle(300);
    stall.Reset();
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(0, [&] { window.Analysis().miFindNext->trigger(); });
    const bool done = RunUntil([&] { return pane.Status() == QStringLiteral("Not found"); }, 120'000);
    const double ms = static_cast<double>(clock.elapsed());
    Settle(300);
    Report(done ? "Find (not found)" : "Find (unfinished)", ms, stall.WorstMs());
  }

  {
    // Save as text, as File > Save does once a name is chosen.
    tessaly::LogSaveCommand& save = window.SaveCommand();
    const QString path = store.filePath(QStringLiteral("long_log_bench.txt"));
    stall.Reset();
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(0, [&] { save.SaveTo(path); });
    Settle(50);
    const bool done = RunUntil([&] { return !save.Saving(); }, 600'000);
    const double ms = static_cast<double>(clock.elapsed());
    Settle(300);
    Report(done ? "Save as text" : "Save as text (unfinished)", ms, stall.WorstMs());
    QFile::remove(path);
  }
  return 0;
}
