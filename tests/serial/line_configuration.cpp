// Kept apart: termios2 cannot share a file with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <stdexcept>

#include "tests/serial/port_fixture.h"

namespace tessaly::test {

std::string LineConfiguration(int masterFd) {
  termios2 line{};
  if (ioctl(masterFd, TCGETS2, &line) != 0) throw std::runtime_error("TCGETS2 on the pty master failed");
  std::string text = line.c_ispeed == line.c_ospeed ? std::to_string(line.c_ospeed) : "split-speed";
  const auto flag = [&text](bool set, const char* name) {
    if (set) text = text + ' ' + name;
  };
  flag(line.c_cflag & PARODD, "PARODD");
  flag(line.c_cflag & CMSPAR, "CMSPAR");
  flag(line.c_cflag & CSTOPB, "CSTOPB");
  flag(line.c_cflag & CRTSCTS, "CRTSCTS");
  flag(line.c_iflag & IXON, "IXON");
  flag(line.c_iflag & IXOFF, "IXOFF");
  flag(line.c_iflag & INPCK, "INPCK");
  flag((line.c_lflag & (ICANON | ECHO | ISIG)) || (line.c_oflag & OPOST) || (line.c_iflag & ICRNL), "cooked");
  if (line.c_cc[VSTART] != 17) text += " VSTART=" + std::to_string(line.c_cc[VSTART]);
  if (line.c_cc[VSTOP] != 19) text += " VSTOP=" + std::to_string(line.c_cc[VSTOP]);
  return text;
}

}  // namespace tessaly::test
