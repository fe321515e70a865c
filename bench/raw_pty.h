#pragma once

// A pseudo-terminal in raw mode for the benches that feed a serial link:
// the bench writes to master, the link opens path.

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace tessaly::bench {

struct RawPty {
  int master = -1;
  int slave = -1;
  std::string path;
  RawPty() {
    char name[128] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) std::abort();
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    path = name;
  }
  ~RawPty() {
    ::close(master);
    ::close(slave);
  }
  RawPty(const RawPty&) = delete;
  RawPty& operator=(const RawPty&) = delete;
};

}  // namespace tessaly::bench
