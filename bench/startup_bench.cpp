// The program's start-up against a minimal Qt window's, in fresh processes:
// the time from the process's start (fork and exec) to its main window's
// first paint on screen (and the processor time it took, which a busy
// machine disturbs less), and the resident memory a second later. Each run
// alternates the two; the medians are printed, with their ratio.
//
//   Xvfb :77 &
//   DISPLAY=:77 build/bench/startup_bench [runs]
//
// The program's side is what RunTessaly does, up to its event loop: the
// same objects built in the same order, the window shown maximised, the
// question about a capture cut off by a crash; its settings and captures in
// a folder of the bench's own, made on the first run. The minimal window is
// a main window holding a label. Both link the same libraries (this
// executable), so their loading costs the same.
#include "app/startup.h"

#include "presentation/failure_report.h"
#include "resources/image_list.h"
#include "settings/store_directory.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

double NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

double ResidentMb() {
  long pages = 0;
  long resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1e6;
}

// Notes the moment the window's first paint has been done and flushed: the
// paint events of one repaint are sent together and flushed at their end,
// so a zero timer queued at the first one fires after the flush.
class FirstPaint : public QObject {
 public:
  explicit FirstPaint(int out) : out_(out) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !seen_ && watched->isWidgetType()) {
      seen_ = true;
      QTimer::singleShot(0, [this] {
        const double painted = NowMs();
        timespec cpu{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
        const double cpuMs = cpu.tv_sec * 1e3 + cpu.tv_nsec / 1e6;
        // The resting memory, once whatever waited for the paint has run.
        QTimer::singleShot(1000, [this, painted, cpuMs] {
          const std::string line = std::to_string(painted) + " " + std::to_string(cpuMs) + " " +
                                   std::to_string(ResidentMb()) + "\n";
          if (::write(out_, line.data(), line.size()) < 0) std::perror("write");
          QApplication::exit(0);
        });
      });
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  const int out_;
  bool seen_ = false;
};

int Child(const char* kind, int out, int argc, char** argv) {
  QApplication application(argc, argv);
  FirstPaint watch(out);
  application.installEventFilter(&watch);
  if (std::strcmp(kind, "minimal") == 0) {
    QMainWindow window;
    window.setCentralWidget(new QLabel(QStringLiteral("A minimal window")));
    window.showMaximized();
    return QApplication::exec();
  }
  QApplication::setApplicationName(QString::fromLatin1(tessaly::kApplicationTitle));
  QApplication::setWindowIcon(tessaly::ApplicationIcon());
  tessaly::Program program(tessaly::DefaultStoreDirectory());
  program.fmMain.showMaximized();
  program.fmMain.OfferUnfinishedCapture();
  return QApplication::exec();
}

struct Sample {
  double paintMs = 0;
  double cpuMs = 0;  // processor time up to the first paint
  double residentMb = 0;
};

Sample Run(const char* self, const char* kind) {
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) std::exit(1);
  const double started = NowMs();
  const pid_t child = fork();
  if (child == 0) {
    ::close(pipeEnds[0]);
    const std::string out = std::to_string(pipeEnds[1]);
    execl(self, self, "--child", kind, out.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  ::close(pipeEnds[1]);
  char buffer[128] = {};
  const ssize_t got = ::read(pipeEnds[0], buffer, sizeof buffer - 1);
  ::close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  Sample sample;
  double painted = 0;
  if (got <= 0 || std::sscanf(buffer, "%lf %lf %lf", &painted, &sample.cpuMs, &sample.residentMb) != 3) {
    std::fprintf(stderr, "the %s window never painted\n", kind);
    std::exit(1);
  }
  sample.paintMs = painted - started;
  return sample;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--child") == 0) {
    int childArgc = 1;
    return Child(argv[2], std::atoi(argv[3]), childArgc, argv);
  }
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
  QTemporaryDir home;
  setenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit().constData(), 1);
  setenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toLocal8Bit().constData(), 1);
  Run(argv[0], "tessaly");  // the first run makes the settings
  std::vector<double> paint[2];
  std::vector<double> cpu[2];
  std::vector<double> memory[2];
  const char* kinds[2] = {"minimal", "tessaly"};
  for (int run = 0; run < runs; ++run) {
    for (int k = 0; k < 2; ++k) {
      const Sample sample = Run(argv[0], kinds[k]);
      paint[k].push_back(sample.paintMs);
      cpu[k].push_back(sample.cpuMs);
      memory[k].push_back(sample.residentMb);
    }
  }
  for (int k = 0; k < 2; ++k) {
    std::printf("%-8s first paint %7.1f ms (processor %6.1f ms)   resting %6.1f MB   (medians of %d)\n",
                kinds[k], Median(paint[k]), Median(cpu[k]), Median(memory[k]), runs);
  }
  std::printf("ratio    first paint %.2fx (processor %.2fx)   resting memory %.2fx\n",
              Median(paint[1]) / Median(paint[0]), Median(cpu[1]) / Median(cpu[0]),
              Median(memory[1]) / Median(memory[0]));
  return 0;
}
