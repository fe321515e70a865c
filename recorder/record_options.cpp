#include "recorder/record_options.h"

#include <arpa/inet.h>

#include <charconv>
#include <string_view>

namespace tessaly::record {

const char* const kRecordUsage =
    "usage: tessaly-record (--serial PATH | --tcp ADDRESS:PORT | --settings) [options]\n"
    "Listens to a Modbus RTU line, cuts it into packets at its silences, and\n"
    "writes them to a capture file or as lines on standard output.\n"
    "The link:\n"
    "  --serial PATH       the serial port (/dev/ttyUSB0)\n"
    "  --tcp ADDRESS:PORT  a serial-to-Ethernet gateway (dotted IPv4 address)\n"
    "  --settings          the port or gateway and line settings the window\n"
    "                      program stored; options given beside it win\n"
    "  --baud N            bits per second (with --tcp: the line behind the gateway)\n"
    "  --data-bits 5|6|7|8  --parity none|odd|even|mark|space  --stop-bits 1|1.5|2\n"
    "  --interval MS       silence that ends a packet (default: from the baud rate)\n"
    "  --read-interval MS  silence that ends one serial read (default 10, as the\n"
    "                      window); with --cut reads, packets are never cut at\n"
    "                      shorter gaps\n"
    "  --cut silences|reads  where packets end: at every silence longer than the\n"
    "                      interval (the Modbus rule, the default), or as the\n"
    "                      window does by default, after a serial read's\n"
    "                      grouping (default with --settings: the stored choice)\n"
    "  --reconnect         when the port goes away, try again every second\n"
    "A second --serial or --tcp records a second line at the same time (both\n"
    "directions of a tap, both sides of a gateway) into one capture, in order;\n"
    "the line settings after it are the second line's:\n"
    "  --name NAME         the line's name in the output (default A, B)\n"
    "The output:\n"
    "  -w FILE             write a pcapng capture file (-w - : standard output)\n"
    "  --pcap              write classic pcap instead of pcapng\n"
    "  -b filesize:KB      start a new file after KB kilobytes (with -w)\n"
    "  -b duration:SECONDS start a new file after SECONDS (with -w)\n"
    "  -b interval:SECONDS start a new file when the clock reaches a whole multiple of\n"
    "                      SECONDS (3600: on the hour; with -w)\n"
    "  -b printname:WHERE  print each finished file's name on a line of its own to\n"
    "                      stdout, stderr or the file WHERE (with -w)\n"
    "  -b files:N          keep only the newest N files (with -b filesize, duration or interval)\n"
    "  -a duration:SECONDS stop after SECONDS\n"
    "  -c PACKETS          stop after PACKETS packets\n"
    "  --format text|csv   lines without -w (default text)\n"
    "  --decode            add the Modbus summary to each line\n"
    "  -q                  no status line on standard error\n"
    "  --help, --version\n"
    "Exit status: 0 stopped, 1 bad arguments, 2 link failure, 3 file failure.\n";

namespace {

bool ParseNumber(std::string_view text, std::uint64_t low, std::uint64_t high, std::uint64_t& out) {
  std::uint64_t value = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (status != std::errc() || end != text.data() + text.size() || value < low || value > high) return false;
  out = value;
  return true;
}

bool ParseInt(std::string_view text, int low, int high, std::optional<int>& out) {
  std::uint64_t value = 0;
  if (!ParseNumber(text, static_cast<std::uint64_t>(low), static_cast<std::uint64_t>(high), value)) return false;
  out = static_cast<int>(value);
  return true;
}

bool ParseParity(std::string_view text, std::optional<char>& out) {
  for (const auto& [name, letter] : {std::pair{"none", 'N'}, std::pair{"odd", 'O'}, std::pair{"even", 'E'},
                                     std::pair{"mark", 'M'}, std::pair{"space", 'S'}}) {
    if (text == name) {
      out = letter;
      return true;
    }
  }
  return false;
}

bool ParseStopBits(std::string_view text, std::optional<int>& out) {
  if (text == "1") out = 2;
  else if (text == "1.5") out = 3;
  else if (text == "2") out = 4;
  else return false;
  return true;
}

bool ParseTcpTarget(std::string_view text, LineOptions& options) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return false;
  const std::string address(text.substr(0, colon));
  in_addr parsed{};
  if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) return false;
  std::optional<int> port;
  if (!ParseInt(text.substr(colon + 1), 1, 65535, port)) return false;
  options.tcpAddress = address;
  options.tcpPort = *port;
  return true;
}

// "-b filesize:KB", "-b duration:SECONDS", "-b interval:SECONDS",
// "-b files:N", "-b printname:WHERE".
bool ParseRingSetting(std::string_view text, RecordOptions& options) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view key = text.substr(0, colon);
  const std::string_view value = text.substr(colon + 1);
  if (key == "filesize") return ParseNumber(value, 1, UINT32_MAX, options.rotateKilobytes);
  if (key == "duration") return ParseNumber(value, 1, 365ULL * 86400, options.rotateSeconds);
  if (key == "interval") return ParseNumber(value, 1, 365ULL * 86400, options.rotateInterval);
  if (key == "files") return ParseNumber(value, 1, 100'000, options.ringFiles);
  if (key == "printname" && !value.empty()) {
    options.printFinished = std::string(value);
    return true;
  }
  return false;
}

