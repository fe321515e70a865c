#include "tests/support/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace tessaly::test {
namespace {

constexpr int kPatienceMs = 5000;

// A socket bound to 127.0.0.1 at the port given, or at one the system
// chooses for 0.
Descriptor BindLoopback(int& port) {
  Descriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  // A gateway that comes back takes its port again at once.
  const int reuse = 1;
  ::setsockopt(socket.Fd(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  socklen_t length = sizeof address;
  if (::bind(socket.Fd(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::getsockname(socket.Fd(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("cannot bind a socket on 127.0.0.1");
  }
  port = ntohs(address.sin_port);
  return socket;
}

}  // namespace

void Descriptor::Send(std::string_view bytes) const {
  if (::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size())) {
    throw std::runtime_error("short send to the program");
  }
}

void Descriptor::Send(const std::vector<std::uint8_t>& bytes) const {
  Send(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void Descriptor::Close() {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

void Descriptor::Reset() {
  const linger zeroLinger{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &zeroLinger, sizeof zeroLinger);
  Close();
}

LoopbackListener::LoopbackListener(int port) : port_(port), listener_(BindLoopback(port_)) {
  if (::listen(listener_.Fd(), 4) != 0) throw std::runtime_error("listen on 127.0.0.1 failed");
}

LoopbackListener::~LoopbackListener() {
  if (greeter_.joinable()) greeter_.join();
  if (greeted_ >= 0) ::close(greeted_);
}

Descriptor LoopbackListener::Accept() {
  if (!Readable(listener_.Fd())) return Descriptor();
  return Descriptor(::accept4(listener_.Fd(), nullptr, nullptr, SOCK_CLOEXEC));
}

void LoopbackListener::SendOnAccept(std::vector<std::uint8_t> bytes) {
  greeter_ = std::thread([this, bytes = std::move(bytes)] {
    if (!Readable(listener_.Fd())) return;
    greeted_ = ::accept4(listener_.Fd(), nullptr, nullptr, SOCK_CLOEXEC);
    // A short send cannot fail the test from here; the missing row does.
    ::send(greeted_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  });
}

int UnusedLoopbackPort() {
  // Bound and closed again: nothing listens there afterwards.
  int port = 0;
  BindLoopback(port);
  return port;
}

bool Readable(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return ::poll(&entry, 1, kPatienceMs) == 1;
}

}  // namespace tessaly::test
