// Packet framing: the end-of-packet interval, and cutting in a real event loop
// with the real timer, where a scripted line delivers bytes at scripted
// moments. The interval (50 ms) and the silences (5 ms within a packet, 150 ms
// between) leave wide margins for a loaded machine.
#include "capture/end_of_packet_interval.h"
#include "capture/packet_framer.h"

#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessaly {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kInterval = 50;
constexpr int kShort = 5;
constexpr int kLong = 150;

Bytes Pattern(int count, int first = 0) {
  Bytes bytes(count);
  for (int i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>((first + i) * 7);
  return bytes;
}

struct RecordingSink : PacketSink {
  void AppendPacket(const std::uint8_t* bytes, int count, PacketTime) override { rows.emplace_back(bytes, bytes + count); }
  std::vector<Bytes> rows;
};

class EndOfPacketIntervalTest : public testing::TestWithParam<std::pair<int, int>> {};

TEST_P(EndOfPacketIntervalTest, RateGivesIntervalOfTheTable) {
  EXPECT_EQ(EndOfPacketInterval(GetParam().first), GetParam().second);
}

// The fifteen standard rates (truncated, not rounded: 300 gives 117, not
// 118), custom rates by the same rule, and rates that cannot be timed.
INSTANTIATE_TEST_SUITE_P(
    StandardCustomAndUntimeableRates, EndOfPacketIntervalTest,
    testing::Values(std::pair{110, 319}, std::pair{300, 117}, std::pair{600, 59}, std::pair{1200, 30},
                    std::pair{2400, 15}, std::pair{4800, 8}, std::pair{9600, 4}, std::pair{14400, 3},
                    std::pair{19200, 2}, std::pair{38400, 1}, std::pair{56000, 1}, std::pair{57600, 1},
                    std::pair{115200, 1}, std::pair{128000, 1}, std::pair{256000, 1}, std::pair{1, 35001},
                    std::pair{31250, 2}, std::pair{0, 4}, std::pair{-9600, 4}));

TEST(PacketFramerInterval, BelowOneRaisedToOne_SameIntervalLeavesARunningCountdownAlone) {
  RecordingSink sink;
  QTimer timer;  // a fresh QTimer has interval 0, which would end a packet at once
  PacketFramer framer(timer, sink);
  EXPECT_EQ(timer.interval(), 1);
  framer.SetInterval(-5);
  EXPECT_EQ(timer.interval(), 1);

  framer.SetInterval(1000);
  timer.start();
  QThread::msleep(100);
  framer.SetInterval(1000);
  EXPECT_LE(timer.remainingTime(), 950);
  framer.SetInterval(2000);  // a different interval restarts it
  EXPECT_GT(timer.remainingTime(), 1500);
}

enum class Action { kArrive, kArriveUnreadable, kArriveFailing, kReset };

// A line as a link sees it: bytes wait until read. Checks on every read that
// the framer never asks for more than its buffer's free space.
class ScriptedLine : public ByteSource {
 public:
  explicit ScriptedLine(const PacketFramer& framer) : framer_(framer) {}

  int Read(std::uint8_t* place, int maxCount) override {
    EXPECT_LE(maxCount, PacketFramer::kCapacity - framer_.Count());
    if (next == Action::kArriveUnreadable) return -1;
    if (next == Action::kArriveFailing) throw std::runtime_error("line failed");
    const int count = std::min<int>(maxCount, static_cast<int>(waiting.size()));
    std::copy_n(waiting.begin(), count, place);
    waiting.erase(waiting.begin(), waiting.begin() + count);
    return count;
  }
  int Pending() override { return tellsPending ? static_cast<int>(waiting.size()) : 0; }

  std::deque<std::uint8_t> waiting;
  Action next = Action::kArrive;
  bool tellsPending = true;

 private:
  const PacketFramer& framer_;
};

struct Step {
  int afterMilliseconds;
  Action action;
  Bytes bytes = {};
};

struct Scenario {
  std::string name;
  std::vector<Step> script;
  std::vector<Bytes> rows;
  bool tellsPending = true;
};

// Plays the script, each step after the previous one with events running in
// between, then stays silent until any armed packet has ended; returns the
// logged rows.
std::vector<Bytes> Play(const Scenario& scenario) {
  QTimer endPacketTimer;
  RecordingSink sink;
  PacketFramer framer(endPacketTimer, sink);
  framer.SetInterval(kInterval);
  QObject::connect(&endPacketTimer, &QTimer::timeout, [&] { framer.OnEndOfPacket(); });
  ScriptedLine line(framer);
  line.tellsPending = scenario.tellsPending;
  for (const Step& step : scenario.script) {
    QTest::qWait(step.afterMilliseconds);
    line.waiting.insert(line.waiting.end(), step.bytes.begin(), step.bytes.end());
    line.next = step.action;
    if (step.action == Action::kReset) {
      framer.Reset();
    } else if (step.action == Action::kArriveFailing) {
      EXPECT_THROW(framer.OnBytesAvailable(line), std::runtime_error);
    } else {
      framer.OnBytesAvailable(line);
    }
  }
  QTest::qWait(kLong * 2);
  EXPECT_FALSE(endPacketTimer.isActive());
  return sink.rows;
}

class PacketFramingTest : public testing::TestWithParam<Scenario> {};

TEST_P(PacketFramingTest, RowsAreCutWhereTheLineWasSilent) {
  EXPECT_EQ(Play(GetParam()), GetParam().rows);
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, PacketFramingTest,
    testing::Values(
        Scenario{"LongSilenceBetweenFrames_TwoRows",
                 {{0, Action::kArrive, {0x01, 0x03}}, {kShort, Action::kArrive, {0x00, 0x0A}},
                  {kLong, Action::kArrive, {0x01, 0x83, 0x02}}},
                 {{0x01, 0x03, 0x00, 0x0A}, {0x01, 0x83, 0x02}}},
        Scenario{"ShortSilencesOnly_OneRow",
                 {{0, Action::kArrive, {0x01}}, {kShort, Action::kArrive, {0x02}},
                  {kShort, Action::kArrive, {0x03}}, {kShort, Action::kArrive, {0x04}}},
                 {{0x01, 0x02, 0x03, 0x04}}},
        Scenario{"ReadOfNoBytes_EmptyRow", {{0, Action::kArrive}}, {{}}},
        Scenario{"ReadReportingNothingAvailable_EmptyRow", {{0, Action::kArriveUnreadable}}, {{}}},
        Scenario{"ResetAfterBytes_BytesDroppedButArmedTimerStillEndsEmptyRow",
                 {{0, Action::kArrive, {0x01, 0x02}}, {kShort, Action::kReset}}, {{}}},
        Scenario{"ReadThatThrows_BytesCollectedBeforeStillLogged",
                 {{0, Action::kArrive, {0x01, 0x02}}, {kShort, Action::kArriveFailing}},
                 {{0x01, 0x02}}},
        Scenario{"BurstBeyondCapacity_FullRowsThenRest_EveryByteInOrder",
                 {{0, Action::kArrive, Pattern(2500)}},
                 {Pattern(1024), Pattern(1024, 1024), Pattern(452, 2048)}},
        Scenario{"FullBufferSourceCannotTellPending_NextArrivalEndsFullPacketFirst",
                 {{0, Action::kArrive, Pattern(1500)}, {kShort, Action::kArrive}},
                 {Pattern(1024), Pattern(476, 1024)},
                 false}),
    [](const testing::TestParamInfo<Scenario>& info) { return info.param.name; });

// A line that never falls quiet, read the way the serial port reads it: a
// read that asks for more than is queued waits on the line for the rest,
// while the user-interface thread stands still; `queued` more bytes are
// always there when it returns. It runs dry after 1000 reads, so a framer
// that never stops reading fails instead of hanging.
class BusyLine : public ByteSource {
 public:
  explicit BusyLine(int queuedBytes) : queued(queuedBytes) {}
  int Read(std::uint8_t* place, int maxCount) override {
    if (++reads > 1000) return 0;
    if (maxCount > queued) ++waits;
    for (int i = 0; i < maxCount; ++i) place[i] = static_cast<std::uint8_t>(next++);
    return maxCount;
  }
  int Pending() override { return reads > 1000 ? 0 : queued; }

  const int queued;
  int reads = 0;
  int waits = 0;
  int next = 0;
};

class LineThatNeverFallsQuiet : public testing::TestWithParam<int> {};

TEST_P(LineThatNeverFallsQuiet, OneArrivalWaitsOnceAtMostAndReadsBoundedly_EveryByteLoggedInOrder) {
  QTimer endPacketTimer;
  RecordingSink sink;
  PacketFramer framer(endPacketTimer, sink);
  BusyLine line(GetParam());

  framer.OnBytesAvailable(line);
  EXPECT_LE(line.waits, 1) << "each wait holds the window for a whole read";
  EXPECT_LE(line.reads, PacketFramer::kMaxReadsPerArrival);

  framer.OnEndOfPacket();
  Bytes logged;
  for (const Bytes& row : sink.rows) logged.insert(logged.end(), row.begin(), row.end());
  Bytes read(line.next);
  for (int i = 0; i < line.next; ++i) read[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(logged, read);
}

// A few bytes queued behind every read, and a whole buffer's worth.
INSTANTIATE_TEST_SUITE_P(Queued, LineThatNeverFallsQuiet, testing::Values(3, PacketFramer::kCapacity));

}  // namespace
}  // namespace tessaly
