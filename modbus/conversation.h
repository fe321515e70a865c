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
  // An event of the capture (a link lost, a link back) that the log keeps
  // as a row between packets: no byte came on the line, so it is no frame,
  // good or bad, and nothing counts it as one.
  bool note = false;
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
  // Microseconds from the request's last byte to the answer's first (see
  // Turnaround); nothing when it cannot be told.
  std::optional<std::int64_t> turnaround{};
  int damaged = -1;              // a request's first damaged packet before row
};
Pairing PairingOf(const PacketSequence& log, int index, const LineTiming& timing);

// From one packet's last byte to a later packet's first, as the log stamped
// their arrival; where it did not, the later packet's first byte is placed
// the time its other bytes take on the line before its end (both ends are
// stamped the same way, so the end-of-packet wait cancels out), which gives
// the same figure. Nothing when neither can be told.
std::optional<std::int64_t> LastByteToFirstByte(const LoggedPacket& earlier, const LoggedPacket& later,
                                                const LineTiming& timing);

// The turnaround of an answer: the answer's first byte less the request's
// last byte. The one definition of it: the details, line health and the
// decoded CSV all give this.
inline std::optional<std::int64_t> Turnaround(const LoggedPacket& request, const LoggedPacket& answer,
                                              const LineTiming& timing) {
  return LastByteToFirstByte(request, answer, timing);
}

// The silence on the line before the packet at index: from the previous
// packet's last byte to this one's first. Nothing for the first packet, nor
// when it cannot be told.
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
