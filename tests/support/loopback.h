#pragma once

// TCP on 127.0.0.1 only: listeners the tests start themselves at a port the
// system chooses. No test connects to any other address.

#include <cstdint>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace tessaly::test {

// The test's own side of a connection, closed with it.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      Close();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  ~Descriptor() { Close(); }

  int Fd() const { return fd_; }
  void Send(std::string_view bytes) const;
  void Send(const std::vector<std::uint8_t>& bytes) const;
  void Close();
  // With a zero linger time the other side sees a reset instead of a close.
  void Reset();

 private:
  int fd_;
};

// A listener on 127.0.0.1.
class LoopbackListener {
 public:
  // On the port given, or one the system chooses for 0.
  explicit LoopbackListener(int port = 0);
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  int Port() const { return port_; }
  // The next connection in the backlog; an invalid descriptor if none came
  // within 5 s. Events do not run meanwhile.
  Descriptor Accept();
  // A gateway that speaks first: a thread of its own accepts the next
  // connection and sends the bytes the moment it is made.
  void SendOnAccept(std::vector<std::uint8_t> bytes);

 private:
  int port_ = 0;  // before listener_, whose making sets it
  Descriptor listener_;
  std::thread greeter_;
  int greeted_ = -1;  // the greeter's connection, closed with the listener
};

// A port on 127.0.0.1 where nothing listens.
int UnusedLoopbackPort();

// Waits up to 5 s for the descriptor to become readable, without running
// events.
bool Readable(int fd);

}  // namespace tessaly::test
