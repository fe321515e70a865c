#pragma once

#include "core/packet_time.h"
#include "capture_file/capture_packet_stream.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessaly {

class CaptureLines;
class PacketLogModel;

// Packets of a capture file on their way to the log: read on one thread,
// appended on another. All bytes sit in one buffer, so a batch costs a few
// allocations, not one per packet.
struct CaptureBatch {
  struct Packet {
    std::uint32_t interfaceId;  // which line, for logs that show several
    PacketTime stamp;
    std::optional<PacketTime> firstByte;
    std::size_t offset;  // of its bytes in bytes
    int count;
  };
  // A note the file keeps with a packet (a link lost), shown before it.
  struct Note {
    std::size_t beforePacket;
    PacketTime at;
    QString text;
  };

  std::string bytes;
  std::vector<Packet> packets;
  std::vector<Note> notes;
  // Interfaces the file described since the batch before.
  std::vector<CapturedInterface> interfaces;
};

// Reads packets on into batch until it holds maxPackets or the file ends;
// false at the end of the file. Throws CaptureFileError at a damaged block
// or a packet that is no Modbus RTU frame; the packets before it stay in
// the batch. interfacesSeen: how many of the stream's interfaces earlier
// batches took.
bool ReadCaptureBatch(CapturePacketStream& stream, CaptureBatch& batch, std::size_t maxPackets,
                      std::size_t& interfacesSeen);

// Appends a batch's packets from first up to end, each after the notes
// that go before it, to the log; the notes after the last packet come with
// it. lines learns the batch's interfaces and each row's. Returns how many
// packets it appended: fewer than asked when it stopped at a packet of a
// line past those the log tells apart.
std::size_t AppendCaptureBatch(const CaptureBatch& batch, std::size_t first, std::size_t end, PacketLogModel& log,
                               CaptureLines& lines);
inline std::size_t AppendCaptureBatch(const CaptureBatch& batch, PacketLogModel& log, CaptureLines& lines) {
  return AppendCaptureBatch(batch, 0, batch.packets.size(), log, lines);
}

}  // namespace tessaly
