#pragma once

#include "core/packet_time.h"

namespace tessaly {

// Local calendar text for many stamps in a row, fast: the offset from UTC
// comes from LocalOffsetMilliseconds, the calendar is plain arithmetic.
// Each returns the end of what it wrote.

// ISO 8601 local date-time with milliseconds and the offset,
// "2026-12-08T09:05:07.031+01:00" (29 characters).
char* WriteIsoDateTime(PacketTime time, char* out);

// The grid's time text, "9:5:7:31" (at most 12 characters).
char* WriteTimeOfDay(PacketTime time, char* out);

}  // namespace tessaly
