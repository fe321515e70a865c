#include "extcap/extcap_answers.h"

#include "capture_file/capture_file_format.h"
#include "extcap/extcap_request.h"
#include "presentation/product.h"

#include <array>

namespace tessaly::extcap {
namespace {

// Extcap sentences hold values in braces: a brace or backslash in a
// value would end it early.
std::string Braced(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '{' || c == '}' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

std::string VersionText() {
  const std::string version = kProductVersionText;
  return version.substr(version.rfind(' ') + 1);
}

void AddSelector(std::string& out, int number, const char* call, const char* display, const char* tooltip,
                 const std::vector<std::pair<std::string, std::string>>& values, const std::string& preset) {
  const std::string n = std::to_string(number);
  out += "arg {number=" + n + "}{call=" + call + "}{display=" + display + "}{type=selector}{tooltip=" +
         tooltip + "}{group=Line}\n";
  for (const auto& [value, shown] : values) {
    out += "value {arg=" + n + "}{value=" + value + "}{display=" + shown + "}{default=" +
           (value == preset ? "true" : "false") + "}\n";
  }
}

}  // namespace

std::string DisplayName(const std::string& port, const std::string& description) {
  std::string shown = "Tessaly " + port;
  if (!description.empty()) shown += " (" + description + ")";
  for (char& c : shown) {
    const bool harmless = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          c == ' ' || c == '.' || c == ',' || c == '-' || c == '_' || c == '+' || c == '(' ||
                          c == ')' || static_cast<unsigned char>(c) >= 0x80;
    if (!harmless) c = c == '/' ? '-' : '_';
  }
  return shown;
}

std::string InterfacesAnswer(const std::vector<PortEntry>& ports) {
  std::string out = "extcap {version=" + VersionText() + "}{help=" + kWebAddress + "}\n";
  for (const PortEntry& port : ports) {
    const std::string name = port.name.toStdString();
    out += "interface {value=" + Braced(kSerialPrefix + name) + "}{display=" +
           Braced(DisplayName(name, port.description.toStdString())) + "}\n";
  }
  out += std::string("interface {value=") + kGatewayInterface + "}{display=Tessaly TCP serial gateway}\n";
  return out;
}

std::string VersionAnswer() { return "tessaly-extcap " + VersionText() + "\n"; }

std::string HelpText() {
  return "Usage: tessaly-extcap --extcap-interfaces | --extcap-interface NAME --extcap-dlts\n"
         "       tessaly-extcap --extcap-interface NAME --extcap-config\n"
         "       tessaly-extcap --extcap-interface NAME --capture --fifo PATH [OPTION...]\n"
         "       tessaly-extcap --help | --version\n"
         "\n"
         "Tessaly's capture of a Modbus RTU line as a Wireshark interface. Wireshark\n"
         "runs it: to list each serial port (\"tessaly:ttyUSB0\") and a TCP serial\n"
         "gateway (\"tessaly-gateway\") as interfaces, to learn their link type (147)\n"
         "and capture options, and to capture into the FIFO it reads. Choose the\n"
         "line settings, and a gateway's address, in the interface's options in\n"
         "Wireshark. To record without Wireshark, use tessaly-record(1).\n";
}

std::string DltsAnswer(const std::string&) {
  return "dlt {number=" + std::to_string(kCaptureLinkType) + "}{name=USER0}{display=Modbus RTU, cut at line silences}\n";
}

std::string ConfigAnswer(const std::string& interface) {
  std::string out;
  int number = 0;
  const bool gateway = interface == kGatewayInterface;
  if (gateway) {
    out += "arg {number=" + std::to_string(number++) +
           "}{call=--gateway}{display=Gateway}{type=string}{required=true}"
           "{tooltip=The gateway's dotted IPv4 address and TCP port, as 10.0.0.5:502}"
           "{validation=^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+:[0-9]+$}{group=Link}\n";
  }
  std::vector<std::pair<std::string, std::string>> rates;
  // A list, not a field to type in: Debian 12's Wireshark refuses the
  // editable kind of selector. tessaly-record takes any other speed.
  for (const char* rate : {"1200", "2400", "4800", "9600", "14400", "19200", "38400", "57600", "115200"}) {
    rates.emplace_back(rate, rate);
  }
  AddSelector(out, number++, "--baud", gateway ? "Line speed behind the gateway" : "Baud rate",
              "Bits per second on the line; the end-of-packet silence follows from it", rates, "9600");
  // Any other speed, typed in: Debian 12's Wireshark has no list one may
  // type into.
  out += "arg {number=" + std::to_string(number++) +
         "}{call=--other-baud}{display=Other speed (bits per second)}{type=integer}{range=50,4000000}"
         "{tooltip=A speed the list does not offer, such as 31250 or 250000; empty: the list's}{group=Line}\n";
  if (!gateway) {
    AddSelector(out, number++, "--data-bits", "Data bits", "Bits of each character",
                {{"5", "5"}, {"6", "6"}, {"7", "7"}, {"8", "8"}}, "8");
    AddSelector(out, number++, "--parity", "Parity", "Parity bit of each character",
                {{"none", "None"}, {"odd", "Odd"}, {"even", "Even"}, {"mark", "Mark"}, {"space", "Space"}}, "none");
    AddSelector(out, number++, "--stop-bits", "Stop bits", "Stop bits of each character",
                {{"1", "1"}, {"1.5", "1.5"}, {"2", "2"}}, "1");
  }
  out += "arg {number=" + std::to_string(number++) +
         "}{call=--interval}{display=End-of-packet silence (ms)}{type=integer}{range=1,60000}"
         "{tooltip=The silence that ends a packet; empty: 35 bit times at the baud rate, plus 1 ms}{group=Line}\n";
  if (!gateway) {
    out += "arg {number=" + std::to_string(number++) +
           "}{call=--read-interval}{display=Serial read silence (ms)}{type=integer}{range=1,1000}"
           "{tooltip=A read ends after this silence; frames closer together share a packet. Empty: 10 ms, "
           "as the window reads}{group=Line}\n";
  }
  // Wireshark decodes one Modbus frame per packet: by default a packet ends
  // at every silence longer than the interval, so that a fast answer is not
  // read as a damaged frame joined to its request.
  AddSelector(out, number++, "--cut", "Packets end",
              "Where a packet ends: at every silence longer than the end-of-packet silence (the Modbus rule), "
              "or after a serial read, as the window does by default",
              {{"silences", "At the line's silences"}, {"reads", "After each serial read"}}, "silences");
  out += "arg {number=" + std::to_string(number++) +
         "}{call=--reconnect}{display=Reconnect when the link goes away}{type=boolflag}{default=true}"
         "{tooltip=Try again every second and note the gap in the capture}{group=Link}\n";
  return out;
}

}  // namespace tessaly::extcap
