#pragma once

#include <cstdint>
#include <initializer_list>

namespace tessaly {

// The serial settings as small enumerations. The numeric value of each
// enumerator is its index: text forms, stored values and list positions all
// follow this order, so it must never change.

enum TBaudRate : std::uint8_t {
  brCustom, br110, br300, br600, br1200, br2400, br4800, br9600,
  br14400, br19200, br38400, br56000, br57600, br115200, br128000, br256000,
};
inline constexpr int kBaudRateCount = 16;

enum TStopBits : std::uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
inline constexpr int kStopBitsCount = 3;

enum TDataBits : std::uint8_t { dbFive, dbSix, dbSeven, dbEight };
inline constexpr int kDataBitsCount = 4;

enum TParityBits : std::uint8_t { prNone, prOdd, prEven, prMark, prSpace };
inline constexpr int kParityCount = 5;

// Derived from the flow-control details, never held by the port itself.
enum TFlowControl : std::uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
inline constexpr int kFlowControlCount = 4;

enum TDTRFlowControl : std::uint8_t { dtrDisable, dtrEnable, dtrHandshake };
inline constexpr int kDTRControlCount = 3;

enum TRTSFlowControl : std::uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
inline constexpr int kRTSControlCount = 4;

enum TComEvent : std::uint8_t {
  evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full,
};
inline constexpr int kComEventCount = 10;

enum TComError : std::uint8_t { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };

// Groups of values SaveSettings and RestoreSettings handle; sgBasic is bit 1,
// sgFlowControl bit 2, and so on.
enum TStoredGroup : std::uint8_t { sgBasic, sgFlowControl, sgBuffer, sgTimeouts, sgParity, sgOthers };

enum TStoreType : std::uint8_t { skRegistry, skIniFile };

// Which setting a TComComboBox shows.
enum TComProperty : std::uint8_t { cpNone, cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl };

// A set of enumerators of one enumeration: bit n stands for the value n.
template <class Enum>
class TSmallSet {
 public:
  constexpr TSmallSet() = default;
  constexpr TSmallSet(std::initializer_list<Enum> members) {
    for (Enum member : members) Include(member);
  }
  static constexpr TSmallSet FromBits(std::uint32_t bits) {
    TSmallSet set;
    set.bits_ = bits;
    return set;
  }

  constexpr bool Contains(Enum member) const { return (bits_ & Bit(member)) != 0; }
  constexpr void Include(Enum member) { bits_ |= Bit(member); }
  constexpr void Exclude(Enum member) { bits_ &= ~Bit(member); }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr std::uint32_t Bits() const { return bits_; }
  friend constexpr bool operator==(TSmallSet, TSmallSet) = default;

 private:
  static constexpr std::uint32_t Bit(Enum member) { return std::uint32_t{1} << static_cast<unsigned>(member); }
  std::uint32_t bits_ = 0;
};

using TComEvents = TSmallSet<TComEvent>;
using TComErrors = TSmallSet<TComError>;
using TStoredGroups = TSmallSet<TStoredGroup>;

inline constexpr TComEvents kAllComEvents =
    TComEvents::FromBits((std::uint32_t{1} << kComEventCount) - 1);

}  // namespace tessaly
