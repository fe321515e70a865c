#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessaly {

// The two capture file formats readers such as Wireshark open: pcapng, which
// keeps each link's description and comments beside the packets, and the
// classic pcap, which keeps bytes and stamps only.
enum class CaptureFileFormat { kPcapng, kPcap };

// The link type of every packet this program writes: the first of the link
// types reserved for private use ("user 0"); a reader is told to decode it
// as Modbus RTU.
inline constexpr std::uint16_t kCaptureLinkType = 147;

// The largest packet a file declares it may hold (its snapshot length); the
// framer's packets are far smaller.
inline constexpr std::uint32_t kCaptureSnapLength = 65535;

// One link a capture listens to, as a pcapng file describes it.
struct CaptureInterface {
  std::string name;         // the port, or the gateway's address:port
  std::string description;  // the line settings and the interval in force
  std::optional<std::uint64_t> bitsPerSecond;
  // In a capture of several lines at once, the name the user gave this
  // one ("A", "master"); kept in a comment of the interface (see
  // LineNameComment). Empty in a capture of one line, and so left out of
  // the initializers that describe one.
  std::string lineName{};
  // Which way every packet of this link goes, where the line tells: the
  // line the user named the master's carries requests, sent by the master
  // (outbound), the other answers, received by it (inbound).
  enum class Direction { kUnknown, kInbound, kOutbound };
  Direction direction = Direction::kUnknown;
};

// "line master": the comment that names an interface's line.
std::string LineNameComment(const std::string& lineName);
// The line's name from such a comment; nothing from any other.
std::optional<std::string> ParseLineNameComment(const std::string& comment);

}  // namespace tessaly
