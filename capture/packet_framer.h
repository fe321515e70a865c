#pragma once

#include "capture/byte_source.h"
#include "capture/packet_time.h"

#include <array>
#include <cstdint>

class QTimer;

namespace tessaly {

// Where finished packets go (the packet log), each with the time it ended.
class PacketSink {
 public:
  virtual ~PacketSink() = default;
  virtual void AppendPacket(const std::uint8_t* bytes, int count, PacketTime endedAt) = 0;
};

// Cuts the received byte stream into packets: every byte that arrived since
// the previous boundary, where a boundary is a silence longer than the
// end-of-packet interval. Runs on the user-interface thread only.
//
// The end-of-packet timer belongs to the main window, whose handler for its
// timeout calls OnEndOfPacket(). Each arrival stops and restarts the timer, so
// it only expires after a whole interval without bytes.
class PacketFramer {
 public:
  static constexpr int kCapacity = 1024;
  // How many reads one arrival may make while the source keeps the buffer
  // full (only the first of them may wait for bytes); beyond that the handler
  // returns to the event loop, and the source's next readiness event
  // continues where it stopped.
  static constexpr int kMaxReadsPerArrival = 64;

  PacketFramer(QTimer& endPacketTimer, PacketSink& sink);

  // Sets the end-of-packet interval. Below 1 ms the timer would fire at once
  // or never, so such values are raised to 1. Changing the interval while the
  // timer is armed restarts the countdown.
  void SetInterval(int milliseconds);
  void SetIntervalFromBaudRate(int bitsPerSecond);
  int Interval() const;

  // Bytes are waiting on the link: reads them into the packet buffer and
  // restarts the end-of-packet countdown (also when the read delivered
  // nothing, so an empty arrival still ends in a row).
  void OnBytesAvailable(ByteSource& source);

  // The line has been silent for a whole interval: the buffered bytes become
  // one packet (possibly empty) and the buffer is emptied.
  void OnEndOfPacket();

  // Empties the buffer without logging; the timer is left as it is.
  void Reset();

  int Count() const { return count_; }

 private:
  void ReadFrom(ByteSource& source);
  void EmitPacket();

  QTimer& timer_;
  PacketSink& sink_;
  std::array<std::uint8_t, kCapacity> buffer_{};
  std::uint16_t count_ = 0;
};

}  // namespace tessaly
