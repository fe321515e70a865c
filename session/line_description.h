#pragma once

#include <QString>

#include <optional>

namespace tessaly {

class TCustomComPort;
class TClientSocket;

// The line a capture listens to, as far as the link can tell: where, how
// fast, how characters are framed, and the end-of-packet interval that cut
// it into packets. What it holds is what a reader of the capture needs to
// turn bytes into times on the line.
struct LineDescription {
  enum class Link { Serial, Tcp };

  Link link = Link::Serial;
  // The port name as the user chose it, or the gateway's "address:port".
  QString where;
  // Bits per second on the line; nothing where the link does not say (a
  // gateway whose serial side was not given).
  std::optional<int> bitsPerSecond;
  int dataBits = 8;
  // 'N', 'E', 'O', 'M' or 'S'.
  char parity = 'N';
  // In halves, so that one and a half stop bits are exact: 2, 3 or 4.
  int stopHalfBits = 2;
  int intervalMs = 1;
  // The name the user gave the line when a capture listens to several at
  // once ("A", "master"); empty when it listens to one.
  QString name;

  // One character's time on the line in microseconds: start bit, data bits,
  // parity bit and stop bits at the line's speed; nothing when the speed is
  // not known.
  std::optional<double> CharacterMicroseconds() const;

  // "ttyUSB0 9600 8N1, packets end after 4 ms of silence", or for a
  // gateway "TCP 10.0.0.5:502, line speed unknown, ...".
  QString Text() const;

  bool operator==(const LineDescription&) const = default;
};

// The line of the serial port as it is set now, and of the TCP gateway
// (lineBitsPerSecond: the serial speed behind the gateway, if the user gave
// it), each with the interval in force.
LineDescription SerialLineOf(const TCustomComPort& port, int intervalMs);
LineDescription TcpLineOf(const TClientSocket& socket, std::optional<int> lineBitsPerSecond, int intervalMs);

}  // namespace tessaly
