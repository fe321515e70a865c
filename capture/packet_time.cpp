#include "capture/packet_time.h"

#include <QDateTime>

#include <chrono>

namespace tessaly {

PacketTime WallClockNow() {
  using namespace std::chrono;
  return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

int LocalMillisecondsOfDay(PacketTime time) {
  // Floor division, so times before the epoch still land in their own
  // millisecond.
  const std::int64_t milliseconds = time >= 0 ? time / 1000 : -((-time + 999) / 1000);
  return QDateTime::fromMSecsSinceEpoch(milliseconds).time().msecsSinceStartOfDay();
}

}  // namespace tessaly
