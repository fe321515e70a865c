#include "capture/packet_framer.h"

#include "capture/end_of_packet_interval.h"

#include <QTimer>

#include <algorithm>

namespace tessaly {

PacketFramer::PacketFramer(QTimer& endPacketTimer, PacketSink& sink)
    : timer_(endPacketTimer), sink_(sink) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  // Keep whatever interval the owner gave the timer, but never one that
  // cannot end a packet.
  SetInterval(timer_.interval());
}

void PacketFramer::SetInterval(int milliseconds) {
  milliseconds = std::max(milliseconds, 1);
  // QTimer restarts a running countdown on any setInterval(), even to the
  // same value; the same interval must leave a packet's countdown alone.
  if (milliseconds == timer_.interval()) return;
  timer_.setInterval(milliseconds);
}

void PacketFramer::SetIntervalFromBaudRate(int bitsPerSecond) {
  SetInterval(EndOfPacketInterval(bitsPerSecond));
}

int PacketFramer::Interval() const { return timer_.interval(); }

void PacketFramer::OnBytesAvailable(ByteSource& source) {
  timer_.stop();
  // Re-arm on every way out, a failing read included: whatever was collected
  // before the failure must still end as a packet rather than wait in the
  // buffer until the next Start empties it.
  struct Rearm {
    QTimer& timer;
    ~Rearm() { timer.start(); }
  } rearm{timer_};
  ReadFrom(source);
}

void PacketFramer::ReadFrom(ByteSource& source) {
  int queued = -1;  // not known before the first read
  for (int reads = 0; reads < kMaxReadsPerArrival; ++reads) {
    // A full buffer cannot take another byte, and dropping bytes is not an
    // option: what it holds becomes a packet now, and reading goes on into
    // the emptied buffer.
    if (count_ == kCapacity) EmitPacket();

    // Only the first read may wait on the line (the serial port's read waits
    // until the line falls quiet, which a busy line never does); later ones
    // ask only for what is queued already and so return at once. The rest
    // comes with the next arrival, after the event loop has had its turn.
    const int space = kCapacity - count_;
    const int wanted = queued < 0 ? space : std::min(space, queued);
    const int read = source.Read(buffer_.data() + count_, wanted);
    // 0 and -1 (nothing there, or a failed socket read) add nothing. A source
    // claiming more than it was asked for cannot have put more into the
    // buffer than the space it was given.
    if (read > 0) count_ = static_cast<std::uint16_t>(count_ + std::min(read, wanted));

    if (count_ < kCapacity) return;
    queued = source.Pending();
    if (queued <= 0) return;
  }
}

void PacketFramer::OnEndOfPacket() {
  timer_.stop();
  EmitPacket();
}

void PacketFramer::Reset() { count_ = 0; }

void PacketFramer::EmitPacket() {
  // Emptied before handing over, so a sink that throws cannot make the same
  // bytes be logged twice.
  const int count = count_;
  count_ = 0;
  sink_.AppendPacket(buffer_.data(), count, WallClockNow());
}

}  // namespace tessaly
