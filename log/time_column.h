#pragma once

#include "core/packet_time.h"

#include <QString>

#include <optional>

namespace tessaly {

// What the log's time column shows: the local time of day (as always), the
// time since the row before, or the time since the log's first row.
enum class TimeColumn { kTimeOfDay, kSincePrevious, kSinceStart };

// An offset as seconds to the microsecond the packets are stamped with:
// "+0.020512" since the previous row (nothing for the first row), "12.020512"
// since the start.
QString FormatTimeOffset(TimeColumn column, PacketTime time, std::optional<PacketTime> previous,
                         PacketTime start);

}  // namespace tessaly
