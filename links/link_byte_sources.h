#pragma once

#include "capture/byte_source.h"

namespace tessaly {

class TCustomComPort;
class TCustomWinSocket;

// The serial port as packet framing sees it: a read under the port's
// timeouts, and the count still queued in the driver.
class SerialByteSource final : public ByteSource {
 public:
  explicit SerialByteSource(TCustomComPort& port) : port_(port) {}
  int Read(std::uint8_t* place, int maxCount) override;
  int Pending() override;

 private:
  TCustomComPort& port_;
};

// The TCP connection as packet framing sees it: what the socket holds now.
class SocketByteSource final : public ByteSource {
 public:
  explicit SocketByteSource(TCustomWinSocket& socket) : socket_(socket) {}
  int Read(std::uint8_t* place, int maxCount) override;
  int Pending() override;

 private:
  TCustomWinSocket& socket_;
};

}  // namespace tessaly
