#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessaly::traffic {

enum class Transport { Serial, Tcp };

struct TrafficOptions {
  Transport transport = Transport::Serial;
  std::uint64_t count = 0;      // frames to send; 0 sends until stopped
  int gapMs = 200;              // silence between frames
  int splitMs = 0;              // >0: each frame in two halves this far apart
  std::size_t frameSize = 0;    // 0: request and answer in turn
  std::uint8_t slave = 1;
  std::uint64_t corruptEvery = 0;  // >0: every Nth frame goes out with a wrong CRC
  std::uint16_t tcpPort = 0;    // 0: any free port, printed at start
  bool quiet = false;
  // A master polling more units in each cycle, after the slave: one that
  // never answers, one that answers with exception 2, and answers whose
  // first registers hold a 32-bit float (high word first) that changes.
  std::optional<std::uint8_t> absent;
  std::optional<std::uint8_t> refusing;
  bool floats = false;
};

inline constexpr const char* kTrafficUsage =
    "usage: tessaly-traffic serial|tcp [--count N] [--gap MS] [--split MS] [--size BYTES]\n"
    "                                  [--slave ID] [--corrupt N] [--port PORT] [--quiet]\n"
    "                                  [--absent ID] [--refusing ID] [--floats]\n"
    "  serial  write frames to a new pseudo-terminal; its path is printed\n"
    "  tcp     serve frames to every client of a listener on 127.0.0.1\n"
    "  --count N     send N frames, then stop (default: until interrupted)\n"
    "  --gap MS      silence between frames in milliseconds (default 200)\n"
    "  --split MS    send each frame in two halves, MS milliseconds apart\n"
    "  --size BYTES  frames of this many bytes (default: a master's read request\n"
    "                and the slave's answer in turn)\n"
    "  --slave ID    slave address, 1 to 247 (default 1)\n"
    "  --corrupt N   send every Nth frame with a wrong CRC (default: none)\n"
    "  --port PORT   TCP port to listen on (default: any free port)\n"
    "  --quiet       do not print each frame\n"
    "  --absent ID   also poll unit ID, which never answers\n"
    "  --refusing ID also poll unit ID, which answers with exception 2\n"
    "  --floats      registers 0 and 1 of the answers hold a changing 32-bit float\n";

// Parses the command line (without the program name); nothing on a mistake,
// with the reason in error.
std::optional<TrafficOptions> ParseTrafficOptions(int argc, const char* const* argv,
                                                  std::string& error);

}  // namespace tessaly::traffic