bool ParseAutostop(std::string_view text, RecordOptions& options) {
  constexpr std::string_view kDuration = "duration:";
  if (!text.starts_with(kDuration)) return false;
  return ParseNumber(text.substr(kDuration.size()), 1, 365ULL * 86400, options.stopSeconds);
}

}  // namespace

std::optional<RecordOptions> ParseRecordOptions(const std::vector<std::string>& arguments, std::string& error) {
  RecordOptions options;
  const auto fail = [&](std::string reason) {
    error = std::move(reason);
    return std::nullopt;
  };
  // The line that line settings apply to: the first, until a second link.
  LineOptions* line = &options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view flag = arguments[i];
    if (flag == "--help" || flag == "-h") {
      options.help = true;
      continue;
    }
    if (flag == "--version") { options.version = true; continue; }
    if (flag == "--settings") { options.fromSettings = true; continue; }
    if (flag == "--pcap") { options.fileFormat = CaptureFileFormat::kPcap; continue; }
    if (flag == "--decode") { options.decode = true; continue; }
    if (flag == "-q" || flag == "--quiet") { options.quiet = true; continue; }
    if (flag == "--reconnect") { options.reconnect = true; continue; }
    if (i + 1 >= arguments.size()) return fail("'" + std::string(flag) + "' needs a value");
    const std::string_view value = arguments[++i];
    bool ok = false;
    if (flag == "--serial" || flag == "--tcp") {
      if (line->link != LinkKind::kNone) {
        if (options.secondLine) return fail("give at most two lines: --serial or --tcp, twice");
        options.secondLine.emplace();
        line = &*options.secondLine;
      }
      if (flag == "--serial") {
        line->link = LinkKind::kSerial;
        line->serialPath = std::string(value);
        ok = !value.empty();
      } else {
        line->link = LinkKind::kTcp;
        ok = ParseTcpTarget(value, *line);
      }
    } else if (flag == "--name") {
      line->name = std::string(value);
      ok = !value.empty() && value.find_first_of("\r\n") == std::string_view::npos;
    } else if (flag == "--baud") {
      ok = ParseInt(value, 50, 4'000'000, line->baud);
    } else if (flag == "--data-bits") {
      ok = ParseInt(value, 5, 8, line->dataBits);
    } else if (flag == "--parity") {
      ok = ParseParity(value, line->parity);
    } else if (flag == "--stop-bits") {
      ok = ParseStopBits(value, line->stopHalfBits);
    } else if (flag == "--interval") {
      ok = ParseInt(value, 1, 60'000, line->intervalMs);
    } else if (flag == "--read-interval") {
      ok = ParseInt(value, 1, 1000, line->readIntervalMs);
    } else if (flag == "--cut") {
      ok = value == "silences" || value == "reads";
      line->cutAtSilences = value == "silences";
    } else if (flag == "-w") {
      if (!options.outputPath.empty()) return fail("give -w once");
      options.outputPath = std::string(value);
      ok = !value.empty();
    } else if (flag == "-b") {
      ok = ParseRingSetting(value, options);
    } else if (flag == "-a") {
      ok = ParseAutostop(value, options);
    } else if (flag == "-c") {
      ok = ParseNumber(value, 1, UINT64_MAX, options.stopPackets);
    } else if (flag == "--format") {
      ok = value == "text" || value == "csv";
      options.lineFormat = value == "csv" ? LineFormat::kCsv : LineFormat::kText;
    } else {
      return fail("unknown option '" + std::string(flag) + "'");
    }
    if (!ok) return fail("bad value '" + std::string(value) + "' for " + std::string(flag));
  }
  if (options.help || options.version) return options;
  if (options.link == LinkKind::kNone && !options.fromSettings) {
    return fail("say which line to listen to: --serial PATH, --tcp ADDRESS:PORT or --settings");
  }
  const bool rotates = options.rotateKilobytes > 0 || options.rotateSeconds > 0 || options.rotateInterval > 0;
  if ((rotates || options.ringFiles > 0 || !options.printFinished.empty()) &&
      (options.outputPath.empty() || options.outputPath == "-")) {
    return fail("-b needs -w with a file name");
  }
  if (options.ringFiles > 0 && !rotates) {
    return fail("-b files:N needs -b filesize:KB, -b duration:SECONDS or -b interval:SECONDS");
  }
  if (options.outputPath.empty() && options.fileFormat == CaptureFileFormat::kPcap) return fail("--pcap needs -w");
  if (options.secondLine) {
    if (options.fileFormat == CaptureFileFormat::kPcap) {
      return fail("--pcap cannot tell two lines apart: leave it out to write pcapng");
    }
    if (options.name.empty()) options.name = "A";
    if (options.secondLine->name.empty()) options.secondLine->name = "B";
    if (options.name == options.secondLine->name) return fail("give the two lines different names");
  }
  if (!options.outputPath.empty() && (options.decode || options.lineFormat != LineFormat::kText)) {
    return fail("--decode and --format are for lines on standard output, not with -w");
  }
  return options;
}

}  // namespace tessaly::record
