#include "core/packet_framer.h"

#include "core/end_of_packet_interval.h"
#include "presentation/error_report.h"

#include <QTimer>

#include <algorithm>
#include <cstring>
#include <exception>

namespace tessaly {
namespace {

using std::chrono::milliseconds;

int WaitingOn(ByteSource& source) {
  try {
    return source.Pending();
  } catch (const std::exception&) {
    // A link that cannot tell has failed, and says so on its own path; the
    // packet ends with what it holds.
    return 0;
  }
}

Arrival ArrivalNow() {
  const LineTime now = LineClock::now();
  return {now, now};
}

}  // namespace

PacketFramer::PacketFramer(QTimer& endPacketTimer, PacketSink& sink)
    : timer_(endPacketTimer),
      // A failure goes to the error report, as it does from the owner's
      // handler of the end-of-packet timer.
      exactEnd_([this] { RunReportingErrors([this] { OnEndOfPacket(); }); }),
      sink_(sink) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  // Keep whatever interval the owner gave the timer, but never one that
  // cannot end a packet.
  interval_ = std::max(timer_.interval(), 1);
  timer_.setInterval(interval_);
}

void PacketFramer::SetInterval(int milliseconds) {
  milliseconds = std::max(milliseconds, 1);
  // The same interval leaves a running packet's countdown alone.
  if (milliseconds == interval_) return;
  interval_ = milliseconds;
  if (intervalChanged_) intervalChanged_(interval_);
  if (timer_.isActive()) ArmUntil(LineClock::now() + std::chrono::milliseconds(interval_));
}

void PacketFramer::SetIntervalFromBaudRate(int bitsPerSecond) {
  SetInterval(EndOfPacketInterval(bitsPerSecond));
}

void PacketFramer::OnBytesAvailable(ByteSource& source) {
  source_ = &source;
  StopTimers();
  // Re-arm on every way out, a failing read included: whatever was collected
  // before the failure must still end as a packet rather than wait in the
  // buffer until the next Start empties it.
  struct Rearm {
    PacketFramer& framer;
    ~Rearm() {
      if (framer.end_) framer.ArmUntil(*framer.end_);
    }
  } rearm{*this};
  if (ReadFrom(source, !tookAhead_)) tookAhead_ = false;
}

bool PacketFramer::ReadFrom(ByteSource& source, bool emptyReadIsArrival) {
  bool delivered = false;
  int queued = -1;  // not known before the first read
  for (int reads = 0; reads < kMaxReadsPerArrival; ++reads) {
    // A full buffer cannot take another byte, and dropping bytes is not an
    // option: what it holds becomes a packet now, and reading goes on into
    // the emptied buffer.
    if (count_ == kCapacity) EmitPacket(count_);

    // Only the first read may wait on the line (the serial port's read waits
    // until the line falls quiet, which a busy line never does); later ones
    // ask only for what is queued already and so return at once. The rest
    // comes with the next arrival, after the event loop has had its turn.
    const int space = kCapacity - count_;
    const int wanted = queued < 0 ? space : std::min(space, queued);
    const int before = count_;
    const int read = source.Read(buffer_.data() + count_, wanted);
    // 0 and -1 (nothing there, or a failed socket read) add nothing. A source
    // claiming more than it was asked for cannot have put more into the
    // buffer than the space it was given.
    if (read > 0) {
      delivered = true;
      count_ = static_cast<std::uint16_t>(count_ + std::min(read, wanted));
      Take(before, count_ - before, source.LastArrival().value_or(ArrivalNow()));
    } else if (emptyReadIsArrival && reads == 0) {
      Take(before, 0, ArrivalNow());
    }

    if (count_ < kCapacity) return delivered;
    queued = source.Pending();
    if (queued <= 0) return delivered;
  }
  return delivered;
}

void PacketFramer::Take(int before, int read, const Arrival& arrival) {
  if (end_ && arrival.first > *end_) {
    // The line fell silent long enough before these bytes: the packet they
    // follow ended then, and they start the next one.
    const LineTime ended = *end_;
    // Moved to the front also when the sink throws, so the bytes it was
    // given cannot be logged twice.
    struct KeepNewBytes {
      PacketFramer& framer;
      int before;
      int read;
      Arrival arrival;
      ~KeepNewBytes() {
        std::memmove(framer.buffer_.data(), framer.buffer_.data() + before, static_cast<std::size_t>(read));
        framer.count_ = static_cast<std::uint16_t>(read);
        if (read > 0) framer.NoteBytes(arrival);
      }
    } keep{*this, before, read, arrival};
    end_ = arrival.last + milliseconds(interval_);
    Deliver(before, ended);
    return;
  }
  end_ = arrival.last + milliseconds(interval_);
  if (read > 0) NoteBytes(arrival);
}

void PacketFramer::NoteBytes(const Arrival& arrival) {
  if (!firstByte_) firstByte_ = arrival.first;
  lastByte_ = std::max(lastByte_, arrival.lastByte.value_or(arrival.last));
}

void PacketFramer::Deliver(int count, LineTime ended) {
  PacketTiming timing;
  timing.ended = WallClockOf(ended);
  timing.firstByte = firstByte_ && count > 0 ? WallClockOf(*firstByte_) : timing.ended;
  timing.lastByte = firstByte_ && count > 0 ? WallClockOf(std::min(lastByte_, ended)) : timing.ended;
  firstByte_.reset();
  lastByte_ = {};
  sink_.AppendPacket(buffer_.data(), count, timing);
}

void PacketFramer::ArmUntil(LineTime end) {
  // Only what remains is waited, rounded up to the timer's whole
  // milliseconds so that it never fires before the moment of decision.
  const LineTime decideAt = end + kSettleTime;
  const auto remaining = decideAt - LineClock::now();
  const auto wait = std::chrono::ceil<milliseconds>(std::max(remaining, LineClock::duration::zero()));
  timer_.start(static_cast<int>(std::min<milliseconds::rep>(wait.count(), 1'000'000'000)));
  exactEnd_.ArmAt(decideAt);
}

void PacketFramer::StopTimers() {
  timer_.stop();
  exactEnd_.Disarm();
}

void PacketFramer::OnEndOfPacket() {
  StopTimers();
  // Bytes that came before the packet's end but whose handler has not run
  // yet belong to this packet; the timer's handler may well run first.
  bool took = false;
  for (int reads = 0; source_ != nullptr && end_ && reads < kMaxReadsPerArrival; ++reads) {
    if (WaitingOn(*source_) <= 0 || !ReadFrom(*source_, false)) break;
    took = true;
  }
  if (took) {
    tookAhead_ = true;
    if (end_ && LineClock::now() < *end_ + kSettleTime) {
      ArmUntil(*end_);
      return;
    }
  }
  EmitPacket(count_);
  end_.reset();
}

void PacketFramer::Reset() {
  count_ = 0;
  source_ = nullptr;
  firstByte_.reset();
  lastByte_ = {};
}

void PacketFramer::EmitPacket(int count) {
  const LineTime ended = end_ ? *end_ : LineClock::now();
  // Emptied before handing over, so a sink that throws cannot make the same
  // bytes be logged twice.
  count_ = 0;
  Deliver(count, ended);
}

}  // namespace tessaly
