#pragma once

#include <chrono>
#include <cstdint>

namespace tessaly {

// When a packet ended on the line: microseconds since the Unix epoch, as the
// system's wall clock tells it (UTC, so midnight and daylight-saving changes
// neither reorder nor alter what is stored; local time is worked out only
// when a row is shown or exported).
using PacketTime = std::int64_t;

// The clock on which arrivals are noted and silences measured: monotonic, so
// a wall clock set back or forward while a packet runs cannot stretch or cut
// its silence.
using LineClock = std::chrono::steady_clock;
using LineTime = LineClock::time_point;

// The wall clock now.
PacketTime WallClockNow();

// A moment of the line clock as wall-clock time, through the two clocks'
// present difference.
PacketTime WallClockOf(LineTime time);

// A wall-clock moment given by the kernel (seconds and nanoseconds since the
// epoch) as a moment of the line clock.
LineTime LineTimeOfWallClock(std::int64_t seconds, std::int64_t nanoseconds);

// The local time of day of a packet time, in milliseconds since local
// midnight (0 to 86,399,999). Cheap enough for every painted cell: the
// offset from UTC is looked up afresh only once per second of real time,
// which is as soon as a time-zone or daylight-saving change can show.
int LocalMillisecondsOfDay(PacketTime time);

// The local time's offset from UTC at a packet time, in milliseconds. Kept
// per thread for the quarter hours asked about lately and forgotten each new
// second, so a time-zone change shows within a second.
int LocalOffsetMilliseconds(PacketTime time);

}  // namespace tessaly
