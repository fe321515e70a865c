#include "modbus/row_filter.h"

#include "modbus/frame_check.h"
#include "modbus/function_names.h"

#include <algorithm>
#include <cstring>

namespace tessaly::modbus {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsSeparator(char c) { return c == ' ' || c == ',' || c == '\t'; }

}  // namespace

bool ContainsSequence(const std::uint8_t* bytes, int count,
                      const std::vector<std::uint8_t>& sequence) {
  if (sequence.empty()) return true;
  if (count < static_cast<int>(sequence.size())) return false;
  // memmem compares a whole row in one pass, several times faster than a
  // byte-by-byte search over a million short rows.
  return ::memmem(bytes, static_cast<std::size_t>(count), sequence.data(), sequence.size()) !=
         nullptr;
}

bool RowFilter::Matches(const std::uint8_t* bytes, int count) const {
  if (unit && (count < 1 || bytes[0] != *unit)) return false;
  if (function && (count < 2 || (bytes[1] & 0x7F) != *function)) return false;
  if (badFramesOnly && CheckFrame(bytes, count) == FrameKind::Good) return false;
  if ((exceptionsOnly || noAnswerOnly) && CheckFrame(bytes, count) != FrameKind::Good) return false;
  if (exceptionsOnly && (bytes[1] & kExceptionBit) == 0) return false;
  if (noAnswerOnly && (bytes[1] & kExceptionBit) != 0) return false;
  return ContainsSequence(bytes, count, sequence);
}

RowVerdict RowFilter::Judge(const PacketSequence& log, int index) const {
  const LoggedPacket packet = log.At(index);
  // A note (a link lost or back) is no frame of any kind.
  if (packet.note || !Matches(packet.bytes, packet.count)) return RowVerdict::kHidden;
  if (!noAnswerOnly) return RowVerdict::kShown;
  // Only the kind of pairing matters here, not its times.
  switch (PairingOf(log, index, LineTiming{0, 10}).kind) {
    case Pairing::kNoAnswer: return RowVerdict::kShown;
    case Pairing::kWaiting: return RowVerdict::kNotYet;
    default: return RowVerdict::kHidden;
  }
}

int FindRow(const PacketSequence& log, int from, const std::vector<std::uint8_t>& sequence,
            bool forward, const std::atomic<bool>* stop) {
  const int size = log.Size();
  if (size == 0) return -1;
  if (from < 0 || from >= size) from = forward ? size - 1 : 0;
  for (int step = 1; step <= size; ++step) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) return -1;
    const int row = forward ? (from + step) % size : ((from - step) % size + size) % size;
    const LoggedPacket packet = log.At(row);
    if (ContainsSequence(packet.bytes, packet.count, sequence)) return row;
  }
  return -1;
}

std::optional<std::vector<std::uint8_t>> ParseHexSequence(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  std::size_t at = 0;
  while (at < text.size()) {
    if (IsSeparator(text[at])) {
      ++at;
      continue;
    }
    std::size_t end = at;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    std::string_view token = text.substr(at, end - at);
    at = end;
    if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
      token.remove_prefix(2);
    }
    if (!std::all_of(token.begin(), token.end(), [](char c) { return HexDigit(c) >= 0; })) {
      return std::nullopt;
    }
    if (token.size() == 1) {
      bytes.push_back(static_cast<std::uint8_t>(HexDigit(token[0])));
      continue;
    }
    if (token.size() % 2 != 0) return std::nullopt;
    for (std::size_t i = 0; i < token.size(); i += 2) {
      bytes.push_back(static_cast<std::uint8_t>(HexDigit(token[i]) * 16 + HexDigit(token[i + 1])));
    }
  }
  if (bytes.empty()) return std::nullopt;
  return bytes;
}

}  // namespace tessaly::modbus
