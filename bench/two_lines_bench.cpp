// Two lines at once: a sender process writes 8-byte frames alternately to
// two lines (a request on line A, its answer on line B half a period later,
// each line's frames one period apart), two pseudo-terminals or two loopback
// gateways, and this process captures both with two capture sessions merged
// into one log, as the window does. For each case it prints the rows logged, the rows out of order (a
// row placed after a later row of the other line), the wrong cuts (a row
// that is not exactly one frame, where the frame's silences on its line were
// longer than the line's threshold by a quarter millisecond: the interval
// on TCP, the serial read's own silence and the interval on a serial port), and the processor time of this
// process (the links' reader threads and the owner's thread, not the
// sender's) per row, beside the same capture of line A alone.
//
//   build/bench/two_lines_bench [frames per line]
#include "bench/raw_pty.h"
#include "core/packet_framer.h"
#include "session/link_holder.h"
#include "session/capture_reporter.h"
#include "session/capture_session.h"
#include "session/line_merge.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pty.h>
#include <sys/socket.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using tessaly::PacketTime;
using tessaly::PacketTiming;

struct Row {
  int line;
  std::vector<std::uint8_t> bytes;
};

struct Log : tessaly::PacketSink {
  void AppendPacket(const std::uint8_t* bytes, int count, PacketTime) override {
    rows.push_back({0, std::vector<std::uint8_t>(bytes, bytes + count)});
  }
  void AppendLinePacket(int line, const std::uint8_t* bytes, int count, const PacketTiming&) override {
    rows.push_back({line, std::vector<std::uint8_t>(bytes, bytes + count)});
  }
  std::vector<Row> rows;
};

struct NoReports : tessaly::CaptureReporter {
  void LinkLost(const QString&, const QString&) override {}
  void LinkDropped(const QString&, PacketTime, bool) override {}
  void LinkBack(const QString&, PacketTime) override {}
};

// A gateway's end of a loopback connection: the bench listens on
// 127.0.0.1, the link connects, and the sender writes to the accepted end.
struct Gateway {
  int listener = -1;
  int peer = -1;
  int port = 0;
  Gateway() {
    listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) std::abort();
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
  }
  void Accept() {
    peer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    const int on = 1;
    ::setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
  ~Gateway() {
    ::close(peer);
    ::close(listener);
  }
};

// Frame number index of a line: its sequence in the exchange is 2 * index
// + line, which is the order they are written in.
std::vector<std::uint8_t> Frame(int line, int index) {
  return {static_cast<std::uint8_t>(0x11 + line), 0x03, static_cast<std::uint8_t>(index >> 16),
          static_cast<std::uint8_t>(index >> 8), static_cast<std::uint8_t>(index), 0x00, 0xAA, 0x55};
}

std::int64_t Monotonic() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

