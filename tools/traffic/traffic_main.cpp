// tessaly-traffic: Modbus RTU frames with chosen sizes and silences, written
// to a pseudo-terminal it creates or served to clients of a loopback TCP
// listener, so Tessaly can be watched at work without a real line.
#include "tools/traffic/modbus_frames.h"
#include "tools/traffic/traffic_options.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using tessaly::traffic::Frame;
using tessaly::traffic::TrafficOptions;

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) { stopRequested = 1; }

int Fail(const char* what) {
  std::fprintf(stderr, "tessaly-traffic: %s: %s\n", what, std::strerror(errno));
  return 1;
}

// Where frames go: the pseudo-terminal, or every connected TCP client.
class Sink {
 public:
  virtual ~Sink() = default;
  virtual void Write(const std::uint8_t* bytes, std::size_t count) = 0;
  // Waits up to ms milliseconds, doing the sink's housekeeping meanwhile.
  virtual void Idle(int ms) { ::poll(nullptr, 0, ms); }
};

class PseudoTerminalSink final : public Sink {
 public:
  bool Open() {
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) return false;
    // Raw from the start, so that no byte is translated before a reader
    // sets the line up itself.
    termios raw{};
    ::tcgetattr(slave_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave_, TCSANOW, &raw);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    return true;
  }
  std::string Path() const { return ::ttyname(slave_); }
  ~PseudoTerminalSink() override {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
  }

  void Write(const std::uint8_t* bytes, std::size_t count) override {
    // With nobody holding the port, frames would pile up in the terminal's
    // queue (and stall the writer once it is full): they are dropped, as on
    // a line nobody listens to, so a reader that opens the port later starts
    // with the latest frame. A reader that holds the port (exclusively, as
    // Tessaly does) gets every byte: the writer waits for it instead.
    if (!Listened()) ::tcflush(slave_, TCIFLUSH);
    while (count > 0 && !stopRequested) {
      const ssize_t written = ::write(master_, bytes, count);
      if (written < 0) {
        if (errno == EINTR) continue;
        if (errno != EAGAIN) return;
        if (Listened()) {
          pollfd writable{master_, POLLOUT, 0};
          ::poll(&writable, 1, 100);
        } else {
          ::tcflush(slave_, TCIFLUSH);
        }
        continue;
      }
      bytes += written;
      count -= static_cast<std::size_t>(written);
    }
  }

 private:
  bool Listened() const {
    int exclusive = 0;
    return ::ioctl(slave_, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
  }

  int master_ = -1;
  int slave_ = -1;
};

class TcpSink final : public Sink {
 public:
  bool Listen(std::uint16_t port) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) return false;
    const int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
    if (::listen(listener_, 8) != 0) return false;
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    return true;
  }
  std::uint16_t Port() const { return port_; }
  ~TcpSink() override {
    for (int client : clients_) ::close(client);
    if (listener_ >= 0) ::close(listener_);
  }

  void Write(const std::uint8_t* bytes, std::size_t count) override {
    for (auto it = clients_.begin(); it != clients_.end();) {
      if (::send(*it, bytes, count, MSG_NOSIGNAL) != static_cast<ssize_t>(count)) {
        std::fprintf(stderr, "client left\n");
        ::close(*it);
        it = clients_.erase(it);
      } else {
        ++it;
      }
    }
  }

  void Idle(int ms) override {
    // The listener is looked at on every call, however short the wait, so
    // clients are taken also when frames follow each other closely.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
      pollfd listener{listener_, POLLIN, 0};
      if (::poll(&listener, 1, static_cast<int>(std::max<std::int64_t>(0, left.count()))) > 0) Accept();
    } while (std::chrono::steady_clock::now() < until && !stopRequested);
  }


 private:
  void Accept() {
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) return;
    const int yes = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    clients_.push_back(client);
    std::fprintf(stderr, "client connected\n");
  }

  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::vector<int> clients_;
};

void PrintFrame(const Frame& frame) {
  for (std::uint8_t byte : frame) std::printf("%02X ", byte);
  std::printf("\n");
  std::fflush(stdout);
}

void SendFrames(Sink& sink, const TrafficOptions& options) {
  for (std::uint64_t index = 0; !stopRequested && (options.count == 0 || index < options.count);
       ++index) {
    const bool planned = options.frameSize == 0 && (options.absent || options.refusing || options.floats);
    const std::optional<Frame> next =
        planned ? tessaly::traffic::PlannedFrame({options.slave, options.absent, options.refusing, options.floats},
                                                 static_cast<std::uint32_t>(index))
                : tessaly::traffic::NthFrame(options.slave, options.frameSize, static_cast<std::uint32_t>(index));
    // A unit that does not answer: its slot stays silent.
    if (!next) {
      sink.Idle(options.gapMs);
      continue;
    }
    Frame frame = *next;
    // The CRC's high byte inverted: the frame keeps its length but fails
    // its check, as after a disturbance on the line.
    if (options.corruptEvery > 0 && (index + 1) % options.corruptEvery == 0) frame.back() ^= 0xFF;
    if (options.splitMs > 0) {
      const std::size_t half = frame.size() / 2;
      sink.Write(frame.data(), half);
      sink.Idle(options.splitMs);
      sink.Write(frame.data() + half, frame.size() - half);
    } else {
      sink.Write(frame.data(), frame.size());
    }
    if (!options.quiet) PrintFrame(frame);
    sink.Idle(options.gapMs);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf("%s", tessaly::traffic::kTrafficUsage);
    return 0;
  }
  std::string error;
  const auto options = tessaly::traffic::ParseTrafficOptions(argc - 1, argv + 1, error);
  if (!options) {
    std::fprintf(stderr, "tessaly-traffic: %s\n%s", error.c_str(), tessaly::traffic::kTrafficUsage);
    return 2;
  }
  std::signal(SIGINT, RequestStop);
  std::signal(SIGTERM, RequestStop);

  if (options->transport == tessaly::traffic::Transport::Serial) {
    PseudoTerminalSink sink;
    if (!sink.Open()) return Fail("openpty");
    std::printf("Serial port: %s\n", sink.Path().c_str());
    std::fflush(stdout);
    SendFrames(sink, *options);
    return 0;
  }
  TcpSink sink;
  if (!sink.Listen(options->tcpPort)) return Fail("listen on 127.0.0.1");
  std::printf("TCP gateway: 127.0.0.1:%u\n", static_cast<unsigned>(sink.Port()));
  std::fflush(stdout);
  SendFrames(sink, *options);
  return 0;
}
