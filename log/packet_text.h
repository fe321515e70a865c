#pragma once

#include <QString>

#include <cstdint>

namespace tessaly {

// The time column: hour, minute, second and millisecond of the day as plain
// decimal numbers joined by ":" (9:5:7:31, 12:0:0:0). Values outside one day
// are wrapped into it.
QString FormatTimeStamp(int millisecondsOfDay);

// The data column: two upper-case hex digits and one space per byte, in
// order ("01 03 0A C5 "); empty for no bytes.
QString FormatPacketBytes(const std::uint8_t* bytes, int count);

// The same text broken into lines of bytesPerLine bytes (each line without
// its trailing space), for showing a long packet whole.
QString FormatPacketBytesWrapped(const std::uint8_t* bytes, int count, int bytesPerLine);

}  // namespace tessaly
