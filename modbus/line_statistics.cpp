#include "modbus/line_statistics.h"

#include "modbus/frame_check.h"

#include <algorithm>

namespace tessaly::modbus {
namespace {

std::uint16_t KeyOf(std::uint8_t unit, std::uint8_t function) {
  return static_cast<std::uint16_t>(unit << 8 | function);
}

}  // namespace

std::uint64_t UnitFunctionHealth::ExceptionCount() const {
  std::uint64_t total = 0;
  for (const auto& [code, count] : exceptions) total += count;
  return total;
}

std::optional<double> UnitFunctionHealth::PollPeriod() const {
  if (requests < 2 || !firstRequestAt || !lastRequestAt) return std::nullopt;
  return static_cast<double>(*lastRequestAt - *firstRequestAt) / static_cast<double>(requests - 1);
}

double LineSummary::BadFrameRate() const {
  return packets == 0 ? 0.0 : static_cast<double>(badPackets) / static_cast<double>(packets);
}

std::optional<double> LineSummary::BusLoad() const {
  if (!busyKnown || packets < 2) return std::nullopt;
  const std::int64_t span = lastEndedAt - firstEndedAt + firstOnLine;
  if (span <= 0) return std::nullopt;
  return std::min(1.0, static_cast<double>(busy) / static_cast<double>(span));
}

std::optional<double> LineSummary::PacketsPerSecond() const {
  if (packets < 2 || lastEndedAt <= firstEndedAt) return std::nullopt;
  return static_cast<double>(packets - 1) * 1e6 / static_cast<double>(lastEndedAt - firstEndedAt);
}

const UnitFunctionHealth* LineStatistics::Find(std::uint8_t unit, std::uint8_t function) const {
  const auto found = units_.find(KeyOf(unit, function));
  return found == units_.end() ? nullptr : &found->second;
}

UnitFunctionHealth& LineStatistics::Entry(std::uint8_t unit, std::uint8_t function) {
  const auto [entry, added] = units_.try_emplace(KeyOf(unit, function));
  if (added) {
    entry->second.unit = unit;
    entry->second.function = function;
  }
  return entry->second;
}

void LineStatistics::Clear() {
  summary_ = {};
  units_.clear();
  previous_ = {};
  hasPrevious_ = false;
  pending_.reset();
}

std::int64_t LineStatistics::OnLine(const LoggedPacket& packet, bool& known) const {
  // With the speed known, the bytes' own time on the wire: their arrival
  // times are squeezed by whatever buffered them on the way (a USB adapter,
  // a gateway, a pseudo-terminal), down to nothing for a burst.
  if (timing_.Known()) return static_cast<std::int64_t>(timing_.Microseconds(packet.count));
  if (packet.firstByteAt && packet.lastByteAt) {
    return std::max<std::int64_t>(0, *packet.lastByteAt - *packet.firstByteAt);
  }
  known = false;
  return 0;
}

void LineStatistics::EndPendingWithoutAnswer() {
  ++Entry(pending_->unit, pending_->function).noAnswer;
  pending_.reset();
}

void LineStatistics::Add(const LoggedPacket& packet) {
  if (packet.note) return;
  bool onLineKnown = true;
  const std::int64_t onLine = OnLine(packet, onLineKnown);
  if (summary_.packets == 0) {
    summary_.firstEndedAt = packet.endedAt;
    summary_.firstOnLine = onLine;
  }
  ++summary_.packets;
  summary_.lastEndedAt = packet.endedAt;
  summary_.busy += onLine;
  summary_.busyKnown = summary_.busyKnown && onLineKnown;

  const FrameSummary frame = Summarize(packet.bytes, packet.count, hasPrevious_ ? &previous_ : nullptr);
  if (frame.good) {
    TakeFrame(frame, packet);
  } else {
    ++summary_.badPackets;
    summary_.lastBadAt = packet.endedAt;
    // Perhaps the answer, garbled; a good answer may still follow.
    if (pending_ && ++pending_->packetsSince >= kPairingReach) EndPendingWithoutAnswer();
  }

  // Summarize may compare the next frame with this one's first bytes
  // (kContextBytes at most), which the log's packet need not keep in place:
  // keep a copy of those.
  std::copy_n(packet.bytes, std::clamp(packet.count, 0, kContextBytes), previousBytes_.begin());
  previous_ = frame;
  previous_.bytes = previousBytes_.data();
  hasPrevious_ = true;
}

void LineStatistics::TakeFrame(const FrameSummary& frame, const LoggedPacket& packet) {
  UnitFunctionHealth& entry = Entry(frame.unit, frame.function);
  entry.lastSeen = packet.endedAt;
  if (frame.direction == Direction::Response) {
    const bool answers = pending_ && pending_->unit == frame.unit && pending_->function == frame.function;
    if (!answers) {
      if (pending_) EndPendingWithoutAnswer();
      ++entry.unpaired;
      return;
    }
    const LoggedPacket request = pending_->request;
    pending_.reset();
    if (frame.exception) {
      ++entry.exceptions[packet.count > 2 ? packet.bytes[2] : 0];
    } else {
      ++entry.answers;
    }
    if (const auto turnaround = Turnaround(request, packet, timing_)) entry.turnaround.Add(*turnaround);
    return;
  }
  // Any good frame but the answer ends the wait for it.
  if (pending_) EndPendingWithoutAnswer();
  if (frame.direction != Direction::Request) return;
  ++entry.requests;
  if (!entry.firstRequestAt) entry.firstRequestAt = packet.endedAt;
  entry.lastRequestAt = packet.endedAt;
  // No one answers a broadcast.
  if (frame.unit != 0) {
    LoggedPacket request = packet;
    request.bytes = nullptr;  // the log's, which need not stay in place
    pending_ = Pending{frame.unit, frame.function, 0, request};
  }
}

}  // namespace tessaly::modbus
