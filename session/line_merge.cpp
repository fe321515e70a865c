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
    : QObject(parent), out_(out), now_(WallClockNow) {
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

PacketTime LineMerge::TieWindowFor(std::initializer_list<int> intervalsMs) {
  int longest = 0;
  for (const int interval : intervalsMs) longest = std::max(longest, interval);
  return (static_cast<PacketTime>(longest) + 1) * 1000;
}

void LineMerge::SetProgress(int line, std::function<PacketTime()> earliestEndToCome) {
  Input(line);
  progress_[line] = std::move(earliestEndToCome);
}

void LineMerge::Take(int line, const std::uint8_t* bytes, int count, const PacketTiming& timing) {
  HeldPacket packet{line, timing, std::vector<std::uint8_t>(bytes, bytes + std::max(count, 0))};
  // Packets mostly come in order: the place is found from the back.
  auto place = held_.end();
  while (place != held_.begin() && Before(packet, *std::prev(place))) --place;
  held_.insert(place, std::move(packet));
  HandOverDue();
  if (!held_.empty() && !check_.isActive()) check_.start();
}

bool LineMerge::Before(const HeldPacket& a, const HeldPacket& b) const {
  const PacketTime apart = a.timing.ended - b.timing.ended;
  if (apart < -tieWindow_) return true;
  if (apart > tieWindow_) return false;
  return a.timing.firstByte < b.timing.firstByte;
}

bool LineMerge::MayStillComeBefore(const HeldPacket& packet, PacketTime now) const {
  for (std::size_t line = 0; line < inputs_.size(); ++line) {
    if (static_cast<int>(line) == packet.line) continue;  // a line's own packets come in order
    const PacketTime earliest = progress_[line] ? progress_[line]() : now - kHoldWithoutProgress;
    // A packet of that line ending within the tie window may have begun
    // earlier; one ending after it goes after it in any case.
    if (earliest <= packet.timing.ended + tieWindow_) return true;
  }
  return false;
}

void LineMerge::HandOverDue() {
  while (!held_.empty()) {
    const PacketTime now = now_();
    HeldPacket& first = held_.front();
    if (now - first.timing.ended < kLongestHold && MayStillComeBefore(first, now)) break;
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
  if (handedAny_ && packet.line != last_.line && Before(packet, last_)) ++outOfOrder_;
  out_.AppendLinePacket(packet.line, packet.bytes.data(), static_cast<int>(packet.bytes.size()), packet.timing);
  last_.line = packet.line;
  last_.timing = packet.timing;
  handedAny_ = true;
}

}  // namespace tessaly
