#include "core/packet_cutter.h"

#include <algorithm>
#include <cstring>

namespace tessaly {

PacketCutter::PacketCutter(const Rules& rules) : rules_(rules) {}

void PacketCutter::SetRules(const Rules& rules, LineTime now) {
  const bool newInterval = rules.interval != rules_.interval;
  rules_ = rules;
  if (newInterval && end_) end_ = now + rules_.interval;
}

// The Modbus rule is the read grouping with reads that end at once: then a
// packet ends exactly at a silence longer than the interval.
PacketCutter::Duration PacketCutter::ReadGap() const {
  return rules_.cutAtSilences ? Duration::zero() : std::max(rules_.readGap, Duration::zero());
}

std::optional<PacketCutter::Duration> PacketCutter::ReadTotal() const {
  if (rules_.cutAtSilences || !rules_.readTotal || *rules_.readTotal <= Duration::zero()) return std::nullopt;
  return rules_.readTotal;
}

void PacketCutter::EndReadIfOver(LineTime now, bool arrival) {
  if (!reading_) return;
  const LineTime quietFrom = readLast_ + ReadGap();
  const bool silent = now > quietFrom;
  const std::optional<Duration> total = ReadTotal();
  const std::optional<LineTime> totalEnd = total ? std::optional(readStart_ + *total) : std::nullopt;
  const bool timedOut = totalEnd && (arrival ? now > *totalEnd : now >= *totalEnd);
  if (!silent && !timedOut) return;
  reading_ = false;
  // A read that ran out of time counts the line quiet from its last byte;
  // one ended by the silence from the moment that silence was long enough.
  if (timedOut && (!silent || *totalEnd <= quietFrom)) {
    end_ = readLast_ + rules_.interval;
  } else {
    end_ = quietFrom + rules_.interval;
  }
}

void PacketCutter::EndPacketIfOver(LineTime now, const Emit& emit) {
  if (!reading_ && end_ && now > *end_) EmitRunning(*end_, emit);
}

void PacketCutter::Feed(const std::uint8_t* bytes, int count, LineTime at, const Emit& emit) {
  EndReadIfOver(at, true);
  EndPacketIfOver(at, emit);
  if (count <= 0) {
    // A read that brought nothing: it ends at once, and the line counts as
    // quiet from now.
    reading_ = false;
    end_ = at + rules_.interval;
    return;
  }
  if (!reading_) {
    // The packet's countdown stops while a read runs.
    reading_ = true;
    readStart_ = at;
    end_.reset();
  }
  readLast_ = at;
  while (count > 0) {
    const int taken = std::min(count, kCapacity - count_);
    std::memcpy(buffer_.data() + count_, bytes, static_cast<std::size_t>(taken));
    if (count_ == 0) firstByte_ = at;
    lastByte_ = at;
    count_ += taken;
    bytes += taken;
    count -= taken;
    if (count_ < kCapacity) break;
    // The read ends with the buffer full, and the line counts as quiet from
    // its last byte: the packet's end is fixed, and no byte can join it.
    reading_ = false;
    EmitRunning(at + rules_.interval, emit);
    if (count > 0) {
      reading_ = true;
      readStart_ = at;
    }
  }
}

void PacketCutter::Advance(LineTime now, const Emit& emit) {
  EndReadIfOver(now, false);
  EndPacketIfOver(now, emit);
}

void PacketCutter::Finish(const Emit& emit) {
  EndReadIfOver(LineTime::max(), false);
  if (end_) EmitRunning(*end_, emit);
}

void PacketCutter::Reset() {
  count_ = 0;
  reading_ = false;
  end_.reset();
}

std::optional<LineTime> PacketCutter::NextDecision() const {
  // "More than" a span: the first moment after it.
  constexpr Duration kTick(1);
  if (reading_) {
    LineTime next = readLast_ + ReadGap() + kTick;
    if (const std::optional<Duration> total = ReadTotal()) next = std::min(next, readStart_ + *total);
    return next;
  }
  if (end_) return *end_ + kTick;
  return std::nullopt;
}

std::optional<LineTime> PacketCutter::RunningFirstByte() const {
  if (count_ == 0) return std::nullopt;
  return firstByte_;
}

void PacketCutter::EmitRunning(LineTime ended, const Emit& emit) {
  Packet packet;
  packet.bytes = buffer_.data();
  packet.count = count_;
  packet.firstByte = count_ > 0 ? firstByte_ : ended;
  packet.lastByte = count_ > 0 ? lastByte_ : ended;
  packet.ended = ended;
  // Emptied before handing out, so a callback that throws cannot hand the
  // same bytes out twice.
  count_ = 0;
  end_.reset();
  emit(packet);
}

}  // namespace tessaly
