#pragma once

#include "core/packet_time.h"
#include "capture_file/capture_file_format.h"
#include "capture_file/capture_packet_stream.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

// What a capture file holds, as far as this program uses it, all in memory:
// for files of a known small size. A file of any size is read packet by
// packet through CapturePacketStream.
struct CapturedPacket {
  std::uint32_t interfaceId = 0;
  PacketTime stamp = 0;  // microseconds since the epoch: the packet's end
  std::vector<std::uint8_t> bytes;
  std::vector<std::string> comments;
  // From the first-byte comment this program writes, when there is one.
  std::optional<PacketTime> firstByte;
  std::optional<PacketTime> lastByte;
};

struct CaptureFileContents {
  CaptureFileFormat format = CaptureFileFormat::kPcapng;
  std::vector<CapturedInterface> interfaces;
  std::vector<CapturedPacket> packets;
  // Comments of blocks that carry no packet.
  std::vector<std::string> comments;
  // The file ends inside a block (a writer stopped mid-write, a file still
  // being written): everything before it was read, the torn block ignored.
  bool torn = false;
};

// Reads a whole capture file as CapturePacketStream does. Throws
// CaptureFileError naming the file and what is wrong with it.
CaptureFileContents ReadCaptureFile(const std::string& path);
// The same from the bytes of a file; name is only for messages.
CaptureFileContents ParseCaptureFile(std::string_view bytes, const std::string& name);

}  // namespace tessaly
