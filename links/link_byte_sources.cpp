#include "links/link_byte_sources.h"

#include "links/serial/com_port.h"
#include "links/tcp/client_socket.h"

#include <algorithm>

namespace tessaly {

int SerialByteSource::Read(std::uint8_t* place, int maxCount) { return port_.Read(place, maxCount); }

int SerialByteSource::Pending() { return port_.PendingInputCount(); }

int SocketByteSource::Read(std::uint8_t* place, int maxCount) {
  return socket_.Receive(place, maxCount);
}

int SocketByteSource::Pending() {
  // A count of -1 asks how many bytes wait; -1 back means none can be told.
  return std::max(0, socket_.Receive(nullptr, -1));
}

}  // namespace tessaly
