#pragma once

#include "core/byte_source.h"

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
  // The first byte as the port saw it come, and the end of the silence of
  // more than the read interval that ended the read.
  std::optional<Arrival> LastArrival() const override;
  std::optional<LineTime> NextArrival() const override;

 private:
  TCustomComPort& port_;
};

// The TCP connection as packet framing sees it: what the socket holds now.
class SocketByteSource final : public ByteSource {
 public:
  explicit SocketByteSource(TCustomWinSocket& socket) : socket_(socket) {}
  int Read(std::uint8_t* place, int maxCount) override;
  int Pending() override;
  // When the bytes of the last receive came: the kernel's receive time, or
  // when the connection's recorder read them.
  std::optional<Arrival> LastArrival() const override;
  std::optional<LineTime> NextArrival() const override;

 private:
  TCustomWinSocket& socket_;
};

}  // namespace tessaly
