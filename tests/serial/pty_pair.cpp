#include "tests/serial/pty_pair.h"

#include <pty.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tessaly::test {

TPtyPair::TPtyPair() {
  char name[256] = {};
  if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
    throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
  }
  slavePath_ = QString::fromLocal8Bit(name);
}

TPtyPair::~TPtyPair() {
  HangUp();
  if (slave_ >= 0) ::close(slave_);
}

void TPtyPair::Send(std::string_view bytes) const {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t written = ::write(master_, bytes.data() + sent, bytes.size() - sent);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) throw std::runtime_error(std::string("write to pty: ") + std::strerror(errno));
    sent += static_cast<std::size_t>(written);
  }
}

void TPtyPair::HangUp() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

}  // namespace tessaly::test
