#include "tests/tcp/loopback_peer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace tessaly::test {
namespace {

constexpr int kPatienceMs = 5000;

sockaddr_in LoopbackAddress(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

// Binds a new socket to 127.0.0.1 at a port the system chooses.
int BindLoopback(int& port) {
  const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = LoopbackAddress(0);
  socklen_t length = sizeof address;
  EXPECT_EQ(::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length), 0);
  port = ntohs(address.sin_port);
  return socket;
}

bool PollFor(int socket, short events) {
  pollfd entry{socket, events, 0};
  return ::poll(&entry, 1, kPatienceMs) == 1;
}

}  // namespace

LoopbackPeer::~LoopbackPeer() {
  if (socket_ >= 0) ::close(socket_);
}

void LoopbackPeer::Send(const QByteArray& bytes) {
  ASSERT_EQ(::send(socket_, bytes.constData(), bytes.size(), MSG_NOSIGNAL), bytes.size());
}

void LoopbackPeer::CloseOrderly() {
  ::close(socket_);
  socket_ = -1;
}

void LoopbackPeer::Reset() {
  const linger zeroLinger{1, 0};
  ::setsockopt(socket_, SOL_SOCKET, SO_LINGER, &zeroLinger, sizeof zeroLinger);
  CloseOrderly();
}

bool LoopbackPeer::SeesClose() {
  char byte = 0;
  return PollFor(socket_, POLLIN) && ::recv(socket_, &byte, 1, MSG_DONTWAIT) == 0;
}

LoopbackListener::LoopbackListener() {
  socket_ = BindLoopback(port_);
  EXPECT_EQ(::listen(socket_, 4), 0);
}

LoopbackListener::~LoopbackListener() { ::close(socket_); }

LoopbackPeer LoopbackListener::Accept() {
  EXPECT_TRUE(PollFor(socket_, POLLIN)) << "no connection came in";
  return LoopbackPeer(::accept4(socket_, nullptr, nullptr, SOCK_CLOEXEC));
}

int UnusedLoopbackPort() {
  int port = 0;
  ::close(BindLoopback(port));
  return port;
}

bool ProcessEventsUntil(const std::function<bool()>& condition) {
  QDeadlineTimer deadline(kPatienceMs);
  while (!condition()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

bool WaitReadable(int socket) { return PollFor(socket, POLLIN); }

}  // namespace tessaly::test
