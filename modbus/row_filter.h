#pragma once

#include "modbus/conversation.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tessaly::modbus {

// What a filter says of a log row. A request that waits for its answer
// cannot be told unanswered yet: it is judged again when more rows came.
enum class RowVerdict : std::uint8_t { kHidden, kShown, kNotYet };

// Which log rows to show. Every criterion that is set must hold; a filter
// with none set shows every row.
struct RowFilter {
  std::optional<std::uint8_t> unit;      // first byte
  std::optional<std::uint8_t> function;  // second byte, exception bit ignored
  bool badFramesOnly = false;            // anything but a good frame
  bool exceptionsOnly = false;           // good frames with the exception bit
  bool noAnswerOnly = false;             // requests left without their answer
  std::vector<std::uint8_t> sequence;    // bytes found anywhere in the packet

  bool Active() const {
    return unit || function || badFramesOnly || exceptionsOnly || noAnswerOnly || !sequence.empty();
  }
  // What the packet alone tells: for noAnswerOnly, only whether it could be
  // a request; Judge tells the rest.
  bool Matches(const std::uint8_t* bytes, int count) const;
  // The row at index in its log, its answer included.
  RowVerdict Judge(const PacketSequence& log, int index) const;
};

// Whether the packet holds the byte sequence (an empty sequence is found
// everywhere).
bool ContainsSequence(const std::uint8_t* bytes, int count, const std::vector<std::uint8_t>& sequence);

// The next packet after row from (forward) or before it holding the
// sequence, going round the end of the log; from itself is looked at last,
// and from = -1 starts at the first (or, backwards, the last) packet. -1
// when no packet holds it, or when stop (looked at between packets, from
// another thread) was set.
int FindRow(const PacketSequence& log, int from, const std::vector<std::uint8_t>& sequence,
            bool forward, const std::atomic<bool>* stop = nullptr);

// Reads a byte sequence typed by a user: hex bytes separated by spaces or
// commas ("01 03", "1,3", "0x01 0x03") or written together ("0103").
// Nothing for text that is not such a sequence or is empty.
std::optional<std::vector<std::uint8_t>> ParseHexSequence(std::string_view text);

}  // namespace tessaly::modbus
