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

}  // namespace tessaly::extcap
