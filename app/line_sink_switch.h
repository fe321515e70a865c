#pragma once

#include "core/packet_framer.h"

namespace tessaly {

// The first line's packets go either straight on (one line: to the log's
// recording sink, as always) or into the merge of two lines; the capture
// session's sink is fixed when it is made, so it is given this and the
// window turns it at Start.
class LineSinkSwitch : public PacketSink {
 public:
  explicit LineSinkSwitch(PacketSink& target) : target_(&target) {}

  void SetTarget(PacketSink& target) { target_ = &target; }
  PacketSink& Target() const { return *target_; }

  void AppendPacket(const std::uint8_t* bytes, int count, PacketTime endedAt) override {
    target_->AppendPacket(bytes, count, endedAt);
  }
  void AppendPacket(const std::uint8_t* bytes, int count, const PacketTiming& timing) override {
    target_->AppendPacket(bytes, count, timing);
  }
  void AppendLinePacket(int line, const std::uint8_t* bytes, int count, const PacketTiming& timing) override {
    target_->AppendLinePacket(line, bytes, count, timing);
  }

 private:
  PacketSink* target_;
};

}  // namespace tessaly
