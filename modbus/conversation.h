#pragma once

#include "modbus/frame_decoder.h"
#include "modbus/frame_layout.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tessaly::modbus {

// One logged packet: its bytes, when it ended, and, where the log knows
// them, when its first and last byte came (microseconds; only differences
// between packets are used).
struct LoggedPacket {
  const std::uint8_t* bytes = nullptr;
  int count = 0;
  std::int64_t endedAt = 0;
  std::optional<std::int64_t> firstByteAt{};
  std::optional<std::int64_t> lastByteAt{};
  // What its line tells of its direction: a line named as the master's
  // side carries requests, the other line responses. Unknown with one
  // line, or when no side was named.
  Direction side = Direction::Unknown;
};

// The log as the decoder reads it: packets by index, oldest first.
class PacketSequence {
 public:
  virtual ~PacketSequence() = default;
  virtual int Size() const = 0;
  virtual LoggedPacket At(int index) const = 0;
};

// How long bytes take on the line: one character is a start bit, the data
// bits, the parity bit if any and the stop bits. A speed of 0 is unknown (a
// gateway whose serial side was not given): nothing can be timed then.
struct LineTiming {
  int bitsPerSecond = 9600;
  int bitsPerCharacter = 10;
  bool Known() const { return bitsPerSecond > 0; }
  double Microseconds(int byteCount) const;
};

// The summary of the packet at index, its direction judged from the frames
// before it. Frames whose direction needs the one before them are followed
// back at most kLookBack packets, so the cost stays small in any log.
inline constexpr int kLookBack = 64;
FrameSummary SummaryAt(const PacketSequence& log, int index);

// How far pairing looks for an answer past garbled frames.
inline constexpr int kPairingReach = 16;

// How a frame sits in the master's conversation.
struct Pairing {
  enum Kind {
    kNone,         // not a good request or response
    kAnsweredBy,   // a request; row is its answer
    kNoAnswer,     // a request; row is the next request or foreign frame (-1: none near)
    kWaiting,      // a request, last in the log so far
    kBroadcast,    // a request to unit 0, which no one answers
    kAnswers,      // a response; row is its request
    kUnpaired,     // a response without its request just before it
  };
  Kind kind = kNone;
  int row = -1;                  // index of the other packet
  // Microseconds from the request's last byte to the answer's first (the
  // silence before the answer); nothing when it cannot be told.
  std::optional<std::int64_t> turnaround{};
  int damaged = -1;              // a request's first damaged packet before row
};
Pairing PairingOf(const PacketSequence& log, int index, const LineTiming& timing);

// The silence on the line before the packet at index: from the previous
// packet's last byte to this one's first where the log knows them; else the
// time between the two packets' ends less this packet's own time on the line
// (both ends are stamped the same way, so the end-of-packet wait cancels
// out). Nothing for the first packet, nor when neither can be told.
std::optional<std::int64_t> SilenceBefore(const PacketSequence& log, int index,
                                          const LineTiming& timing);

// Everything the details of one packet show: what the packet is, its CRC,
// its time on the line and the silence before it, the decoded frame (each
// frame of a merged packet in turn), and its place in the conversation.
// Rows are named as the grid numbers them, from 1; addresses are written in
// the notation given.
std::vector<DetailLine> DescribePacket(const PacketSequence& log, int index,
                                       const LineTiming& timing,
                                       AddressNotation notation = AddressNotation::kZeroBased);

}  // namespace tessaly::modbus
