#pragma once

#include "core/packet_time.h"
#include "capture_file/capture_file_format.h"
#include "capture_file/pcapng_blocks.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

struct CapturedInterface {
  std::uint16_t linkType = 0;
  CaptureInterface link;
};

// One packet as the stream reads it. The views point into the stream's
// buffer and hold until the stream reads on: a file of millions of packets
// is read without an allocation per packet.
struct CapturedPacketView {
  // The interface's index among all the file's interfaces (each section
  // numbers its own from 0; they are counted on across sections here).
  std::uint32_t interfaceId = 0;
  PacketTime stamp = 0;  // microseconds since the epoch: the packet's end
  std::string_view bytes;
  // From the arrival option this program writes (or the comments it wrote
  // before), when there is one: the first byte's and the last byte's.
  std::optional<PacketTime> firstByte;
  std::optional<PacketTime> lastByte;
  // Which way it went, from its flags (pcapng), where the file says.
  CaptureInterface::Direction direction = CaptureInterface::Direction::kUnknown;

  // The packet's comments, the first-byte one included, in file order.
  template <typename Visit>
  void ForEachComment(Visit visit) const;

  // The block's options (pcapng only), for ForEachComment.
  std::string_view options;
  bool swapped = false;
};

// Reads a pcapng file (of one or more sections, either byte order, stamps of
// any decimal or binary resolution) or a classic pcap file packet by packet,
// through a buffer of its own: memory does not grow with the file. Blocks
// of kinds it does not know are skipped. A file that ends inside a block (a
// writer stopped mid-write, a file still being written) ends before that
// block. Every fault is a CaptureFileError naming the file and what is
// wrong with it.
class CapturePacketStream {
 public:
  // Opens the file and reads its header: throws when it cannot be read or
  // is no capture file.
  explicit CapturePacketStream(const std::string& path);
  // The same over bytes the caller keeps; name is only for messages.
  CapturePacketStream(std::string_view bytes, std::string name);
  ~CapturePacketStream();
  CapturePacketStream(const CapturePacketStream&) = delete;
  CapturePacketStream& operator=(const CapturePacketStream&) = delete;

  CaptureFileFormat Format() const { return format_; }

  // Reads on to the next packet: false at the end of the file. Throws at a
  // damaged block; what was read before it stays good.
  bool Next(CapturedPacketView& packet);

  // The interfaces described so far (all of them once Next gave false).
  const std::vector<CapturedInterface>& Interfaces() const { return interfaces_; }
  // Comments of blocks that carry no packet, read so far.
  const std::vector<std::string>& Comments() const { return comments_; }
  // What the statistics blocks read so far say each interface received
  // (by index among all the file's interfaces).
  const std::map<std::uint32_t, pcapng::InterfaceCounts>& Statistics() const { return statistics_; }
  // The file ended inside a block, which was left out.
  bool Torn() const { return torn_; }
  // How far the reading has come, and the file's size when it was opened,
  // for showing progress.
  std::uint64_t Offset() const { return dataOffset_ + at_; }
  std::uint64_t Size() const { return size_; }
  const std::string& Name() const { return name_; }

 private:
  void ReadHeader();
  bool NextPcapng(CapturedPacketView& packet);
  bool NextPcap(CapturedPacketView& packet);
  void ReadInterface(std::size_t body, std::size_t end);
  void ReadPacketOptions(CapturedPacketView& packet) const;
  // True when count bytes from the reading position are at hand, reading
  // more of the file if need be; false when the file ends before.
  bool Ensure(std::size_t count);
  // True when the file holds count more bytes from the reading position.
  bool FileHolds(std::uint64_t count);
  // The trailing length of a block of the given length at the reading
  // position, read without reading the block.
  std::uint32_t TrailingLength(std::uint32_t length);
  void SkipTo(std::uint64_t offset);
  [[noreturn]] void Fail(const std::string& what) const;

  std::uint16_t U16(std::size_t at) const;
  std::uint32_t U32(std::size_t at) const;

  std::string name_;
  int fd_ = -1;
  bool endOfFile_ = true;
  std::vector<char> buffer_;
  std::string_view data_;       // the bytes at hand
  std::size_t at_ = 0;          // the reading position in data_
  std::uint64_t dataOffset_ = 0;  // where data_ starts in the file
  std::uint64_t size_ = 0;
  bool swapped_ = false;
  CaptureFileFormat format_ = CaptureFileFormat::kPcapng;
  bool pcapNanoseconds_ = false;
  std::size_t pcapRecordHeader_ = pcap::kRecordHeaderSize;
  bool torn_ = false;
  std::vector<CapturedInterface> interfaces_;
  std::vector<std::uint64_t> unitsPerSecond_;  // of all interfaces, by index
  std::uint32_t sectionBase_ = 0;  // the index of the current section's first interface
  std::vector<std::string> comments_;
  std::map<std::uint32_t, pcapng::InterfaceCounts> statistics_;
};

// The option values of a pcapng block, each code with its value.
struct CaptureOption {
  std::uint16_t code;
  std::string_view value;
};
// Reads the options in bytes (of a block in the given byte order) one by
// one: returns false after the last.
bool NextCaptureOption(std::string_view& bytes, bool swapped, CaptureOption& option);

template <typename Visit>
void CapturedPacketView::ForEachComment(Visit visit) const {
  std::string_view rest = options;
  CaptureOption option{};
  while (NextCaptureOption(rest, swapped, option)) {
    if (option.code == 1) visit(option.value);  // opt_comment
  }
}

// What the start-up question about an unfinished capture needs, counted
// without keeping the packets.
struct CaptureSpan {
  std::uint64_t packets = 0;
  PacketTime start = 0;  // the first packet's first byte (or its end)
  PacketTime end = 0;    // the last packet's end
};
CaptureSpan CountCapture(CapturePacketStream& stream);

}  // namespace tessaly
