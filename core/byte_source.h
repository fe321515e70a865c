#pragma once

#include "core/packet_time.h"

#include <cstdint>
#include <optional>

namespace tessaly {

// When the bytes of one read came in on the line: the first of them, which
// tells whether they follow a silence long enough to end the packet before
// them, and the moment after which the line counts as quiet, from which the
// next silence is measured; and, where the source tells it apart from that
// moment, when its last byte came.
struct Arrival {
  LineTime first;
  LineTime last;
  std::optional<LineTime> lastByte{};
};

// What packet framing reads from: the open link, seen as a place bytes come
// out of. Both links (serial port and TCP client) are adapted to this.
class ByteSource {
 public:
  virtual ~ByteSource() = default;

  // Reads at most maxCount bytes into place and returns how many were read:
  // 0 when none, -1 when nothing was available or the read failed. A source
  // may throw when the link itself has failed.
  virtual int Read(std::uint8_t* place, int maxCount) = 0;

  // How many bytes are still waiting after a read, when the source can tell
  // (the serial driver's input queue, the socket's readable count); 0 when it
  // cannot, or when the link is closed.
  virtual int Pending() { return 0; }

  // When the bytes of the last read that delivered any arrived, as near the
  // line as the source can tell; nothing when it cannot, and the reader
  // takes the moment the read returned.
  virtual std::optional<Arrival> LastArrival() const { return std::nullopt; }

  // When the oldest byte that came and has not been read yet came, where
  // the source can tell; nothing when none waits or it cannot tell.
  virtual std::optional<LineTime> NextArrival() const { return std::nullopt; }
};

}  // namespace tessaly
