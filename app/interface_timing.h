#pragma once

#include "modbus/conversation.h"
#include "capture_file/capture_file_format.h"

namespace tessaly {

struct LineDescription;

// How long bytes took on a line, as the line's description says.
modbus::LineTiming LineTimingOf(const LineDescription& line);

// The same for an interface of a capture file: its speed from if_speed (or
// from the description where if_speed is absent), the character's framing
// ("8N1") from the description this program writes ("ttyUSB0 9600 8N1,
// packets end after 4 ms of silence"). Unknown (speed 0) where the file does
// not say both: another program's file, or a gateway whose line speed was
// not given.
modbus::LineTiming LineTimingOf(const CaptureInterface& link);

}  // namespace tessaly
