#pragma once

#include "links/serial/port_names.h"

#include <string>
#include <vector>

namespace tessaly::extcap {

// Wireshark's questions answered in its extcap sentences.

// The program, then one interface per serial port (labelled as the port
// list labels it) and one for a TCP gateway.
std::string InterfacesAnswer(const std::vector<PortEntry>& ports);
// Link type 147, Modbus RTU as this program frames it.
std::string DltsAnswer(const std::string& interface);
// The line settings and interval offered in the capture options; the
// gateway's address too for the gateway's interface.
std::string ConfigAnswer(const std::string& interface);

// For a person who runs the program: what it is and how Wireshark uses it,
// and its name and version ("tessaly-extcap 1.5g"), each ending in a newline.
std::string HelpText();
std::string VersionAnswer();

// A port's label as Wireshark shows it, also in the names of the temporary
// files it captures into: no path separators, colons or characters a shell
// would take for its own.
std::string DisplayName(const std::string& port, const std::string& description);

}  // namespace tessaly::extcap
