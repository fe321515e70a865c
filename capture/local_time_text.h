#pragma once

#include "capture/packet_time.h"

#include <cstdint>

namespace tessaly {

// Local calendar text for many stamps in a row, fast: the offset from UTC is
// asked of the time-zone rules once per quarter of an hour of stamps (offsets
// change only on such boundaries), the calendar is plain arithmetic. One
// instance per thread.
class LocalTimeText {
 public:
  // ISO 8601 local date-time with milliseconds and the offset,
  // "2026-12-08T09:05:07.031+01:00" (29 characters); returns the end.
  char* WriteIsoDateTime(PacketTime time, char* out);

  // The grid's time text, "9:5:7:31"; returns the end (at most 12 characters).
  char* WriteTimeOfDay(PacketTime time, char* out);

 private:
  // Local milliseconds since the epoch, and the offset that applied.
  std::int64_t LocalMilliseconds(PacketTime time, int& offsetSeconds);

  std::int64_t slot_ = INT64_MIN;
  int offsetSeconds_ = 0;
};

}  // namespace tessaly