// Writes the frames from a process of its own; when each was written goes
// to sentAt (shared with the parent), in sequence order.
void Send(int masterA, int masterB, bool both, int frames, std::int64_t periodNs, std::int64_t* sentAt) {
  timespec next{};
  clock_gettime(CLOCK_MONOTONIC, &next);
  next.tv_sec += 1;  // the capture is open by then
  auto advance = [&](std::int64_t ns) {
    next.tv_nsec += ns;
    while (next.tv_nsec >= 1'000'000'000) {
      next.tv_nsec -= 1'000'000'000;
      ++next.tv_sec;
    }
  };
  for (int i = 0; i < frames; ++i) {
    for (int line = 0; line < (both ? 2 : 1); ++line) {
      clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
      const std::vector<std::uint8_t> frame = Frame(line, i);
      if (::write(line == 0 ? masterA : masterB, frame.data(), frame.size()) != 8) _exit(1);
      sentAt[2 * i + line] = Monotonic();
      advance(periodNs / 2);
    }
    if (!both) advance(periodNs / 2);
  }
  _exit(0);
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Figures {
  int rows = 0;
  int outOfOrder = 0;
  int wrongCuts = 0;
  int judged = 0;
  double cpuMsPerRow = 0;
};

// Which frame a row is (sequence number), or -1 when it is not one whole
// frame.
int SequenceOf(const Row& row) {
  if (row.bytes.size() != 8) return -1;
  const int line = row.bytes[0] - 0x11;
  if (line != row.line) return -1;
  return 2 * (row.bytes[2] << 16 | row.bytes[3] << 8 | row.bytes[4]) + line;
}

constexpr int kReadIntervalMs = 1;

Figures Run(bool tcp, bool both, int frames, int intervalMs, double periodMs) {
  QTemporaryDir store;
  tessaly::Data linksA(store.path().toStdString());
  tessaly::Data linksB(store.path().toStdString());
  Log log;
  NoReports reports;
  tessaly::LineMerge merge(log);
  tessaly::CaptureSession lineA(linksA, both ? merge.Input(0) : static_cast<tessaly::PacketSink&>(log), reports);
  tessaly::CaptureSession lineB(linksB, merge.Input(1), reports);
  merge.SetProgress(0, [&] { return lineA.CompleteUntil(); });
  merge.SetProgress(1, [&] { return lineB.CompleteUntil(); });
  for (auto* session : {&lineA, &lineB}) {
    session->Framer().SetInterval(intervalMs);
    session->BindHandlers();
  }
  tessaly::bench::RawPty ptyA;
  tessaly::bench::RawPty ptyB;
  Gateway gatewayA;
  Gateway gatewayB;
  int writeA = ptyA.master;
  int writeB = ptyB.master;
  if (tcp) {
    for (auto [links, gateway] : {std::pair{&linksA, &gatewayA}, std::pair{&linksB, &gatewayB}}) {
      links->Socket().SetAddress(QStringLiteral("127.0.0.1"));
      links->Socket().SetPort(gateway->port);
    }
    lineA.StartTcp();
    if (both) lineB.StartTcp();
    gatewayA.Accept();
    if (both) gatewayB.Accept();
    writeA = gatewayA.peer;
    writeB = gatewayB.peer;
  } else {
    linksA.ComPort().SetPort(QString::fromStdString(ptyA.path));
    linksB.ComPort().SetPort(QString::fromStdString(ptyB.path));
    // The read's own silence as short as it goes: it adds to the interval.
    linksA.ComPort().Timeouts().SetReadInterval(kReadIntervalMs);
    linksB.ComPort().Timeouts().SetReadInterval(kReadIntervalMs);
    lineA.OpenSerial();
    if (both) lineB.OpenSerial();
  }
  auto* sentAt = static_cast<std::int64_t*>(
      mmap(nullptr, sizeof(std::int64_t) * 2 * frames, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  const pid_t sender = fork();
  if (sender == 0) Send(writeA, writeB, both, frames, static_cast<std::int64_t>(periodMs * 1e6), sentAt);

  const double cpuBefore = CpuSeconds();
  // The owner's event loop runs as a window's would, idle between events.
  QEventLoop loop;
  QTimer senderDone;
  QObject::connect(&senderDone, &QTimer::timeout, [&] {
    int status = 0;
    if (waitpid(sender, &status, WNOHANG) != 0) QTimer::singleShot(300, &loop, &QEventLoop::quit);
  });
  senderDone.start(50);
  loop.exec();
  lineA.Close();
  lineB.Close();
  merge.Flush();
  const double cpu = CpuSeconds() - cpuBefore;

  Figures figures;
  figures.rows = static_cast<int>(log.rows.size());
  figures.cpuMsPerRow = figures.rows > 0 ? 1000.0 * cpu / figures.rows : 0;
  // Out of order: a row after which a row of the other line with an earlier
  // sequence comes.
  int laterMin = INT32_MAX;
  for (auto row = log.rows.rbegin(); row != log.rows.rend(); ++row) {
    const int sequence = SequenceOf(*row);
    if (sequence < 0) continue;
    if (laterMin < sequence) ++figures.outOfOrder;
    laterMin = std::min(laterMin, sequence);
  }
  // Wrong cuts: a row that is not one whole frame, where the silences
  // before and after the frames it touches were longer than the interval
  // plus a quarter millisecond (the sender was not held up).
  const double marginNs = ((tcp ? 0 : kReadIntervalMs) + intervalMs + 0.25) * 1e6;
  auto silenceBefore = [&](int line, int index) {
    if (index == 0) return 1e18;
    return static_cast<double>(sentAt[2 * index + line] - sentAt[2 * (index - 1) + line]);
  };
  for (int line = 0; line < (both ? 2 : 1); ++line) {
    for (int i = 0; i < frames; ++i) {
      if (silenceBefore(line, i) > marginNs && (i + 1 == frames || silenceBefore(line, i + 1) > marginNs)) {
        ++figures.judged;
      }
    }
  }
  for (const Row& row : log.rows) {
    if (SequenceOf(row) >= 0) continue;
    // Frames it holds, at 8 bytes each, and whether their silences were clear.
    const int line = row.bytes.empty() ? row.line : row.bytes[0] - 0x11;
    const int index = row.bytes.size() >= 5 ? (row.bytes[2] << 16 | row.bytes[3] << 8 | row.bytes[4]) : 0;
    const int held = static_cast<int>(row.bytes.size() / 8);
    bool clear = row.bytes.size() % 8 != 0;  // a frame split is wrong whatever the timing
    for (int k = 1; k < held && !clear; ++k) clear = silenceBefore(line, index + k) > marginNs;
    if (clear) ++figures.wrongCuts;
  }
  munmap(sentAt, sizeof(std::int64_t) * 2 * frames);
  return figures;
}

void Print(const char* link, const char* what, int frames, int interval, double periodMs, const Figures& f) {
  std::printf("%-3s %-11s %5d frames/line %4.0f rows/s/line  interval %d ms  silence %.1f ms  rows %6d  "
              "out of order %d  wrong cuts %d (of %d judged)  cpu %.3f ms/row\n",
              link, what, frames, 1000.0 / periodMs, interval, periodMs, f.rows, f.outOfOrder, f.wrongCuts,
              f.judged, f.cpuMsPerRow);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 5000;
  // On TCP the interval is the threshold: 500 rows a second on each line
  // (silences of the interval and 1 ms), then silences of the interval and
  // half a millisecond. On a serial port the read's own silence (1 ms at
  // least) comes first: silences of both and half a millisecond.
  struct Case {
    bool tcp;
    int interval;
    double period;
  };
  for (const Case& c : {Case{true, 1, 2.0}, Case{true, 1, 1.5}, Case{false, 1, 2.5}}) {
    const char* link = c.tcp ? "tcp" : "pty";
    Print(link, "A alone", frames, c.interval, c.period, Run(c.tcp, false, frames, c.interval, c.period));
    Print(link, "A+B merged", frames, c.interval, c.period, Run(c.tcp, true, frames, c.interval, c.period));
  }
  return 0;
}
