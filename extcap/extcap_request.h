#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tessaly::extcap {

// What Wireshark asks of an external capture program, one question per run.
// --help and --version answer a person, as a command does.
enum class ExtcapAction { kInterfaces, kDlts, kConfig, kCapture, kHelp, kVersion };

struct ExtcapRequest {
  ExtcapAction action = ExtcapAction::kInterfaces;
  std::string interface;  // --extcap-interface
  std::string fifo;       // --fifo, for a capture
  // The capture options Wireshark passes back as the configuration offered
  // them (--baud 9600, --reconnect...), for the recorder.
  std::vector<std::string> captureOptions;
};

// The interface names this program offers: "tessaly:<port>" for a serial
// port as the port list names it, and one for a TCP gateway.
inline constexpr char kSerialPrefix[] = "tessaly:";
inline constexpr char kGatewayInterface[] = "tessaly-gateway";

// Parses Wireshark's command line (without the program name); nothing on a
// mistake, with the reason in error. Options Wireshark adds that change
// nothing here (its version, a capture filter, debugging) are accepted.
std::optional<ExtcapRequest> ParseExtcapRequest(const std::vector<std::string>& arguments, std::string& error);

// The recorder's command line for a capture: the interface's link, the
// options given, the FIFO as its pcapng output, no status line.
std::optional<std::vector<std::string>> RecorderArgumentsFor(const ExtcapRequest& request, std::string& error);

}  // namespace tessaly::extcap
