// The read timeout rules, on a pseudo-terminal. Bounds are generous: the
// machine running the tests may be busy.
#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "tests/serial/port_fixture.h"

namespace tessaly {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using test::ExpectComFailure;

class ComReadTest : public test::PortOnPtyTest {
 protected:
  void SetUp() override {
    // Reads only: no event thread competing for the bytes.
    port_->SetEvents({});
    port_->Open();
  }

  std::string ReadUpTo(int count) {
    std::array<char, 2048> buffer{};
    const int received = port_->Read(buffer.data(), count);
    return std::string(buffer.data(), static_cast<std::size_t>(received));
  }

  static milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
  }
};

TEST_F(ComReadTest, EndsSoonAfterLineFallsQuiet_SoLaterBytesGoToNextRead) {
  std::thread sender([this] {
    std::this_thread::sleep_for(milliseconds(50));
    pty_.Send(std::string("\x01\x03\x00\x00", 4));
    std::this_thread::sleep_for(milliseconds(600));
    pty_.Send("CD");
  });
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(ReadUpTo(1024), std::string("\x01\x03\x00\x00", 4));
  const milliseconds took = Since(start);
  EXPECT_GE(took, milliseconds(50));
  EXPECT_LT(took, milliseconds(600));  // long before the 1000 ms total
  EXPECT_EQ(ReadUpTo(1024), "CD");
  sender.join();
}

TEST_F(ComReadTest, NothingReceived_ReturnsZeroAfterTotalTimeout) {
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(ReadUpTo(1024), "");
  const milliseconds took = Since(start);
  EXPECT_GE(took, milliseconds(990));
  EXPECT_LT(took, milliseconds(3000));
}

TEST_F(ComReadTest, CountReachedOrIntervalMinusOne_ReturnsQueuedBytesAtOnce) {
  pty_.Send("0123456789");
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(ReadUpTo(4), "0123");
  EXPECT_EQ(port_->PendingInputCount(), 6);

  port_->Timeouts().SetReadInterval(-1);  // with both totals 0
  port_->Timeouts().SetReadTotalConstant(0);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(ReadUpTo(16), "456789");
  EXPECT_EQ(ReadUpTo(16), "");
  EXPECT_LT(Since(start), milliseconds(500));
}

TEST_F(ComReadTest, HungUpLine_DeliversQueuedBytesThenFailsWithCode3) {
  pty_.Send("last");
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(ReadUpTo(1024), "last");
  pty_.HangUp();
  ExpectComFailure([&] { ReadUpTo(1024); }, kComReadFailed, EIO);
}

}  // namespace
}  // namespace tessaly
