// Kept apart from pty_pair.cpp: termios2 cannot share a file with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "tests/serial/pty_pair.h"

namespace tessaly::test {

TLineReadback ReadLineConfiguration(int masterFd) {
  termios2 line{};
  if (ioctl(masterFd, TCGETS2, &line) != 0) {
    throw std::runtime_error(std::string("TCGETS2: ") + std::strerror(errno));
  }
  TLineReadback readback;
  readback.inputSpeed = line.c_ispeed;
  readback.outputSpeed = line.c_ospeed;
  switch (line.c_cflag & CSIZE) {
    case CS5: readback.characterBits = 5; break;
    case CS6: readback.characterBits = 6; break;
    case CS7: readback.characterBits = 7; break;
    default: readback.characterBits = 8; break;
  }
  readback.oddParity = (line.c_cflag & PARODD) != 0;
  readback.stickParity = (line.c_cflag & CMSPAR) != 0;
  readback.twoStopBits = (line.c_cflag & CSTOPB) != 0;
  readback.rtsCts = (line.c_cflag & CRTSCTS) != 0;
  readback.xonOutput = (line.c_iflag & IXON) != 0;
  readback.xoffInput = (line.c_iflag & IXOFF) != 0;
  readback.parityCheck = (line.c_iflag & INPCK) != 0;
  readback.raw = (line.c_lflag & (ICANON | ECHO | ISIG)) == 0 && (line.c_oflag & OPOST) == 0 &&
                 (line.c_iflag & ICRNL) == 0;
  readback.startChar = line.c_cc[VSTART];
  readback.stopChar = line.c_cc[VSTOP];
  return readback;
}

}  // namespace tessaly::test
