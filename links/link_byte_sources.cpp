#include "links/link_byte_sources.h"

#include "links/serial/com_port.h"
#include "links/tcp/client_socket.h"

#include <algorithm>

namespace tessaly {

int SerialByteSource::Read(std::uint8_t* place, int maxCount) { return port_.Read(place, maxCount); }

int SerialByteSource::Pending() { return port_.Connected() ? port_.PendingInputCount() : 0; }

std::optional<Arrival> SerialByteSource::LastArrival() const {
  const TReadArrival arrival = port_.LastReadArrival();
  return Arrival{arrival.first, arrival.last, arrival.lastByte};
}

std::optional<LineTime> SerialByteSource::NextArrival() const { return port_.NextArrival(); }

std::optional<LineTime> SocketByteSource::NextArrival() const { return socket_.NextArrival(); }

int SocketByteSource::Read(std::uint8_t* place, int maxCount) {
  return socket_.Receive(place, maxCount);
}

std::optional<Arrival> SocketByteSource::LastArrival() const {
  const LineTime received = socket_.LastReceiveTime();
  return Arrival{received, received};
}

int SocketByteSource::Pending() {
  // A count of -1 asks how many bytes wait; -1 back means none can be told.
  return std::max(0, socket_.Receive(nullptr, -1));
}

}  // namespace tessaly
