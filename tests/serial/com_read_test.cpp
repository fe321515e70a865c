// The read timeout rules, on a pseudo-terminal. Nothing here depends on how
// fast the machine is: the machine running the tests may be busy.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <future>
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
    // Reads only: no handler competing for the bytes.
    port_->SetEvents({});
    port_->Open();
  }

  std::string ReadUpTo(int count) {
    std::array<char, 2048> buffer{};
    const int received = port_->Read(buffer.data(), count);
    return std::string(buffer.data(), static_cast<std::size_t>(received));
  }

  // Until the bytes sent have reached the port's queue.
  bool WaitForPending(int count) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
    while (port_->PendingInputCount() < count) {
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
  }

  static milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
  }
};

TEST_F(ComReadTest, EndsOnceTheLineFallsQuiet_SoLaterBytesGoToTheNextRead) {
  std::thread sender([this] {
    pty_.Send(std::string("\x01\x03\x00\x00", 4));
    std::this_thread::sleep_for(milliseconds(600));  // far more than the 10 ms interval
    pty_.Send("CD");
  });
  EXPECT_EQ(ReadUpTo(1024), std::string("\x01\x03\x00\x00", 4));
  EXPECT_EQ(ReadUpTo(1024), "CD");
  sender.join();
}

// The reader may get round to the port long after the line fell silent:
// the read still ends at that silence, and tells when its bytes came.
TEST_F(ComReadTest, ReadBegunAfterBothBursts_StillEndsAtTheSilenceBetweenThem) {
  pty_.Send("AB");
  std::this_thread::sleep_for(milliseconds(200));
  pty_.Send("CD");
  ASSERT_TRUE(WaitForPending(4));

  EXPECT_EQ(ReadUpTo(1024), "AB");
  const TReadArrival first = port_->LastReadArrival();
  EXPECT_EQ(first.last - first.first, milliseconds(10));  // quiet from the end of the 10 ms silence
  EXPECT_EQ(ReadUpTo(1024), "CD");
  // Each burst is stamped when the recorder thread got to it, which may be
  // a moment after it was sent: the gap seen is near 200 ms, not exactly.
  EXPECT_GE(port_->LastReadArrival().first - first.first, milliseconds(150));
}

TEST_F(ComReadTest, NothingReceived_ReturnsZeroNoSoonerThanTheTotalTimeout) {
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(ReadUpTo(1024), "");
  EXPECT_GE(Since(start), milliseconds(990));
}

TEST_F(ComReadTest, CountReached_ReturnsAtOnceWithoutWaitingForTheTotal) {
  // Only the count can end this read before an hour has passed.
  port_->Timeouts().SetReadInterval(0);
  port_->Timeouts().SetReadTotalConstant(3'600'000);
  pty_.Send("0123456789");
  ASSERT_TRUE(WaitForPending(10));
  auto read = std::async(std::launch::async, [this] { return ReadUpTo(4); });
  if (read.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    pty_.HangUp();  // ends the read, so the test can fail instead of hang
    FAIL() << "the read went on after the count was in";
  }
  EXPECT_EQ(read.get(), "0123");
  EXPECT_EQ(port_->PendingInputCount(), 6);

  port_->Timeouts().SetReadInterval(-1);  // with both totals 0: what is queued, at once
  port_->Timeouts().SetReadTotalConstant(0);
  EXPECT_EQ(ReadUpTo(16), "456789");
  EXPECT_EQ(ReadUpTo(16), "");
}

TEST_F(ComReadTest, HungUpLine_DeliversQueuedBytesThenFailsWithCode3) {
  pty_.Send("last");
  ASSERT_TRUE(WaitForPending(4));
  EXPECT_EQ(ReadUpTo(1024), "last");
  pty_.HangUp();  // a pseudo-terminal drops what is queued at once
  ExpectComFailure([&] { ReadUpTo(1024); }, kComReadFailed, EIO);
}

// A pseudo-terminal drops what is queued when it hangs up; a socket pair
// keeps it, as a serial device's driver does.
TEST(ComDeviceRead, HungUpRightAfterSending_TheBytesComeFirstThenCode3) {
  int ends[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
  TComDevice line;
  line.Adopt(ends[0]);
  line.SetTimeouts({0, 0, 60'000});  // only the hang-up can end the first read early
  ASSERT_EQ(::write(ends[1], "last", 4), 4);
  ::close(ends[1]);
  std::array<char, 16> buffer{};
  ASSERT_EQ(line.Read(buffer.data(), 16), 4);
  EXPECT_EQ(std::string(buffer.data(), 4), "last");
  ExpectComFailure([&] { line.Read(buffer.data(), 16); }, kComReadFailed, EIO);
}

}  // namespace
}  // namespace tessaly
