#include "core/packet_time.h"

#include <QDateTime>

#include <array>

namespace tessaly {
namespace {

using std::chrono::duration_cast;
using std::chrono::microseconds;
using std::chrono::system_clock;

constexpr std::int64_t kMillisecondsPerDay = 86'400'000;
// Offsets from UTC, and so the moments they change, are whole quarter hours
// everywhere today: within one quarter hour of UTC the offset is the same.
constexpr std::int64_t kOffsetBlockMs = 15 * 60 * 1000;

std::int64_t FloorDivide(std::int64_t value, std::int64_t divisor) {
  const std::int64_t quotient = value / divisor;
  return (value % divisor != 0 && (value < 0) != (divisor < 0)) ? quotient - 1 : quotient;
}

// The offsets of the quarter hours asked about lately. Forgotten whenever the
// real time enters a new second, so a time-zone change made meanwhile is
// picked up then; within a second, a row costs no look-up of the zone (the
// toolkit's local-time conversion checks the zone's file every time).
class OffsetCache {
 public:
  int OffsetMs(std::int64_t milliseconds) {
    const std::int64_t second = FloorDivide(WallClockNow(), 1'000'000);
    if (second != second_) {
      second_ = second;
      used_ = 0;
    }
    const std::int64_t block = FloorDivide(milliseconds, kOffsetBlockMs);
    for (int i = 0; i < used_; ++i) {
      if (entries_[i].block == block) return entries_[i].offsetMs;
    }
    const int offsetMs = QDateTime::fromMSecsSinceEpoch(milliseconds).offsetFromUtc() * 1000;
    Entry& slot = entries_[used_ < kSize ? used_++ : static_cast<int>(block % kSize + kSize) % kSize];
    slot = {block, offsetMs};
    return offsetMs;
  }

 private:
  static constexpr int kSize = 8;
  struct Entry {
    std::int64_t block = 0;
    int offsetMs = 0;
  };
  std::int64_t second_ = -1;
  int used_ = 0;
  std::array<Entry, kSize> entries_{};
};

}  // namespace

PacketTime WallClockNow() {
  return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

PacketTime WallClockOf(LineTime time) {
  const LineTime lineNow = LineClock::now();
  const PacketTime wallNow = WallClockNow();
  return wallNow - duration_cast<microseconds>(lineNow - time).count();
}

LineTime LineTimeOfWallClock(std::int64_t seconds, std::int64_t nanoseconds) {
  const LineTime lineNow = LineClock::now();
  const auto wallNow = system_clock::now().time_since_epoch();
  const auto stamp = std::chrono::seconds(seconds) + std::chrono::nanoseconds(nanoseconds);
  return lineNow - duration_cast<LineClock::duration>(wallNow - stamp);
}

int LocalOffsetMilliseconds(PacketTime time) {
  // One cache per thread: the grid asks on the user-interface thread, a save
  // on its own, and nothing is shared between threads.
  thread_local OffsetCache cache;
  return cache.OffsetMs(FloorDivide(time, 1000));
}

int LocalMillisecondsOfDay(PacketTime time) {
  // Floor division, so times before the epoch still land in their own
  // millisecond.
  const std::int64_t local = FloorDivide(time, 1000) + LocalOffsetMilliseconds(time);
  return static_cast<int>(local - FloorDivide(local, kMillisecondsPerDay) * kMillisecondsPerDay);
}

}  // namespace tessaly
