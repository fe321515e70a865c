#pragma once

#include "capture_file/capture_file_format.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

// The blocks of a pcapng file and the headers and records of a classic pcap
// file, appended to a byte buffer in little-endian order. Stamps are
// microseconds since the Unix epoch, the unit packets are stamped in; each
// interface says so (if_tsresol 6).
namespace pcapng {

// Block types and option codes this program writes and reads.
inline constexpr std::uint32_t kSectionHeader = 0x0A0D0D0A;
inline constexpr std::uint32_t kInterfaceDescription = 1;
inline constexpr std::uint32_t kEnhancedPacket = 6;
inline constexpr std::uint32_t kInterfaceStatistics = 5;
inline constexpr std::uint32_t kByteOrderMagic = 0x1A2B3C4D;
inline constexpr std::uint16_t kOptEnd = 0;
inline constexpr std::uint16_t kOptComment = 1;
inline constexpr std::uint16_t kShbHardware = 2;
inline constexpr std::uint16_t kShbOs = 3;
inline constexpr std::uint16_t kShbUserApplication = 4;
inline constexpr std::uint16_t kEpbFlags = 2;
inline constexpr std::uint32_t kEpbInbound = 1;   // epb_flags bits 0-1
inline constexpr std::uint32_t kEpbOutbound = 2;
inline constexpr std::uint16_t kIsbStartTime = 2;
inline constexpr std::uint16_t kIsbIfRecv = 4;
// A custom option of binary data that a tool copying packets may keep.
inline constexpr std::uint16_t kCustomBinaryCopyable = 2989;
// The enterprise number custom options are written under: the one reserved
// for documentation and examples (RFC 5612), as the project has none of its
// own yet; a reader that does not know it skips the option.
inline constexpr std::uint32_t kEnterpriseNumber = 32473;
inline constexpr std::uint16_t kIfName = 2;
inline constexpr std::uint16_t kIfDescription = 3;
inline constexpr std::uint16_t kIfSpeed = 8;
inline constexpr std::uint16_t kIfTsresol = 9;
inline constexpr std::uint16_t kIsbEndTime = 3;

// The section header: the application, and the operating system and the
// machine it runs on.
void AppendSectionHeader(std::string& out, std::string_view application);
void AppendInterface(std::string& out, const CaptureInterface& link);
// One packet on interface 0..n, stamped with stampMicros (its end); its
// first byte's arrival, when given, in the compact arrival option, with its
// last byte's when that is given too;
// direction in its flags, where known; each comment an opt_comment.
void AppendPacket(std::string& out, std::uint32_t interfaceId, std::int64_t stampMicros,
                  const std::uint8_t* bytes, int count, const std::vector<std::string>& comments,
                  std::optional<std::int64_t> firstByteMicros = std::nullopt,
                  CaptureInterface::Direction direction = CaptureInterface::Direction::kUnknown,
                  std::optional<std::int64_t> lastByteMicros = std::nullopt);
// What one interface received, for its statistics block.
struct InterfaceCounts {
  std::int64_t firstMicros = 0;  // the first packet's stamp
  std::int64_t lastMicros = 0;
  std::uint64_t packets = 0;
};
// A statistics block of interface 0..n at stampMicros: with counts, when
// the interface's capture started and ended and how many packets it took;
// comments are what is said when no packet follows to carry it.
void AppendStatistics(std::string& out, std::uint32_t interfaceId, std::int64_t stampMicros,
                      const std::vector<std::string>& comments, const InterfaceCounts* counts = nullptr);

// The first-byte option's value: microseconds from the first byte's arrival
// to the packet's end, 32 bits; nothing for a time it cannot hold.
std::optional<std::uint32_t> FirstByteOffset(std::int64_t endMicros, std::int64_t firstByteMicros);

}  // namespace pcapng

namespace pcap {
inline constexpr std::uint32_t kMagicMicroseconds = 0xA1B2C3D4;
inline constexpr std::uint32_t kMagicNanoseconds = 0xA1B23C4D;
// The "modified" variant some tools write: microsecond stamps, and 8 more
// bytes in each record's header (interface, protocol, packet type).
inline constexpr std::uint32_t kMagicModified = 0xA1B2CD34;
inline constexpr int kModifiedRecordHeaderSize = 24;
inline constexpr int kHeaderSize = 24;
inline constexpr int kRecordHeaderSize = 16;
// Each writes at out, which must have room (kHeaderSize, or
// kRecordHeaderSize and count), and returns the end of what it wrote: the
// window's Save writes rows in place this way.
char* WriteFileHeader(char* out, std::uint32_t snapLength);
char* WriteRecord(char* out, std::int64_t stampMicros, const std::uint8_t* bytes, int count);
void AppendFileHeader(std::string& out, std::uint32_t snapLength = kCaptureSnapLength);
void AppendRecord(std::string& out, std::int64_t stampMicros, const std::uint8_t* bytes, int count);
}  // namespace pcap

}  // namespace tessaly
