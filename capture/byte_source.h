#pragma once

#include <cstdint>

namespace tessaly {

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
  // cannot.
  virtual int Pending() { return 0; }
};

}  // namespace tessaly
