#pragma once

// What the benches that drive the real TCP link share: a connection on
// 127.0.0.1 that the bench makes itself, its every arrival handed to a
// framer, and an event loop run until a condition holds.

#include "core/packet_framer.h"
#include "links/link_byte_sources.h"
#include "links/tcp/client_socket.h"

#include <QCoreApplication>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace tessaly::bench {

// Runs events until done() holds or the time is up, waking the loop every
// tickMs to look at done() while nothing else happens.
template <class Done>
void RunUntil(Done done, int milliseconds, int tickMs = 50) {
  QTimer tick;
  tick.start(tickMs);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!done() && std::chrono::steady_clock::now() < end) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
}

// The TCP client link connected to a listener of its own on 127.0.0.1;
// Peer() is the bench's end, where it writes what the link receives.
class LoopbackLink {
 public:
  explicit LoopbackLink(PacketFramer& framer) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 1);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);

    client_.SetAddress(QStringLiteral("127.0.0.1"));
    client_.SetPort(ntohs(address.sin_port));
    client_.OnRead = [this, &framer](TCustomSocket&, TCustomWinSocket&) { framer.OnBytesAvailable(source_); };
    client_.OnError = [](TCustomSocket&, TCustomWinSocket&, TErrorEvent, int& code) { code = 0; };
    client_.SetActive(true);
    peer_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    const int on = 1;
    ::setsockopt(peer_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    RunUntil([this] { return client_.Active(); }, 5000);
  }
  ~LoopbackLink() {
    client_.SetActive(false);
    ::close(peer_);
    ::close(listener_);
  }
  LoopbackLink(const LoopbackLink&) = delete;
  LoopbackLink& operator=(const LoopbackLink&) = delete;

  int Peer() const { return peer_; }

 private:
  int listener_ = -1;
  int peer_ = -1;
  TClientSocket client_;
  SocketByteSource source_{client_.Socket()};
};

}  // namespace tessaly::bench
