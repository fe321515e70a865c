#pragma once

namespace tessaly {

// The silence, in whole milliseconds, after which a packet is over: 35 bit
// times (3.5 characters of 10 bits) at the given line rate, truncated, plus
// 1 ms. Always at least 1, so the end-of-packet timer can always expire.
int EndOfPacketInterval(int bitsPerSecond);

}  // namespace tessaly
