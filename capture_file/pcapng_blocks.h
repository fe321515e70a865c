#pragma once

#include "capture_file/capture_file_format.h"

#include <cstdint>
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
inline constexpr std::uint16_t kShbUserApplication = 4;
inline constexpr std::uint16_t kIfName = 2;
inline constexpr std::uint16_t kIfDescription = 3;
inline constexpr std::uint16_t kIfSpeed = 8;
inline constexpr std::uint16_t kIfTsresol = 9;
inline constexpr std::uint16_t kIsbEndTime = 3;

void AppendSectionHeader(std::string& out, std::string_view application);
void AppendInterface(std::string& out, const CaptureInterface& link);
// One packet on interface 0..n, stamped with stampMicros; each comment
// becomes an opt_comment.
void AppendPacket(std::string& out, std::uint32_t interfaceId, std::int64_t stampMicros,
                  const std::uint8_t* bytes, int count, const std::vector<std::string>& comments);
// A block that carries no packet, only comments and a time: what is said
// when no packet follows to carry it (statistics of interface 0..n).
void AppendStatistics(std::string& out, std::uint32_t interfaceId, std::int64_t stampMicros,
                      const std::vector<std::string>& comments);

}  // namespace pcapng

namespace pcap {
inline constexpr std::uint32_t kMagicMicroseconds = 0xA1B2C3D4;
inline constexpr std::uint32_t kMagicNanoseconds = 0xA1B23C4D;
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
