#pragma once

// termios2 comes from the kernel's header, which clashes with <termios.h>:
// a file that includes this one must not include that.
#include <asm/termbits.h>

#include "links/serial/com_device.h"

namespace tessaly {

// Puts an open serial device into raw mode with the given line settings and
// sets its DTR and RTS lines; EComPort code 7 with errno on failure.
//
// What Linux cannot ask for, and what is asked instead:
// - one and a half stop bits: two (a UART sending 5-bit characters with two
//   stop bits sends one and a half);
// - output held while DSR is off, input ignored while DSR is off, DTR input
//   handshaking, continuing output after XOFF: no such modes; DTR handshaking
//   keeps DTR on so the other end may send;
// - RTS toggling while sending: RTS stays off, as nothing is ever sent;
// - replacing bytes with a parity error by a chosen byte: with parity checking
//   on, the kernel reads such a byte as 0, whatever the replacement;
// - dropping received zero bytes, the event character, XON/XOFF limits: no
//   counterpart; the values are kept and nothing is applied.
// Where a device's driver rounds the rate or cannot do a character size or
// parity, it adjusts the configuration silently, as Linux drivers do.
void ApplyLineSettings(int handle, const TLineSettings& settings);

// The line configuration ApplyLineSettings asks for, computed from the one the
// device had: raw mode and the settings' rate, character size, parity, stop
// bits and handshaking; flags the settings do not govern are kept. No device
// is touched.
termios2 LineTermios(termios2 current, const TLineSettings& settings);

}  // namespace tessaly
