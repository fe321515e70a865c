#include "modbus/register_watch.h"

#include "modbus/frame_check.h"
#include "modbus/function_names.h"

#include <algorithm>

namespace tessaly::modbus {
namespace {

// Frames carry their CRC in count; the fields end two bytes before.
constexpr int kCrcSize = 2;

bool IsBitTable(Table table) { return table == Table::kCoils || table == Table::kDiscreteInputs; }

std::optional<Table> ReadTable(std::uint8_t function) {
  switch (function) {
    case kReadCoils: return Table::kCoils;
    case kReadDiscreteInputs: return Table::kDiscreteInputs;
    case kReadInputRegisters: return Table::kInputRegisters;
    case kReadHoldingRegisters:
    case kReadWriteMultipleRegisters: return Table::kHoldingRegisters;
    default: return std::nullopt;
  }
}

}  // namespace

const RegisterState* RegisterWatch::Find(RegisterKey key) const {
  const auto found = registers_.find(key.Packed());
  return found == registers_.end() ? nullptr : &found->second;
}

std::optional<std::vector<std::uint16_t>> RegisterWatch::Words(RegisterKey key, int count) const {
  std::vector<std::uint16_t> words;
  for (int i = 0; i < count; ++i) {
    if (key.address + i > 0xFFFF) return std::nullopt;
    const RegisterState* state =
        Find({key.unit, key.table, static_cast<std::uint16_t>(key.address + i)});
    if (state == nullptr) return std::nullopt;
    words.push_back(state->value);
  }
  return words;
}

std::vector<RegisterWatch::WideSample> RegisterWatch::History(RegisterKey key, int count) const {
  // Merge the histories of the registers by time; a sample is made at each
  // change once every register has a value.
  std::vector<const RegisterState*> states;
  for (int i = 0; i < count; ++i) {
    if (key.address + i > 0xFFFF) return {};
    const RegisterState* state = Find({key.unit, key.table, static_cast<std::uint16_t>(key.address + i)});
    if (state == nullptr) return {};
    states.push_back(state);
  }
  std::vector<std::size_t> next(states.size(), 0);
  std::vector<std::optional<std::uint16_t>> current(states.size());
  std::vector<WideSample> samples;
  while (true) {
    std::optional<std::int64_t> earliest;
    for (std::size_t i = 0; i < states.size(); ++i) {
      if (next[i] < states[i]->history.size()) {
        const std::int64_t at = states[i]->history[next[i]].at;
        if (!earliest || at < *earliest) earliest = at;
      }
    }
    if (!earliest) break;
    for (std::size_t i = 0; i < states.size(); ++i) {
      while (next[i] < states[i]->history.size() && states[i]->history[next[i]].at == *earliest) {
        current[i] = states[i]->history[next[i]++].value;
      }
    }
    if (std::all_of(current.begin(), current.end(), [](const auto& word) { return word.has_value(); })) {
      WideSample sample{*earliest, {}};
      for (const auto& word : current) sample.words.push_back(*word);
      samples.push_back(std::move(sample));
    }
  }
  return samples;
}

void RegisterWatch::Clear() {
  registers_.clear();
  previous_ = {};
  hasPrevious_ = false;
  pending_.clear();
  packetsSincePending_ = 0;
}

void RegisterWatch::Take(std::uint8_t unit, Table table, std::uint16_t address, std::uint16_t value,
                         std::int64_t at) {
  const auto [entry, added] = registers_.try_emplace(RegisterKey{unit, table, address}.Packed());
  RegisterState& state = entry->second;
  state.lastSeen = at;
  if (!added && state.value == value) return;
  if (!added) ++state.changes;
  state.value = value;
  state.lastChanged = at;
  if (state.history.size() >= RegisterState::kHistoryLimit) {
    // Keep the first sample and drop the oldest tenth of the changes in one
    // go, so that trimming costs little on average.
    state.history.erase(state.history.begin() + 1,
                        state.history.begin() + 1 + RegisterState::kHistoryLimit / 10);
  }
  state.history.push_back({at, value});
}

void RegisterWatch::TakeWrite(const std::uint8_t* request, int count, std::int64_t at) {
  const std::uint8_t unit = request[0];
  const int fields = count - kCrcSize;
  switch (request[1]) {
    case kWriteSingleCoil:
      if (fields == 6) Take(unit, Table::kCoils, Word(request, 2), Word(request, 4) == 0xFF00 ? 1 : 0, at);
      break;
    case kWriteSingleRegister:
      if (fields == 6) Take(unit, Table::kHoldingRegisters, Word(request, 2), Word(request, 4), at);
      break;
    case kWriteMultipleCoils: {
      if (fields < 7) break;
      const int quantity = Word(request, 4);
      if (request[6] != fields - 7 || quantity > request[6] * 8) break;
      for (int i = 0; i < quantity && Word(request, 2) + i <= 0xFFFF; ++i) {
        Take(unit, Table::kCoils, static_cast<std::uint16_t>(Word(request, 2) + i),
             request[7 + i / 8] >> (i % 8) & 1, at);
      }
      break;
    }
    case kWriteMultipleRegisters:
    case kReadWriteMultipleRegisters: {
      const int head = request[1] == kWriteMultipleRegisters ? 2 : 6;  // 23 reads first
      if (fields < head + 5) break;
      const int start = Word(request, head);
      const int quantity = Word(request, head + 2);
      const int byteCount = request[head + 4];
      if (byteCount != fields - head - 5 || quantity * 2 != byteCount) break;
      for (int i = 0; i < quantity && start + i <= 0xFFFF; ++i) {
        Take(unit, Table::kHoldingRegisters, static_cast<std::uint16_t>(start + i),
             Word(request, head + 5 + 2 * i), at);
      }
      break;
    }
    default:
      break;
  }
}

void RegisterWatch::TakeExchange(const std::uint8_t* request, int requestCount,
                                 const std::uint8_t* answer, int answerCount, std::int64_t at) {
  if (answer[1] & kExceptionBit) return;
  TakeWrite(request, requestCount, at);
  const auto table = ReadTable(request[1]);
  if (!table || requestCount - kCrcSize < 6 || answerCount - kCrcSize < 3) return;
  const int start = Word(request, 2);
  const int quantity = Word(request, 4);
  const int byteCount = answer[2];
  if (byteCount != answerCount - kCrcSize - 3) return;
  const std::uint8_t* data = answer + 3;
  if (IsBitTable(*table)) {
    if (quantity > byteCount * 8) return;
    for (int i = 0; i < quantity && start + i <= 0xFFFF; ++i) {
      Take(answer[0], *table, static_cast<std::uint16_t>(start + i), data[i / 8] >> (i % 8) & 1, at);
    }
    return;
  }
  if (quantity * 2 != byteCount) return;
  for (int i = 0; i < quantity && start + i <= 0xFFFF; ++i) {
    Take(answer[0], *table, static_cast<std::uint16_t>(start + i), Word(data, 2 * i), at);
  }
}

void RegisterWatch::Add(const LoggedPacket& packet) {
  const FrameSummary frame = Summarize(packet.bytes, packet.count, hasPrevious_ ? &previous_ : nullptr);
  if (!frame.good) {
    if (!pending_.empty() && ++packetsSincePending_ >= kPairingReach) pending_.clear();
  } else if (frame.direction == Direction::Response) {
    if (!pending_.empty() && pending_[0] == frame.unit && (pending_[1] & 0x7F) == frame.function) {
      TakeExchange(pending_.data(), static_cast<int>(pending_.size()), packet.bytes, packet.count,
                   packet.endedAt);
    }
    pending_.clear();
  } else {
    pending_.clear();
    if (frame.direction == Direction::Request) {
      if (frame.unit == 0) {
        TakeWrite(packet.bytes, packet.count, packet.endedAt);  // a broadcast: no echo comes
      } else {
        pending_.assign(packet.bytes, packet.bytes + packet.count);
        packetsSincePending_ = 0;
      }
    }
  }
  // Summarize may compare the next frame with this one's first bytes;
  // keep a copy of those (see LineStatistics).
  std::copy_n(packet.bytes, std::clamp(packet.count, 0, kContextBytes), previousBytes_.begin());
  previous_ = frame;
  previous_.bytes = previousBytes_.data();
  hasPrevious_ = true;
}

}  // namespace tessaly::modbus
