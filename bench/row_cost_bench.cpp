// Processor time per row: a sender thread paces 8-byte frames over a loopback
// TCP connection at a given number of rows per second; the real TCP link,
// framer and packet log with its grid shown and following run on this
// thread, as in the program. Prints, per rate, the rows logged and this
// thread's processor time per row and as a share of one core (the sender's
// own time is not counted). Run it under a display (xvfb-run) to include
// the painting.
//
//   build/bench/row_cost_bench [seconds per rate]
#include "capture/packet_framer.h"
#include "capture/packet_log_model.h"
#include "capture/packet_log_view.h"
#include "links/link_byte_sources.h"
#include "links/tcp/client_socket.h"

#include <QApplication>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace tessaly {
namespace {

double CpuMs(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

template <class Done>
void RunUntil(Done done, int milliseconds) {
  // Wakes the loop now and then, to look at done() while nothing happens.
  QTimer tick;
  tick.start(100);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!done() && std::chrono::steady_clock::now() < end) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
}

void Measure(int rowsPerSecond, int seconds) {
  PacketLogModel log;
  log.SetBatching(0, PacketLogModel::kBatchInterval);
  PacketLogView view;
  view.SetLogModel(&log);
  view.resize(1100, 700);
  view.show();
  QTimer endPacketTimer;
  PacketFramer framer(endPacketTimer, log);
  framer.SetInterval(1);  // 500 rows per second leave 2 ms between frames
  QObject::connect(&endPacketTimer, &QTimer::timeout, [&] { framer.OnEndOfPacket(); });

  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(listener, 1);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);

  TClientSocket client;
  SocketByteSource source(client.Socket());
  client.SetAddress(QStringLiteral("127.0.0.1"));
  client.SetPort(ntohs(address.sin_port));
  client.OnRead = [&](TCustomSocket&, TCustomWinSocket&) { framer.OnBytesAvailable(source); };
  client.OnError = [](TCustomSocket&, TCustomWinSocket&, TErrorEvent, int& code) { code = 0; };
  client.SetActive(true);
  const int peer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  const int on = 1;
  ::setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  RunUntil([&] { return client.Active(); }, 5000);
  RunUntil([] { return false; }, 500);  // the window settles

  const int frames = rowsPerSecond * seconds;
  std::atomic<bool> finished{false};
  std::atomic<double> senderCpu{0.0};  // the sender's whole life lies in the measurement
  const double cpuBefore = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
  const int rowsBefore = log.PacketCount();
  const auto wallBefore = std::chrono::steady_clock::now();
  std::thread sender([&] {
    const std::uint8_t frame[8] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};
    auto next = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) {
      std::this_thread::sleep_until(next);
      if (::write(peer, frame, sizeof frame) != sizeof frame) break;
      next += std::chrono::microseconds(1'000'000 / rowsPerSecond);
    }
    senderCpu = CpuMs(CLOCK_THREAD_CPUTIME_ID);
    finished = true;
  });
  RunUntil([&] { return finished.load(); }, (seconds + 60) * 1000);
  RunUntil([] { return false; }, 200);
  sender.join();
  const double cpu = CpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore - senderCpu.load();
  const double wall =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wallBefore).count();
  const int rows = log.PacketCount() - rowsBefore;
  std::printf("%6d rows/s %7d rows %8.3f ms/row %7.2f %% of a core\n", rowsPerSecond, rows,
              rows > 0 ? cpu / rows : 0.0, 100.0 * cpu / wall);
  std::fflush(stdout);
  client.SetActive(false);
  ::close(peer);
  ::close(listener);
}

}  // namespace
}  // namespace tessaly

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  QApplication app(argc, argv);
  for (int rate : {20, 50, 500}) tessaly::Measure(rate, seconds);
  return 0;
}
