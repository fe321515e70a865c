#pragma once

#include "capture_file/capture_file_format.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessaly::record {

enum class LinkKind { kNone, kSerial, kTcp };
enum class LineFormat { kText, kCsv };

// One line to listen to, as the command line gives it. Settings left unset
// keep the port's own (the built-in ones, or with --settings the window
// program's stored ones).
struct LineOptions {
  LinkKind link = LinkKind::kNone;
  std::string serialPath;
  std::string tcpAddress;  // dotted IPv4
  int tcpPort = 0;
  std::optional<int> baud;
  std::optional<int> dataBits;   // 5 to 8
  std::optional<char> parity;    // 'N', 'O', 'E', 'M', 'S'
  std::optional<int> stopHalfBits;  // 2, 3 or 4
  std::optional<int> intervalMs;
  // The serial read's own silence: a read ends once the line has been quiet
  // this long (the window's 10 ms unless given), so gaps shorter than it
  // never cut a packet.
  std::optional<int> readIntervalMs;
  // How packets are cut (--cut): at every silence longer than the interval
  // (the Modbus rule: true), or by the serial read's grouping as the window
  // does by default (false). Unset: the Modbus rule, or with --settings the
  // window program's stored choice.
  std::optional<bool> cutAtSilences;
  // What the line is called in the output when two are recorded (--name);
  // "A" and "B" unless given.
  std::string name;
};

// What the recorder is asked to do, as the command line says it. The first
// line's settings are the options' own; a second --serial or --tcp adds a
// second line, recorded at the same time, which the line settings given
// after it apply to.
struct RecordOptions : LineOptions {
  static constexpr int kMostLines = 2;

  bool fromSettings = false;
  std::optional<LineOptions> secondLine;

  std::string outputPath;  // empty: lines on standard output; "-": the file there
  CaptureFileFormat fileFormat = CaptureFileFormat::kPcapng;
  // Rotation: a new file after this many kilobytes (1000 bytes) or seconds;
  // keep only the newest ringFiles.
  std::uint64_t rotateKilobytes = 0;
  std::uint64_t rotateSeconds = 0;
  // Files cut at whole multiples of this many seconds of the clock.
  std::uint64_t rotateInterval = 0;
  std::uint64_t ringFiles = 0;
  // Where each finished file's name is printed, one a line: "stdout",
  // "stderr" or a file it is added to; empty for nowhere.
  std::string printFinished;
  // Autostop: after this many seconds or packets.
  std::uint64_t stopSeconds = 0;
  std::uint64_t stopPackets = 0;

  LineFormat lineFormat = LineFormat::kText;
  bool decode = false;
  bool quiet = false;
  bool reconnect = false;
  bool help = false;
  bool version = false;
};

extern const char* const kRecordUsage;

// Parses the command line (without the program name); nothing on a mistake,
// with the reason in error.
std::optional<RecordOptions> ParseRecordOptions(const std::vector<std::string>& arguments, std::string& error);

}  // namespace tessaly::record
