// termios2 is the one interface that takes any rate in bits per second
// (BOTHER), so 14400, 56000, 128000, 256000 and custom rates are asked for
// exactly. Its header clashes with <termios.h>, which is why this file keeps
// to the kernel's definitions alone.
#include "links/serial/line_config_linux.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>

#include "links/serial/com_error.h"

namespace tessaly {
namespace {

tcflag_t CharacterSize(TDataBits bits) {
  switch (bits) {
    case dbFive: return CS5;
    case dbSix: return CS6;
    case dbSeven: return CS7;
    case dbEight: break;
  }
  return CS8;
}

tcflag_t ParityFlags(TParityBits parity) {
  switch (parity) {
    case prNone: break;
    case prOdd: return PARENB | PARODD;
    case prEven: return PARENB;
    // CMSPAR makes the parity bit constant: PARODD chooses mark (1).
    case prMark: return PARENB | CMSPAR | PARODD;
    case prSpace: return PARENB | CMSPAR;
  }
  return 0;
}

// Pseudo-terminals and some adapters have no modem lines and answer modem
// requests with ENOTTY or EINVAL. Their lines count as off and the request
// as done, so virtual ports open and work.
void SetModemLine(int handle, int line, bool on) {
  if (ioctl(handle, on ? TIOCMBIS : TIOCMBIC, &line) == 0) return;
  if (errno == ENOTTY || errno == EINVAL) return;
  throw EComPort(kComSetStateFailed, errno);
}

// USB adapters otherwise hold received bytes for their latency timer (often
// 16 ms), which merges packets separated by shorter silences. Devices
// without the request, or that refuse it, keep their own timing.
void AskForLowLatency(int handle) {
  serial_struct serial{};
  if (ioctl(handle, TIOCGSERIAL, &serial) != 0) return;
  if ((serial.flags & ASYNC_LOW_LATENCY) != 0) return;
  serial.flags |= ASYNC_LOW_LATENCY;
  (void)ioctl(handle, TIOCSSERIAL, &serial);
}

}  // namespace

termios2 LineTermios(termios2 line, const TLineSettings& settings) {
  // Raw bytes: nothing translated, echoed, stripped or taken as a signal;
  // reads never wait in the kernel (VMIN = VTIME = 0), the timeouts are ours.
  line.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                         IUCLC | IXON | IXOFF | IXANY | IMAXBEL | INPCK);
  line.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  line.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD |
                                         (CBAUD << IBSHIFT));
  // CLOCAL: a listener receives whatever the carrier-detect line says.
  line.c_cflag |= CREAD | CLOCAL | CharacterSize(settings.dataBits) | ParityFlags(settings.parity) | BOTHER |
                  (BOTHER << IBSHIFT);
  if (settings.stopBits != sbOneStopBit) line.c_cflag |= CSTOPB;
  if (settings.outCtsFlow || settings.controlRts == rtsHandshake) line.c_cflag |= CRTSCTS;
  if (settings.xonXoffOut) line.c_iflag |= IXON;
  if (settings.xonXoffIn) line.c_iflag |= IXOFF;
  if (settings.parityCheck) line.c_iflag |= INPCK;
  line.c_cc[VSTART] = settings.xonChar;
  line.c_cc[VSTOP] = settings.xoffChar;
  line.c_cc[VMIN] = 0;
  line.c_cc[VTIME] = 0;
  line.c_ispeed = static_cast<speed_t>(settings.bitsPerSecond);
  line.c_ospeed = static_cast<speed_t>(settings.bitsPerSecond);
  return line;
}

void ApplyLineSettings(int handle, const TLineSettings& settings) {
  // A rate of 0 would hang the line up (B0); a negative one has no meaning.
  if (settings.bitsPerSecond <= 0) throw EComPort(kComSetStateFailed, EINVAL);

  termios2 current{};
  if (ioctl(handle, TCGETS2, &current) != 0) throw EComPort(kComSetStateFailed, errno);
  const termios2 line = LineTermios(current, settings);
  if (ioctl(handle, TCSETS2, &line) != 0) throw EComPort(kComSetStateFailed, errno);

  SetModemLine(handle, TIOCM_DTR, settings.controlDtr != dtrDisable);
  // Under RTS handshaking the driver raises and lowers RTS itself.
  if (settings.controlRts != rtsHandshake) SetModemLine(handle, TIOCM_RTS, settings.controlRts == rtsEnable);
  AskForLowLatency(handle);
}

}  // namespace tessaly
