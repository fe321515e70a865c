#include "core/end_of_packet_interval.h"

namespace tessaly {

namespace {
// The interval of the 9600 baud line every first run starts with.
constexpr int kFallbackRate = 9600;
}  // namespace

int EndOfPacketInterval(int bitsPerSecond) {
  // A rate below 1 bit per second has no bit time to measure silence by;
  // rather than divide by zero or produce a negative interval, time the
  // packets as on a first-run 9600 baud line.
  const int rate = bitsPerSecond >= 1 ? bitsPerSecond : kFallbackRate;
  // Kept in this exact floating-point form: the operation order decides the
  // truncation at the rates where 35000 / rate is close to a whole number,
  // and the standard rates' intervals must come out as users know them.
  const double bitTimesInMilliseconds = (1.0 / rate) * 35 * 1000;
  return static_cast<int>(bitTimesInMilliseconds) + 1;
}

}  // namespace tessaly
