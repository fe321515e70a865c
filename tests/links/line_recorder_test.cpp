// The recorder on a socket pair standing in for a line.
#include "links/line_recorder.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <new>
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

// Full rings stop the reading: what comes waits in the kernel, and every
// byte still arrives, in order, once bytes are taken. Bounded by bytes, and
// by reads when the line is read a byte at a time.
TEST_F(LineRecorderTest, FullRingsStopReadingUntilBytesAreTaken_NothingLostOrReordered) {
  struct Case {
    std::size_t capacity;
    std::size_t reads;
    int bytesPerRead;
    int kept;  // where the recorder stops
  };
  // Odd sizes and small takes: the rings fill and empty in uneven steps.
  for (const Case& c : {Case{5, 64, 3, 5}, Case{4096, 16, 1, 16}}) {
    SCOPED_TRACE(c.capacity);
    TearDown();
    SetUp();
    recorder_ = std::make_unique<LineRecorder>(
        ends_[0],
        [perRead = c.bytesPerRead](int handle, std::uint8_t* place, int count) {
          return ReadSocket(handle, place, std::min(count, perRead));
        },
        c.capacity, c.reads);
    std::string sent;
    for (int i = 0; i < 100; ++i) sent += static_cast<char>('0' + i % 75);
    Send(sent);
    ASSERT_TRUE(Eventually([&] { return recorder_->Kept() == c.kept; }));
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_EQ(recorder_->Kept(), c.kept);  // full: the rest waits in the socket
    std::string taken;
    ASSERT_TRUE(Eventually([&] {
      taken += Take(2);
      return taken.size() >= sent.size();
    }));
    EXPECT_EQ(taken, sent);
  }
}

// A read that goes on past the end of the byte ring continues at its start,
// and a take across the end comes out whole.
TEST_F(LineRecorderTest, BytesAcrossTheEndOfTheRing_ComeOutWhole) {
  Start(5);
  Send("abc");
  ASSERT_TRUE(Eventually([&] { return recorder_->Kept() == 3; }));
  EXPECT_EQ(Take(64), "abc");
  Send("defg");  // kept at places 3, 4, 0 and 1
  ASSERT_TRUE(Eventually([&] { return recorder_->Kept() == 4; }));
  EXPECT_EQ(Take(64), "defg");
}

// The owner's thread, at Stop: bytes the recorder thread has not got round
// to are read then, and can still be taken; nothing more comes after.
TEST_F(LineRecorderTest, FinishReading_TakesWhatTheKernelStillHolds) {
  const std::thread::id owner = std::this_thread::get_id();
  // The recording thread is held up for good: it never gets the bytes.
  recorder_ = std::make_unique<LineRecorder>(ends_[0], [owner](int handle, std::uint8_t* place, int count) {
    if (std::this_thread::get_id() != owner) return LineRecorder::ReadResult{};
    return ReadSocket(handle, place, count);
  });
  Send("late");
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_EQ(recorder_->Kept(), 0);
  recorder_->FinishReading();
  EXPECT_TRUE(recorder_->Finished());
  EXPECT_TRUE(recorder_->WaitForBytes(std::nullopt));
  EXPECT_EQ(Take(64), "late");
  Send("after");
  EXPECT_TRUE(IsReady(*recorder_));
  EXPECT_EQ(Take(64), "");
  EXPECT_FALSE(recorder_->EndError().has_value());
}

// Every allocation is made before the thread starts: one the machine cannot
// give fails the start, for the owner to report, and takes nothing down.
TEST_F(LineRecorderTest, RingsTooLargeForMemory_FailTheStartCleanly) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "AddressSanitizer's operator new ends the program where it cannot allocate, "
                  "instead of throwing std::bad_alloc";
#endif
  EXPECT_THROW(LineRecorder(ends_[0], ReadSocket, std::size_t{1} << 62), std::bad_alloc);
  Start();
  Send("ok");
  ASSERT_TRUE(Eventually([&] { return recorder_->Kept() == 2; }));
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

namespace tessaly {
namespace {

// Cutting into packets on the thread: more than the rings hold comes in
// packets that are taken only later; the thread stops reading while the
// rings are full, goes on once packets are taken, and every byte comes out
// once, in order, cut at the silences.
TEST_F(LineRecorderTest, CuttingWithFullRings_ReadsOnOncePacketsAreTaken_NothingLost) {
  PacketCutter::Rules rules;
  rules.interval = milliseconds(1);
  rules.cutAtSilences = true;
  recorder_ = std::make_unique<LineRecorder>(ends_[0], ReadSocket, rules, 4096, 16);
  std::string sent;
  for (int packet = 0; packet < 40; ++packet) {
    const std::string bytes(200, static_cast<char>('A' + packet % 26));
    Send(bytes);
    sent += bytes;
    std::this_thread::sleep_for(milliseconds(4));
  }
  std::this_thread::sleep_for(milliseconds(50));
  std::string taken;
  int packets = 0;
  std::array<std::uint8_t, PacketCutter::kCapacity> place{};
  ASSERT_TRUE(Eventually([&] {
    while (const std::optional<LineRecorder::Packet> packet = recorder_->TakePacket(place.data())) {
      taken.append(place.begin(), place.begin() + packet->count);
      ++packets;
      EXPECT_LE(packet->firstByte, packet->lastByte);
      EXPECT_LT(packet->lastByte, packet->ended);
    }
    return taken.size() >= sent.size();
  })) << taken.size();
  EXPECT_EQ(taken, sent);
  EXPECT_GE(packets, 5) << "cut at the silences between the writes, and at full buffers";
}

}  // namespace
}  // namespace tessaly
