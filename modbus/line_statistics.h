#pragma once

#include "modbus/conversation.h"
#include "modbus/turnaround_record.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace tessaly::modbus {

// What the line did for one unit and one function code. Requests are
// answered, answered with an exception, not answered (a good frame other
// than their answer came first, or none within the pairing's reach), or
// still waiting (the log's last request). Bad frames are the line's, not a
// unit's: what a garbled frame's first bytes say is no unit or function to
// trust.
struct UnitFunctionHealth {
  std::uint8_t unit = 0;
  std::uint8_t function = 0;  // without the exception bit
  std::uint64_t requests = 0;
  std::uint64_t answers = 0;     // normal answers to a request
  std::uint64_t noAnswer = 0;
  std::uint64_t unpaired = 0;    // responses without their request before them
  std::map<std::uint8_t, std::uint64_t> exceptions;  // code -> answers with it
  TurnaroundRecord turnaround;   // of answers and exceptions alike
  std::optional<std::int64_t> firstRequestAt;  // packet ends, microseconds
  std::optional<std::int64_t> lastRequestAt;
  std::int64_t lastSeen = 0;     // end of the last packet of this unit and function

  std::uint64_t ExceptionCount() const;
  // The average time between two requests; nothing before the second.
  std::optional<double> PollPeriod() const;
};

// What the whole line did: packets and bad packets, and the time the line
// carried bytes against the time from the first packet's first byte to the
// last packet's end.
struct LineSummary {
  std::uint64_t packets = 0;     // packets from the line; notes of the capture are none
  std::uint64_t badPackets = 0;  // packets that are no good frame
  std::int64_t lastBadAt = 0;    // the last bad packet's end
  std::int64_t firstEndedAt = 0;
  std::int64_t lastEndedAt = 0;
  std::int64_t firstOnLine = 0;          // the first packet's time on the line
  std::int64_t busy = 0;                 // microseconds the line carried bytes
  bool busyKnown = true;                 // every packet's time on the line was known

  double BadFrameRate() const;
  // Share of the time the line carried bytes (0 to 1); nothing while the
  // line's speed and the packets' byte times are unknown, or before the
  // second packet.
  std::optional<double> BusLoad() const;
  // Packets per second between the first packet's end and the last's.
  std::optional<double> PacketsPerSecond() const;
};

// How much of a frame the decoder reads to judge the frame after it.
inline constexpr int kContextBytes = 16;

// The health of a Modbus RTU line, taken packet by packet as the log grows:
// each packet costs the same however long the log, and nothing is read
// again. Requests and answers are paired as PairingOf pairs them.
class LineStatistics {
 public:
  explicit LineStatistics(LineTiming timing = {}) : timing_(timing) {}

  // The timing takes effect for the packets added after it.
  void SetTiming(LineTiming timing) { timing_ = timing; }
  // Takes the log's next row; a note (a link lost or back) is passed over.
  void Add(const LoggedPacket& packet);
  // Forgets everything, as for a log that was cleared.
  void Clear();

  // Packets taken so far.
  std::uint64_t Taken() const { return summary_.packets; }
  const LineSummary& Summary() const { return summary_; }
  // Per unit and function, in order of unit, then function.
  const std::map<std::uint16_t, UnitFunctionHealth>& Units() const { return units_; }
  const UnitFunctionHealth* Find(std::uint8_t unit, std::uint8_t function) const;

 private:
  struct Pending {
    std::uint8_t unit = 0;
    std::uint8_t function = 0;
    int packetsSince = 0;  // packets after the request so far
    LoggedPacket request;  // its times, for the turnaround (not its bytes)
  };

  UnitFunctionHealth& Entry(std::uint8_t unit, std::uint8_t function);
  std::int64_t OnLine(const LoggedPacket& packet, bool& known) const;
  void TakeFrame(const FrameSummary& frame, const LoggedPacket& packet);
  void EndPendingWithoutAnswer();

  LineTiming timing_;
  LineSummary summary_;
  std::map<std::uint16_t, UnitFunctionHealth> units_;
  // The packet before the next one, as Summarize needs it:
  // its first bytes only, as no more are read of it (an echoed request is
  // 10 bytes at most, a diagnostics' sub-function is in bytes 2 and 3).
  std::array<std::uint8_t, kContextBytes> previousBytes_{};
  FrameSummary previous_;
  bool hasPrevious_ = false;
  std::optional<Pending> pending_;
};

}  // namespace tessaly::modbus
