#pragma once

#include <QString>

namespace tessaly {

class TCustomComPort;
class TClientSocket;

inline constexpr const char* kConnectedText = "Connected";
inline constexpr const char* kNotConnectedText = "No Connect";

// "COM1,9600,8,None,1,None": port, baud rate, data bits, parity, stop bits
// and flow control, each in its text form.
QString SerialStatusText(const TCustomComPort& port);

// "192.168.0.248:4001".
QString TcpStatusText(const TClientSocket& socket);

}  // namespace tessaly
