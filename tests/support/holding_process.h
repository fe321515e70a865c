#pragma once

// A second process holding a device open, as another program reading the
// same port would: /bin/sleep with the device as its standard input. Ended
// by its process id when the test ends.

#include <QString>

#include <QTest>

#include <filesystem>
#include <stdexcept>
#include <string>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tessaly::test {

class HoldingProcess {
 public:
  explicit HoldingProcess(const QString& devicePath) {
    const std::string path = devicePath.toStdString();
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      // Only async-signal-safe calls between fork and exec.
      const int device = ::open(path.c_str(), O_RDWR | O_NOCTTY);
      if (device < 0 || ::dup2(device, 0) < 0) ::_exit(126);
      for (int fd = 3; fd < 1024; ++fd) ::close(fd);  // nothing else of ours
      ::execl("/bin/sleep", "sleep", "300", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    const std::filesystem::path proc = "/proc/" + std::to_string(pid_);
    const bool ready = QTest::qWaitFor(
        [&] {
          std::error_code error;
          return std::filesystem::read_symlink(proc / "fd" / "0", error).string() == path &&
                 std::filesystem::read_symlink(proc / "exe", error).filename() == "sleep";
        },
        10000);
    if (!ready) {
      End();
      throw std::runtime_error("the holding process did not start");
    }
  }
  ~HoldingProcess() { End(); }
  HoldingProcess(const HoldingProcess&) = delete;
  HoldingProcess& operator=(const HoldingProcess&) = delete;

  int Pid() const { return pid_; }

 private:
  void End() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  pid_t pid_ = -1;
};

}  // namespace tessaly::test
