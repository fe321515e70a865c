// The recorder on a socket pair standing in for a line.
#include "links/line_recorder.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <string>
#include <thread>

namespace tessaly {
namespace {

using Clock = LineRecorder::Clock;
using std::chrono::milliseconds;

LineRecorder::ReadResult ReadSocket(int handle, std::uint8_t* place, int count) {
  const ssize_t got = ::read(handle, place, static_cast<std::size_t>(count));
  if (got > 0) return {static_cast<int>(got), false, 0, std::nullopt};
  return {};  // nothing now; the hang-up that follows a peer's close ends it
}

bool IsReady(const LineRecorder& recorder) {
  pollfd ready{recorder.ReadyHandle(), POLLIN, 0};
  return ::poll(&ready, 1, 0) == 1;
}

// Waits (without limit on a busy machine, but not forever) for a condition
// the recorder's thread brings about.
template <class Condition>
bool Eventually(Condition condition) {
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (!condition()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(milliseconds(1));
  }
  return true;
}

class LineRecorderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends_), 0); }
  void TearDown() override {
    recorder_.reset();
    ::close(ends_[0]);
    if (ends_[1] >= 0) ::close(ends_[1]);
  }
  void Start(std::size_t capacity = LineRecorder::kDefaultCapacity) {
    recorder_ = std::make_unique<LineRecorder>(ends_[0], ReadSocket, capacity);
  }
  void Send(const std::string& bytes) {
    ASSERT_EQ(::write(ends_[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  std::string Take(int count, Clock::time_point* arrivedAt = nullptr) {
    std::array<std::uint8_t, 64> place{};
    const LineRecorder::Piece piece = recorder_->Take(place.data(), count);
    if (arrivedAt != nullptr) *arrivedAt = piece.arrivedAt;
    return std::string(place.begin(), place.begin() + piece.count);
  }

  int ends_[2] = {-1, -1};
  std::unique_ptr<LineRecorder> recorder_;
};

TEST_F(LineRecorderTest, BurstsTakenLateKeepTheirOwnMoments_AndAreNeverJoined) {
  Start();
  EXPECT_FALSE(IsReady(*recorder_));
  Send("ABC");
  ASSERT_TRUE(Eventually([&] { return recorder_->Kept() == 3; }));
  std::this_thread::sleep_for(milliseconds(50));
  Send("DE");
  ASSERT_TRUE(Eventually([&] { return recorder_->Kept() == 5; }));
  EXPECT_TRUE(IsReady(*recorder_));

  Clock::time_point first{};
  Clock::time_point rest{};
  Clock::time_point second{};
  EXPECT_EQ(Take(2, &first), "AB");  // the front of a burst; the rest keeps its moment
  EXPECT_EQ(Take(64, &rest), "C");
  EXPECT_EQ(rest, first);
  EXPECT_EQ(Take(64, &second), "DE");
  EXPECT_GE(second - first, milliseconds(50));
  EXPECT_FALSE(IsReady(*recorder_));
  EXPECT_EQ(Take(64), "");
}

TEST_F(LineRecorderTest, FullStoreStopsReadingUntilBytesAreTaken_ThenGoesOn) {
  Start(4);
  Send("0123456789");
  ASSERT_TRUE(Eventually([&] { return recorder_->Kept() == 10; }));
  Send("abc");
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(recorder_->Kept(), 10);  // full: "abc" waits in the socket
  EXPECT_EQ(Take(64), "0123456789");
  ASSERT_TRUE(Eventually([&] { return recorder_->Kept() == 3; }));
  EXPECT_EQ(Take(64), "abc");
}

TEST_F(LineRecorderTest, PeerGone_KeptBytesComeFirstThenTheEnd) {
  Start();
  Send("last");
  ::close(ends_[1]);
  ends_[1] = -1;
  ASSERT_TRUE(Eventually([&] { return recorder_->EndError().has_value(); }));
  EXPECT_EQ(recorder_->Kept(), 4);  // the end is known, the bytes before it still kept
  EXPECT_TRUE(recorder_->WaitForBytes(std::nullopt));
  EXPECT_EQ(Take(64), "last");
  EXPECT_EQ(recorder_->Kept(), 0);
  EXPECT_TRUE(IsReady(*recorder_));  // the end stays to be seen
}

}  // namespace
}  // namespace tessaly
