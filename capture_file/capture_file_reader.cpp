#include "capture_file/capture_file_reader.h"

namespace tessaly {
namespace {

CaptureFileContents ReadAll(CapturePacketStream& stream) {
  CaptureFileContents contents;
  contents.format = stream.Format();
  CapturedPacketView view;
  while (stream.Next(view)) {
    CapturedPacket packet;
    packet.interfaceId = view.interfaceId;
    packet.stamp = view.stamp;
    packet.bytes.assign(view.bytes.begin(), view.bytes.end());
    packet.firstByte = view.firstByte;
    packet.lastByte = view.lastByte;
    view.ForEachComment([&packet](std::string_view comment) { packet.comments.emplace_back(comment); });
    contents.packets.push_back(std::move(packet));
  }
  contents.interfaces = stream.Interfaces();
  contents.comments = stream.Comments();
  contents.torn = stream.Torn();
  return contents;
}

}  // namespace

CaptureFileContents ParseCaptureFile(std::string_view data, const std::string& name) {
  CapturePacketStream stream(data, name);
  return ReadAll(stream);
}

CaptureFileContents ReadCaptureFile(const std::string& path) {
  CapturePacketStream stream(path);
  return ReadAll(stream);
}

}  // namespace tessaly
