#pragma once

#include <QString>

#include <cstdint>
#include <string_view>
#include <vector>

namespace tessaly::test {

// A pseudo-terminal for a port to open at SlavePath(); the test plays the far
// end of the line through the master side. The slave stays open here too, so
// the line lives until the test hangs up.
class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const QString& SlavePath() const { return slavePath_; }
  int Master() const { return master_; }
  // The test's own descriptor of the slave side, to see how the port set
  // the line (tcgetattr).
  int Slave() const { return slave_; }
  void Send(std::string_view bytes) const;  // towards the port
  void Send(const std::vector<std::uint8_t>& bytes) const;
  // The port sees a hang-up, as when an adapter is unplugged.
  void HangUp();

 private:
  int master_ = -1;
  int slave_ = -1;
  QString slavePath_;
};

}  // namespace tessaly::test
