#include "tests/support/pty_pair.h"

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <stdexcept>

namespace tessaly::test {

PtyPair::PtyPair() {
  char name[256] = {};
  if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
  slavePath_ = QString::fromLocal8Bit(name);
  // A program the test starts must not inherit the master: its copy would
  // keep the line up after HangUp.
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
}

PtyPair::~PtyPair() {
  HangUp();
  ::close(slave_);
}

void PtyPair::Send(std::string_view bytes) const {
  if (::write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    throw std::runtime_error("short write to the pty");
  }
}

void PtyPair::Send(const std::vector<std::uint8_t>& bytes) const {
  Send(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void PtyPair::HangUp() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

}  // namespace tessaly::test
