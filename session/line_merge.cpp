#include "session/line_merge.h"

#include "presentation/failure_report.h"

#include <algorithm>

namespace tessaly {

// What one line's framer sees as its sink.
class LineMerge::LineInput final : public PacketSink {
 public:
  LineInput(LineMerge& merge, int line) : merge_(merge), line_(line) {}

  void AppendPacket(const std::uint8_t* bytes, int count, PacketTime endedAt) override {
    merge_.Take(line_, bytes, count, PacketTiming{endedAt, endedAt, endedAt});
  }
  void AppendPacket(const std::uint8_t* bytes, int count, const PacketTiming& timing) override {
    merge_.Take(line_, bytes, count, timing);
  }

 private:
  LineMerge& merge_;
  const int line_;
};

LineMerge::LineMerge(PacketSink& out, QObject* parent)
    : QObject(parent), out_(out), now_([] { return LineClock::now(); }) {
  check_.setInterval(kCheckMilliseconds);
  connect(&check_, &QTimer::timeout, this, [this] { RunReportingErrors([this] { HandOverDue(); }); });
}

LineMerge::~LineMerge() = default;

PacketSink& LineMerge::Input(int line) {
  while (static_cast<int>(inputs_.size()) <= line) {
    inputs_.push_back(std::make_unique<LineInput>(*this, static_cast<int>(inputs_.size())));
    progress_.emplace_back();
  }
  return *inputs_[line];
}

void LineMerge::SetProgress(int line, std::function<LineTime()> completeUntil) {
  Input(line);
  progress_[line] = std::move(completeUntil);
}

LineTime LineMerge::FirstByteOf(const PacketTiming& timing) {
  // A sink fed without line-clock moments: the wall clock's, as near as it
  // gets.
  if (timing.firstByteOnLine != LineTime{}) return timing.firstByteOnLine;
  return LineTimeOfWallClock(timing.firstByte / 1'000'000, (timing.firstByte % 1'000'000) * 1000);
}

void LineMerge::Take(int line, const std::uint8_t* bytes, int count, const PacketTiming& timing) {
  HeldPacket packet{line, timing, now_(), std::vector<std::uint8_t>(bytes, bytes + std::max(count, 0))};
  packet.timing.firstByteOnLine = FirstByteOf(timing);
  // Packets mostly come in order: the place is found from the back, and
  // never before a packet of the same line.
  auto place = held_.end();
  while (place != held_.begin()) {
    const HeldPacket& before = *std::prev(place);
    if (before.line == line || before.timing.firstByteOnLine <= packet.timing.firstByteOnLine) break;
    --place;
  }
  held_.insert(place, std::move(packet));
  HandOverDue();
  if (!held_.empty() && !check_.isActive()) check_.start();
}

bool LineMerge::MayStillComeBefore(const HeldPacket& packet, LineTime now) const {
  for (std::size_t line = 0; line < inputs_.size(); ++line) {
    if (static_cast<int>(line) == packet.line) continue;  // a line's own packets come in order
    const LineTime complete = progress_[line] ? progress_[line]() : now - kHoldWithoutProgress;
    if (complete <= packet.timing.firstByteOnLine) return true;
  }
  return false;
}

void LineMerge::HandOverDue() {
  while (!held_.empty()) {
    const LineTime now = now_();
    HeldPacket& first = held_.front();
    if (now - first.heldSince < kLongestHold && MayStillComeBefore(first, now)) break;
    HeldPacket packet = std::move(first);
    held_.pop_front();
    HandOver(packet);
  }
  if (held_.empty()) check_.stop();
}

void LineMerge::Flush() {
  while (!held_.empty()) {
    HeldPacket packet = std::move(held_.front());
    held_.pop_front();
    HandOver(packet);
  }
  check_.stop();
}

void LineMerge::HandOver(HeldPacket& packet) {
  bool late = false;
  for (std::size_t line = 0; line < handedUpTo_.size(); ++line) {
    if (static_cast<int>(line) != packet.line && handedUpTo_[line] > packet.timing.firstByteOnLine) late = true;
  }
  if (late) ++outOfOrder_;
  if (handedUpTo_.size() <= static_cast<std::size_t>(packet.line)) handedUpTo_.resize(packet.line + 1);
  handedUpTo_[packet.line] = std::max(handedUpTo_[packet.line], packet.timing.firstByteOnLine);
  out_.AppendLinePacket(packet.line, packet.bytes.data(), static_cast<int>(packet.bytes.size()), packet.timing);
  if (late && outOfOrderNotice_) outOfOrderNotice_(packet.line, packet.timing);
}

}  // namespace tessaly
