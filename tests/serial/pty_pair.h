#pragma once

#include <QString>

#include <string_view>

namespace tessaly::test {

// A pseudo-terminal for the port to open; the test plays the other end of
// the line through the master side. The slave stays open here too, so the
// line lives until the test hangs up.
class TPtyPair {
 public:
  TPtyPair();
  ~TPtyPair();
  TPtyPair(const TPtyPair&) = delete;
  TPtyPair& operator=(const TPtyPair&) = delete;

  const QString& SlavePath() const { return slavePath_; }
  int Master() const { return master_; }
  void Send(std::string_view bytes) const;  // towards the port
  void HangUp();                            // the port sees a hang-up

 private:
  int master_ = -1;
  int slave_ = -1;
  QString slavePath_;
};

// The slave's line configuration as the kernel holds it, read through the
// master side (the port's exclusive hold on the slave does not matter).
struct TLineReadback {
  unsigned speed = 0;        // in and out alike, else 0
  bool oddParity = false;    // PARODD
  bool stickParity = false;  // CMSPAR
  bool twoStopBits = false;  // CSTOPB
  bool rtsCts = false;       // CRTSCTS
  bool xonOutput = false;    // IXON
  bool xoffInput = false;    // IXOFF
  bool parityCheck = false;  // INPCK
  bool raw = false;          // no ICANON, ECHO, ISIG, OPOST, ICRNL
  int startChar = -1;
  int stopChar = -1;
  friend bool operator==(const TLineReadback&, const TLineReadback&) = default;
};
TLineReadback ReadLineConfiguration(int masterFd);

}  // namespace tessaly::test
