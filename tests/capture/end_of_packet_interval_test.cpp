#include "capture/end_of_packet_interval.h"
#include "capture/packet_framer.h"

#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

namespace tessaly {
namespace {

struct RateCase {
  int bitsPerSecond;
  int milliseconds;
};

class EndOfPacketIntervalTest : public testing::TestWithParam<RateCase> {};

// The fifteen standard rates (truncated, not rounded: 300 gives 117, not
// 118), custom rates by the same rule, and rates that cannot be timed.
INSTANTIATE_TEST_SUITE_P(
    StandardCustomAndUntimeableRates, EndOfPacketIntervalTest,
    testing::Values(RateCase{110, 319}, RateCase{300, 117}, RateCase{600, 59}, RateCase{1200, 30},
                    RateCase{2400, 15}, RateCase{4800, 8}, RateCase{9600, 4}, RateCase{14400, 3},
                    RateCase{19200, 2}, RateCase{38400, 1}, RateCase{56000, 1}, RateCase{57600, 1},
                    RateCase{115200, 1}, RateCase{128000, 1}, RateCase{256000, 1},
                    RateCase{1, 35001}, RateCase{31250, 2}, RateCase{0, 4}, RateCase{-9600, 4}));

TEST_P(EndOfPacketIntervalTest, RateGivesIntervalOfTheTable) {
  EXPECT_EQ(EndOfPacketInterval(GetParam().bitsPerSecond), GetParam().milliseconds);
}

TEST(PacketFramerInterval, IntervalsBelowOneMillisecondAreRaisedSoPacketsStillEnd) {
  struct : PacketSink {
    void AppendPacket(const std::uint8_t*, int) override {}
  } sink;
  QTimer timer;  // a fresh QTimer has interval 0
  PacketFramer framer(timer, sink);
  EXPECT_EQ(timer.interval(), 1);
  framer.SetInterval(-5);
  EXPECT_EQ(timer.interval(), 1);
}

TEST(PacketFramerInterval, SameIntervalLeavesARunningCountdownAlone) {
  struct : PacketSink {
    void AppendPacket(const std::uint8_t*, int) override {}
  } sink;
  QTimer timer;
  PacketFramer framer(timer, sink);
  framer.SetInterval(1000);
  timer.start();
  QThread::msleep(100);
  framer.SetInterval(1000);
  EXPECT_LE(timer.remainingTime(), 950);
  framer.SetInterval(2000);  // a different interval restarts it
  EXPECT_GT(timer.remainingTime(), 1500);
}

}  // namespace
}  // namespace tessaly
