#pragma once

#include <cstdint>

namespace tessaly {

// When a packet ended on the line: microseconds since the Unix epoch, as the
// system's wall clock tells it (UTC, so midnight and daylight-saving changes
// neither reorder nor alter what is stored; local time is worked out only
// when a row is shown or exported).
using PacketTime = std::int64_t;

// The wall clock now.
PacketTime WallClockNow();

// The local time of day of a packet time, in milliseconds since local
// midnight (0 to 86,399,999).
int LocalMillisecondsOfDay(PacketTime time);

}  // namespace tessaly
