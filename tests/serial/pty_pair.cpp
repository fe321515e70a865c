#include "tests/serial/pty_pair.h"

#include <pty.h>
#include <unistd.h>

#include <stdexcept>

namespace tessaly::test {

TPtyPair::TPtyPair() {
  char name[256] = {};
  if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
  slavePath_ = QString::fromLocal8Bit(name);
}

TPtyPair::~TPtyPair() {
  HangUp();
  ::close(slave_);
}

void TPtyPair::Send(std::string_view bytes) const {
  if (::write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    throw std::runtime_error("short write to the pty");
  }
}

void TPtyPair::HangUp() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

}  // namespace tessaly::test
