#include "modbus/conversation.h"

#include "modbus/crc16.h"
#include "modbus/frame_check.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace tessaly::modbus {
namespace {

std::string Milliseconds(std::int64_t microseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f ms", static_cast<double>(microseconds) / 1000.0);
  return text;
}

std::string RowName(int index) { return "row " + std::to_string(index + 1); }

FrameSummary SummaryOf(const LoggedPacket& packet, const FrameSummary* previous) {
  FrameSummary summary = Summarize(packet.bytes, packet.count, previous);
  // Where the layout fits both ways (a read request and a write's echo look
  // alike), the line the frame came on tells; a frame that fits one way
  // only is that way, whatever line it came on.
  if (summary.good && packet.side != Direction::Unknown) {
    const LayoutFit fit = FitLayout(packet.bytes, packet.count);
    if (fit.request && fit.response) summary.direction = packet.side;
  }
  return summary;
}

bool IsAnswerTo(const FrameSummary& answer, const FrameSummary& request) {
  return answer.good && answer.direction == Direction::Response && answer.unit == request.unit &&
         answer.function == request.function;
}

std::string TurnaroundText(const std::optional<std::int64_t>& turnaround) {
  return turnaround ? Milliseconds(*turnaround) : "unknown";
}

}  // namespace

double LineTiming::Microseconds(int byteCount) const {
  if (bitsPerSecond <= 0) return 0;
  return 1e6 * static_cast<double>(byteCount) * bitsPerCharacter / bitsPerSecond;
}

FrameSummary SummaryAt(const PacketSequence& log, int index) {
  int first = index;
  while (first > 0 && index - first < kLookBack) {
    const LoggedPacket packet = log.At(first);
    if (!DirectionNeedsContext(packet.bytes, packet.count)) break;
    --first;
  }
  FrameSummary summary = SummaryOf(log.At(first), nullptr);
  for (int i = first + 1; i <= index; ++i) {
    const FrameSummary previous = summary;
    summary = SummaryOf(log.At(i), &previous);
  }
  return summary;
}

std::optional<std::int64_t> LastByteToFirstByte(const LoggedPacket& earlier, const LoggedPacket& later,
                                                const LineTiming& timing) {
  if (later.firstByteAt && earlier.lastByteAt) {
    return std::max<std::int64_t>(0, *later.firstByteAt - *earlier.lastByteAt);
  }
  if (!timing.Known()) return std::nullopt;
  // The later packet's last byte came its other bytes' time after its first.
  const std::int64_t lastToLast = later.endedAt - earlier.endedAt;
  return std::max<std::int64_t>(
      0, lastToLast - static_cast<std::int64_t>(timing.Microseconds(std::max(0, later.count - 1))));
}

std::optional<std::int64_t> SilenceBefore(const PacketSequence& log, int index,
                                          const LineTiming& timing) {
  if (index <= 0 || index >= log.Size()) return std::nullopt;
  return LastByteToFirstByte(log.At(index - 1), log.At(index), timing);
}

Pairing PairingOf(const PacketSequence& log, int index, const LineTiming& timing) {
  const FrameSummary self = SummaryAt(log, index);
  if (!self.good) return {};
  if (self.direction == Direction::Request) {
    if (self.unit == 0) return {Pairing::kBroadcast};
    FrameSummary previous = self;
    int damaged = -1;
    const int last = std::min(log.Size() - 1, index + kPairingReach);
    for (int next = index + 1; next <= last; ++next) {
      const LoggedPacket packet = log.At(next);
      if (packet.note) continue;  // a link lost or back: no frame on the line
      const FrameSummary other = SummaryOf(packet, &previous);
      previous = other;
      if (!other.good) {
        // Perhaps the answer, garbled; a good answer may still follow.
        if (damaged < 0) damaged = next;
        continue;
      }
      if (IsAnswerTo(other, self)) {
        return {Pairing::kAnsweredBy, next, Turnaround(log.At(index), packet, timing), damaged};
      }
      return {Pairing::kNoAnswer, next, 0, damaged};
    }
    return {last == log.Size() - 1 ? Pairing::kWaiting : Pairing::kNoAnswer, -1, 0, damaged};
  }
  if (self.direction == Direction::Response) {
    for (int before = index - 1; before >= std::max(0, index - kPairingReach); --before) {
      const FrameSummary other = SummaryAt(log, before);
      if (!other.good) continue;
      if (other.direction == Direction::Request && IsAnswerTo(self, other)) {
        return {Pairing::kAnswers, before, Turnaround(log.At(before), log.At(index), timing)};
      }
      break;
    }
    return {Pairing::kUnpaired};
  }
  return {};
}

