// Processor time per row of the whole program against jpnevulator's, on the
// same traffic: 8-byte frames paced at 20 and 50 rows a second into a
// pseudo-terminal, read by the real main window's serial link (Start
// pressed as a user would) and then by jpnevulator; and the same frames
// over a loopback TCP connection to the main window. Counts the whole
// process (every thread but the sender's) and, given its process id, the X
// server, and the thread switches per row of each of its threads (from
// /proc/self/task; the sender's left out).
//
//   Xvfb :77 & xpid=$!
//   DISPLAY=:77 build/bench/row_cpu_bench [seconds per case] [x-server-pid]
//   kill $xpid
#include "app/main_window.h"
#include "bench/cpu_time.h"
#include "bench/raw_pty.h"
#include "session/link_holder.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <functional>
#include <string>
#include <thread>

namespace {

void Settle(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// Writes 8-byte frames to fd at rowsPerSecond until count are sent; returns
// the sender thread's own processor time.
double Send(int fd, int rowsPerSecond, int count) {
  const std::uint8_t frame[8] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};
  auto next = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    std::this_thread::sleep_until(next);
    if (::write(fd, frame, sizeof frame) != sizeof frame) break;
    next += std::chrono::microseconds(1'000'000 / rowsPerSecond);
  }
  return tessaly::bench::CpuMs(CLOCK_THREAD_CPUTIME_ID);
}

// Thread switches (voluntary and not) of this process's threads by name,
// from /proc/self/task; the sender thread is named "sender" and left out.
std::map<std::string, long> ThreadSwitches() {
  std::map<std::string, long> switches;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream status(task.path() / "status");
    std::string key, name;
    long count = 0;
    long total = 0;
    while (status >> key) {
      if (key == "Name:") status >> name;
      if ((key == "voluntary_ctxt_switches:" || key == "nonvoluntary_ctxt_switches:") && status >> count) {
        total += count;
      }
      status.ignore(1 << 16, '\n');
    }
    if (name != "sender") switches[name] += total;
  }
  return switches;
}

void PrintSwitches(const std::map<std::string, long>& before, int rows) {
  const std::map<std::string, long> after = ThreadSwitches();
  long total = 0;
  std::string each;
  for (const auto& [name, count] : after) {
    const auto earlier = before.find(name);
    const long delta = count - (earlier != before.end() ? earlier->second : 0);
    total += delta;
    if (delta > 0 && rows > 0) each += "  " + name + " " + std::to_string(delta * 100 / rows / 100.0).substr(0, 4);
  }
  std::printf("%-12s thread switches %.2f a row:%s\n", "", rows > 0 ? double(total) / rows : 0.0, each.c_str());
  std::fflush(stdout);
}

void Print(const char* who, const char* link, int rate, int rows, double cpu, double xCpu) {
  std::printf("%-12s %-4s %3d rows/s %6d rows %8.3f ms/row   X server %6.3f ms/row\n", who, link, rate, rows,
              rows > 0 ? cpu / rows : 0.0, rows > 0 ? xCpu / rows : 0.0);
  std::fflush(stdout);
}

// The frames sent while the window's thread runs its loop, counted as the
// rows the log gained; the process's time less the sender's.
void MeasureWindow(tessaly::MainWindow& window, int fd, const char* link, int rate, int seconds, long xPid) {
  const int before = window.Log().PacketCount();
  std::atomic<bool> finished{false};
  double senderCpu = 0;
  const double cpuBefore = tessaly::bench::CpuMs(CLOCK_PROCESS_CPUTIME_ID);
  const double xBefore = tessaly::bench::OtherProcessCpuMs(xPid);
  const std::map<std::string, long> switchesBefore = ThreadSwitches();
  std::thread sender([&] {
    pthread_setname_np(pthread_self(), "sender");
    senderCpu = Send(fd, rate, rate * seconds);
    finished = true;
  });
  QElapsedTimer clock;
  clock.start();
  while (!finished && clock.elapsed() < (seconds + 30) * 1000) Settle(100);
  Settle(300);
  sender.join();
  const double cpu = tessaly::bench::CpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore - senderCpu;
  Print("tessaly", link, rate, window.Log().PacketCount() - before, cpu, tessaly::bench::OtherProcessCpuMs(xPid) - xBefore);
  PrintSwitches(switchesBefore, window.Log().PacketCount() - before);
}

void MeasureJpnevulator(int rate, int seconds) {
  tessaly::bench::RawPty pty;
  const pid_t child = fork();
  if (child == 0) {
    std::freopen("/dev/null", "w", stdout);
    execlp("jpnevulator", "jpnevulator", "--read", ("--tty=" + pty.path).c_str(), "--timing-print",
           "--timing-delta=11000", static_cast<char*>(nullptr));
    _exit(127);
  }
  Settle(500);  // it opens the line
  const double before = tessaly::bench::OtherProcessCpuMs(child);
  Send(pty.master, rate, rate * seconds);
  Settle(300);
  const double cpu = tessaly::bench::OtherProcessCpuMs(child) - before;
  ::kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
  Print("jpnevulator", "pty", rate, rate * seconds, cpu, 0);
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  const long xPid = argc > 2 ? std::atol(argv[2]) : 0;
  QApplication app(argc, argv);
  QTemporaryDir store;
  tessaly::Data data(store.path().toStdString());
  data.DataModuleCreate();
  tessaly::MainWindow window(data);
  window.resize(1100, 700);
  window.show();
  Settle(500);

  for (const int rate : {20, 50}) {
    tessaly::bench::RawPty pty;
    data.ComPort().SetPort(QString::fromStdString(pty.path));
    window.Menus().miSerial->trigger();
    window.bStartClick();  // Start, on the serial line
    Settle(300);
    MeasureWindow(window, pty.master, "pty", rate, seconds, xPid);
    window.bStartClick();  // Stop
    MeasureJpnevulator(rate, seconds);
  }

  // A gateway on loopback: the window connects, the bench sends.
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(listener, 1);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  data.Socket().SetAddress(QStringLiteral("127.0.0.1"));
  data.Socket().SetPort(ntohs(address.sin_port));
  window.Menus().miTCP->trigger();
  window.bStartClick();
  const int peer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  const int on = 1;
  ::setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  Settle(300);
  for (const int rate : {20, 50}) MeasureWindow(window, peer, "tcp", rate, seconds, xPid);
  window.bStartClick();
  ::close(peer);
  ::close(listener);
  return 0;
}
