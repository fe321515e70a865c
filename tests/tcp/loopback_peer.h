#pragma once

// The far end for TCP client tests: a listener on 127.0.0.1 at a port the
// system chooses, and the connection it accepts. Nothing here ever reaches
// beyond the loopback interface.

#include <QByteArray>

#include <functional>

namespace tessaly::test {

class LoopbackPeer {
 public:
  explicit LoopbackPeer(int socket) : socket_(socket) {}
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  void Send(const QByteArray& bytes);
  void CloseOrderly();
  // Closes with a zero linger time, so the client sees a reset.
  void Reset();
  // True when the client has closed its side (waits a few seconds at most).
  bool SeesClose();

 private:
  int socket_;
};

class LoopbackListener {
 public:
  LoopbackListener();
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  int Port() const { return port_; }
  // The connection waiting in the backlog; fails the test if none comes.
  LoopbackPeer Accept();

 private:
  int socket_ = -1;
  int port_ = 0;
};

// A loopback port with nothing listening: bound once, then released.
int UnusedLoopbackPort();

// Processes events until condition holds or a generous time has passed.
bool ProcessEventsUntil(const std::function<bool()>& condition);

// Waits, without processing events, until socket has something to report
// (bytes, the peer's close or an error).
bool WaitReadable(int socket);

}  // namespace tessaly::test