std::vector<DetailLine> DescribePacket(const PacketSequence& log, int index,
                                       const LineTiming& timing, AddressNotation notation) {
  std::vector<DetailLine> lines;
  const auto add = [&lines](std::string label, std::string value) {
    lines.push_back({std::move(label), std::move(value)});
  };
  const LoggedPacket packet = log.At(index);
  add("Row", std::to_string(index + 1));
  if (packet.note) {
    add("Frame", "none: an event of the capture, no byte came on the line");
    return lines;
  }
  const FrameKind kind = CheckFrame(packet.bytes, packet.count);
  add("Frame", FrameKindName(kind));
  add("Length", std::to_string(packet.count) + (packet.count == 1 ? " byte" : " bytes"));
  if (packet.count >= 2 && kind != FrameKind::Merged) {
    add("CRC sent", Hex16(SentCrc(packet.bytes, static_cast<std::size_t>(packet.count))));
    add("CRC computed",
        Hex16(Crc16(packet.bytes, static_cast<std::size_t>(packet.count - 2))));
  }
  char onLine[64];
  std::snprintf(onLine, sizeof onLine, "%.1f ms at %d baud", timing.Microseconds(packet.count) / 1000.0,
                timing.bitsPerSecond);
  add("Time on the line", timing.Known() ? onLine : "unknown: the line's speed is not known");
  const auto silence = SilenceBefore(log, index, timing);
  add("Silence before", silence       ? Milliseconds(*silence)
                        : index == 0  ? "none: first packet of the log"
                                      : "unknown: the line's speed is not known");

  if (kind == FrameKind::Good) {
    const FrameSummary self = SummaryAt(log, index);
    const Pairing pairing = PairingOf(log, index, timing);
    const std::uint8_t* request = nullptr;
    int requestCount = 0;
    if (pairing.kind == Pairing::kAnswers) {
      const LoggedPacket asked = log.At(pairing.row);
      request = asked.bytes;
      requestCount = asked.count;
    }
    for (DetailLine& line : DecodeFrame(packet.bytes, packet.count, self.direction, request,
                                        requestCount, notation)) {
      lines.push_back(std::move(line));
    }
    if (pairing.damaged >= 0) {
      add("Damaged packet", RowName(pairing.damaged) + ", perhaps the answer");
    }
    switch (pairing.kind) {
      case Pairing::kAnsweredBy:
        add("Answer", RowName(pairing.row) + ", turnaround " + TurnaroundText(pairing.turnaround));
        break;
      case Pairing::kNoAnswer:
        add("Answer", pairing.row >= 0 ? "none before the next request (" + RowName(pairing.row) + ")"
                                       : "none before the next request");
        break;
      case Pairing::kWaiting:
        add("Answer", "none yet");
        break;
      case Pairing::kBroadcast:
        add("Answer", "none expected (broadcast)");
        break;
      case Pairing::kAnswers:
        add("Request", RowName(pairing.row) + ", turnaround " + TurnaroundText(pairing.turnaround));
        break;
      case Pairing::kUnpaired:
        add("Request", "not found just before");
        break;
      case Pairing::kNone:
        break;
    }
  } else if (kind == FrameKind::Merged) {
    const std::vector<int> sizes = SplitFrames(packet.bytes, packet.count);
    // The usual cause: a slave answering within the serial read's 10 ms,
    // which the read grouping puts in its request's packet.
    add("Hint", "the CRC fails, but the bytes split into " + std::to_string(sizes.size()) +
                    " frames that each pass: no silence long enough ended the packet between them. With "
                    "\"Cut at the line's silences\" (Serial settings) each gets a row of its own.");
    int offset = 0;
    FrameSummary previous = index > 0 ? SummaryAt(log, index - 1) : FrameSummary{};
    for (std::size_t part = 0; part < sizes.size(); ++part) {
      const std::uint8_t* bytes = packet.bytes + offset;
      const int size = sizes[part];
      add("Frame " + std::to_string(part + 1) + " of " + std::to_string(sizes.size()),
          "bytes " + std::to_string(offset) + ".." + std::to_string(offset + size - 1) +
              ", CRC " + Hex16(SentCrc(bytes, static_cast<std::size_t>(size))));
      const FrameSummary summary = Summarize(bytes, size, &previous);
      // The answer's values are labelled by the request just before it.
      const bool answers = summary.direction == Direction::Response &&
                           previous.direction == Direction::Request && IsAnswerTo(summary, previous);
      for (DetailLine& line : DecodeFrame(bytes, size, summary.direction,
                                          answers ? previous.bytes : nullptr,
                                          answers ? previous.count : 0, notation)) {
        lines.push_back(std::move(line));
      }
      previous = summary;
      offset += size;
    }
  } else if (packet.count >= 2) {
    // Not checked, but often what a user looks for first in a garbled frame.
    add("Unit (unchecked)", std::to_string(packet.bytes[0]));
    add("Function (unchecked)", std::to_string(packet.bytes[1]));
  }
  return lines;
}

}  // namespace tessaly::modbus
