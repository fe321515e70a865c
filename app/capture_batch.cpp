#include "app/capture_batch.h"

#include "app/capture_lines.h"
#include "capture_file/capture_open.h"
#include "log/packet_log_model.h"
#include "log/packet_store.h"
#include "capture_file/capture_file_writer.h"

#include <algorithm>

namespace tessaly {
namespace {

bool CarriesModbusRtu(std::uint16_t linkType) {
  return linkType >= kFirstUserLinkType && linkType <= kLastUserLinkType;
}

// Only the interfaces that carry packets count: a file may describe a link
// it never captured on.
void CheckCarriesFrames(const CapturePacketStream& stream, const CapturedPacketView& packet) {
  const std::vector<CapturedInterface>& interfaces = stream.Interfaces();
  if (packet.interfaceId >= interfaces.size()) {
    throw CaptureFileError("Cannot read the capture " + stream.Name() +
                           ": a packet names an interface the file does not describe");
  }
  const std::uint16_t linkType = interfaces[packet.interfaceId].linkType;
  if (!CarriesModbusRtu(linkType)) {
    throw CaptureFileError("Cannot read the capture " + stream.Name() + ": its packets are of link type " +
                           std::to_string(linkType) + ", not Modbus RTU frames (link types 147 to 162)");
  }
  // The log's rows hold at most this much; no Modbus frame comes near it.
  if (packet.bytes.size() > static_cast<std::size_t>(PacketStore::kMaxPacketSize)) {
    throw CaptureFileError("Cannot read the capture " + stream.Name() + ": a packet of " +
                           std::to_string(packet.bytes.size()) + " bytes is longer than a row can hold (" +
                           std::to_string(PacketStore::kMaxPacketSize) + " bytes)");
  }
}

}  // namespace

bool ReadCaptureBatch(CapturePacketStream& stream, CaptureBatch& batch, std::size_t maxPackets,
                      std::size_t& interfacesSeen) {
  CapturedPacketView packet;
  while (batch.packets.size() < maxPackets) {
    if (!stream.Next(packet)) return false;
    while (interfacesSeen < stream.Interfaces().size()) batch.interfaces.push_back(stream.Interfaces()[interfacesSeen++]);
    CheckCarriesFrames(stream, packet);
    packet.ForEachComment([&](std::string_view comment) {
      if (!ParseFirstByteComment(comment)) {
        batch.notes.push_back({batch.packets.size(), packet.stamp,
                               QString::fromUtf8(comment.data(), static_cast<int>(comment.size()))});
      }
    });
    // The last byte's time is not kept, and the end (after the silence) is
    // no stand-in for it: silences and turnarounds would come out short by
    // the end-of-packet interval. Without it they are worked out from the
    // packets' ends and the line's speed.
    batch.packets.push_back({packet.interfaceId, packet.stamp, packet.bytes.empty() ? std::nullopt : packet.firstByte,
                             batch.bytes.size(), static_cast<int>(packet.bytes.size())});
    batch.bytes.append(packet.bytes);
  }
  return true;
}

std::size_t AppendCaptureBatch(const CaptureBatch& batch, std::size_t first, std::size_t end, PacketLogModel& log,
                               CaptureLines& lines) {
  if (first == 0 && !batch.interfaces.empty()) {
    for (const CapturedInterface& link : batch.interfaces) lines.AddInterface(link);
    // A file of two lines shows each row's line, as its capture did.
    if (lines.Several() && lines.Names() != log.LineNames()) log.SetLineNames(lines.Names());
  }
  auto note = std::lower_bound(batch.notes.begin(), batch.notes.end(), first,
                               [](const CaptureBatch::Note& note, std::size_t packet) { return note.beforePacket < packet; });
  for (std::size_t i = first; i < end; ++i) {
    for (; note != batch.notes.end() && note->beforePacket == i; ++note) log.AppendMark(note->text, note->at);
    const CaptureBatch::Packet& packet = batch.packets[i];
    const int line = lines.LineOf(packet.interfaceId);
    if (line < 0) return i - first;
    lines.NoteRow(log.PacketCount(), packet.interfaceId);
    log.AppendCapturedPacket(reinterpret_cast<const std::uint8_t*>(batch.bytes.data()) + packet.offset, packet.count,
                             packet.stamp, packet.firstByte, line);
  }
  if (end == batch.packets.size()) {
    for (; note != batch.notes.end(); ++note) log.AppendMark(note->text, note->at);
  }
  return end - first;
}

}  // namespace tessaly
