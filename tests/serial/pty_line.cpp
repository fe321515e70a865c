// Kept apart from pty_pair.cpp: termios2 cannot share a file with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <stdexcept>

#include "tests/serial/pty_pair.h"

namespace tessaly::test {

TLineReadback ReadLineConfiguration(int masterFd) {
  termios2 line{};
  if (ioctl(masterFd, TCGETS2, &line) != 0) throw std::runtime_error("TCGETS2 on the pty master failed");
  return {line.c_ispeed == line.c_ospeed ? line.c_ospeed : 0,
          (line.c_cflag & PARODD) != 0,
          (line.c_cflag & CMSPAR) != 0,
          (line.c_cflag & CSTOPB) != 0,
          (line.c_cflag & CRTSCTS) != 0,
          (line.c_iflag & IXON) != 0,
          (line.c_iflag & IXOFF) != 0,
          (line.c_iflag & INPCK) != 0,
          (line.c_lflag & (ICANON | ECHO | ISIG)) == 0 && (line.c_oflag & OPOST) == 0 && (line.c_iflag & ICRNL) == 0,
          line.c_cc[VSTART],
          line.c_cc[VSTOP]};
}

}  // namespace tessaly::test
