// Bytes logged against bytes sent at the edges of a capture: the device
// hung up, or Stop pressed, while the owner's thread is busy and bytes wait
// unhandled in the recorder or in the kernel. The goal is every byte, in
// every run.
//
//   build/bench/edge_bench [runs per case]
//
// Each run opens a fresh link, sends a few frames with silences between
// them (some while the owner is busy), then ends the link the case's way
// and lets the last packet end. Cases: serial hang-up, serial Stop, TCP
// Stop, TCP gateway closing.
//
// A pseudo-terminal's hang-up throws away what the kernel had not yet
// handed to any reader: bytes written in the same instant as the hang-up
// never reach a program at all (a plain C reader loses 40 bytes written
// just before the far end closes in every run, even 1 ms later if it has
// not read them yet). So the hang-up comes at least 2 ms after the last
// write, time for the recorder to have read it; a hang-up at once is its
// own row, to show that kernel loss.
#include "session/link_holder.h"
#include "session/capture_reporter.h"
#include "session/capture_session.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <thread>

namespace tessaly {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct CountingSink : PacketSink {
  void AppendPacket(const std::uint8_t* bytes, int count, PacketTime) override {
    received.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count));
  }
  std::string received;
};

struct QuietReporter : CaptureReporter {
  void LinkLost(const QString&, const QString&) override { ++lost; }
  void LinkDropped(const QString&, PacketTime, bool) override {}
  void LinkBack(const QString&, PacketTime) override {}
  int lost = 0;
};

void RunEvents(milliseconds time) {
  const auto end = Clock::now() + time;
  while (Clock::now() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
}

template <class Condition>
bool RunUntil(Condition condition, milliseconds limit = milliseconds(5000)) {
  const auto end = Clock::now() + limit;
  while (!condition()) {
    if (Clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
  }
  return true;
}

void WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote <= 0) return;
    done += static_cast<std::size_t>(wrote);
  }
}

struct Tally {
  long runs = 0;
  long complete = 0;
  long sent = 0;
  long read = -1;  // bytes the program read from the line, where it tells
  long logged = 0;
};

// One run: frames sent with silences, the owner busy at times, then the end.
void SendFrames(int fd, std::mt19937& random, std::string& sent, int leastPauseMs = 0) {
  std::uniform_int_distribution<int> frameLength(1, 64);
  std::uniform_int_distribution<int> busy(leastPauseMs, 30);
  for (int frame = 0; frame < 4; ++frame) {
    std::string bytes(static_cast<std::size_t>(frameLength(random)), '\0');
    for (char& byte : bytes) byte = static_cast<char>(random());
    WriteAll(fd, bytes);
    sent += bytes;
    // Busy (nothing handled) or free to handle, then a silence.
    const int busyMs = busy(random);
    if (busyMs % 2 == 0) {
      std::this_thread::sleep_for(milliseconds(busyMs));
    } else {
      RunEvents(milliseconds(busyMs));
    }
  }
}

void Report(const char* name, const Tally& tally) {
  const long reached = tally.read >= 0 ? tally.read : tally.sent;
  std::printf("| %s | %ld | %ld | %ld | %s | %ld | %.4f %% |\n", name, tally.runs, tally.complete, tally.sent,
              tally.read >= 0 ? std::to_string(tally.read).c_str() : "-", tally.logged,
              reached > 0 ? 100.0 * static_cast<double>(tally.logged) / static_cast<double>(reached) : 0.0);
  std::fflush(stdout);
}

enum class SerialEnd { kStop, kHangUp, kHangUpAtOnce };

Tally SerialCase(int runs, SerialEnd end, std::mt19937& random) {
  const bool hangUp = end != SerialEnd::kStop;
  Tally tally;
  QTemporaryDir store;
  for (int run = 0; run < runs; ++run) {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) std::abort();
    Data links(store.path().toStdString());
    CountingSink sink;
    QuietReporter reporter;
    CaptureSession session(links, sink, reporter);
    session.Framer().SetInterval(5);
    session.BindHandlers();
    links.ComPort().SetPort(QString::fromLocal8Bit(name));
    session.OpenSerial();
    std::string sent;
    SendFrames(master, random, sent, end == SerialEnd::kHangUp ? 2 : 0);
    if (end == SerialEnd::kHangUpAtOnce) {
      const std::string last(8, '\x55');
      WriteAll(master, last);
      sent += last;
    }
    if (hangUp) {
      ::close(master);
      ::close(slave);
      master = slave = -1;
      RunUntil([&] { return reporter.lost > 0; });
    } else {
      session.Close();
    }
    RunEvents(milliseconds(30));
    if (master >= 0) ::close(master);
    if (slave >= 0) ::close(slave);
    ++tally.runs;
    tally.sent += static_cast<long>(sent.size());
    tally.read = std::max(tally.read, 0L) + static_cast<long>(links.ComPort().BytesFromLine());
    tally.logged += static_cast<long>(sink.received.size());
    if (sink.received == sent) ++tally.complete;
  }
  return tally;
}

Tally TcpCase(int runs, bool gatewayCloses, std::mt19937& random) {
  Tally tally;
  QTemporaryDir store;
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 4) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::abort();
  }
  for (int run = 0; run < runs; ++run) {
    Data links(store.path().toStdString());
    CountingSink sink;
    QuietReporter reporter;
    CaptureSession session(links, sink, reporter);
    session.Framer().SetInterval(5);
    session.BindHandlers();
    links.Socket().SetAddress(QStringLiteral("127.0.0.1"));
    links.Socket().SetPort(ntohs(address.sin_port));
    session.StartTcp();
    const int far = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (!RunUntil([&] { return links.Socket().Active(); })) std::abort();
    std::string sent;
    SendFrames(far, random, sent);
    if (gatewayCloses) {
      ::close(far);
      RunUntil([&] { return !links.Socket().Active(); });
    } else {
      session.Close();
      ::close(far);
    }
    RunEvents(milliseconds(30));
    ++tally.runs;
    tally.sent += static_cast<long>(sent.size());
    tally.logged += static_cast<long>(sink.received.size());
    if (sink.received == sent) ++tally.complete;
  }
  ::close(listener);
  return tally;
}

}  // namespace
}  // namespace tessaly

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  std::mt19937 random(20261208);
  std::printf(
      "| case | runs | runs with every byte sent | bytes sent | bytes read from the line | bytes logged | logged / "
      "read |\n|---|---|---|---|---|---|---|\n");
  tessaly::Report("serial, device hung up", tessaly::SerialCase(runs, tessaly::SerialEnd::kHangUp, random));
  tessaly::Report("serial, hung up at once after the last write (kernel drops it)",
                  tessaly::SerialCase(runs / 10 + 1, tessaly::SerialEnd::kHangUpAtOnce, random));
  tessaly::Report("serial, Stop", tessaly::SerialCase(runs, tessaly::SerialEnd::kStop, random));
  tessaly::Report("TCP, Stop", tessaly::TcpCase(runs, false, random));
  tessaly::Report("TCP, gateway closed", tessaly::TcpCase(runs, true, random));
  return 0;
}
