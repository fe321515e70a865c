#pragma once

#include "modbus/address_notation.h"
#include "modbus/conversation.h"
#include "modbus/line_statistics.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace tessaly::modbus {

// One register or bit as the log shows it.
struct RegisterKey {
  std::uint8_t unit = 0;
  Table table = Table::kHoldingRegisters;
  std::uint16_t address = 0;

  std::uint32_t Packed() const {
    return static_cast<std::uint32_t>(unit) << 24 | static_cast<std::uint32_t>(table) << 16 | address;
  }
  static RegisterKey Unpacked(std::uint32_t packed) {
    return {static_cast<std::uint8_t>(packed >> 24), static_cast<Table>(packed >> 16 & 0xFF),
            static_cast<std::uint16_t>(packed & 0xFFFF)};
  }
};

// A value at a moment (the end of the packet that told it).
struct RegisterSample {
  std::int64_t at = 0;
  std::uint16_t value = 0;
};

// What is known of one register: its last value, when it was last seen and
// last changed, how often it changed, and its recent changes. The history
// keeps the first value and the latest changes, at most kHistoryLimit
// samples, so a register costs a bounded amount of memory however long the
// capture.
struct RegisterState {
  static constexpr std::size_t kHistoryLimit = 2048;

  std::uint16_t value = 0;
  std::int64_t lastSeen = 0;
  std::int64_t lastChanged = 0;  // the first sighting counts as the first change
  std::uint64_t changes = 0;     // changes after the first sighting
  std::vector<RegisterSample> history;
};

// Every register and bit that answers to reads and writes tell, taken
// packet by packet as the log grows: read answers give the values of the
// addresses their request asked for; writes count once their unit echoed
// them (a write answered with an exception changed nothing), broadcast
// writes as they are sent.
class RegisterWatch {
 public:
  void Add(const LoggedPacket& packet);
  void Clear();

  const std::map<std::uint32_t, RegisterState>& Registers() const { return registers_; }
  const RegisterState* Find(RegisterKey key) const;
  // The words at key and the count - 1 addresses after it, where all are
  // known; nothing otherwise.
  std::optional<std::vector<std::uint16_t>> Words(RegisterKey key, int count) const;

  // The values of the count registers from key over time, one sample
  // (a combined value, most significant word first as stored) each time one
  // of them changed, once all of them are known.
  struct WideSample {
    std::int64_t at = 0;
    std::vector<std::uint16_t> words;
  };
  std::vector<WideSample> History(RegisterKey key, int count) const;

 private:
  void Take(std::uint8_t unit, Table table, std::uint16_t address, std::uint16_t value, std::int64_t at);
  void TakeExchange(const std::uint8_t* request, int requestCount, const std::uint8_t* answer,
                    int answerCount, std::int64_t at);
  void TakeWrite(const std::uint8_t* request, int count, std::int64_t at);

  std::map<std::uint32_t, RegisterState> registers_;
  std::array<std::uint8_t, kContextBytes> previousBytes_{};  // first bytes of the packet before
  FrameSummary previous_;
  bool hasPrevious_ = false;
  // The last request while its answer may still come.
  std::vector<std::uint8_t> pending_;
  int packetsSincePending_ = 0;
};

}  // namespace tessaly::modbus
