// Packet framing: the end-of-packet interval, and cutting in a real event loop
// with the real timer, where a scripted line delivers bytes at scripted
// moments. The interval (50 ms) and the silences (5 ms within a packet, 150 ms
// between) leave wide margins for a loaded machine. Lines whose bytes carry
// their arrival times are cut by those times alone, however busy the loop.
#include "core/end_of_packet_interval.h"
#include "core/packet_framer.h"

#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <ctime>

#include <algorithm>
#include <chrono>
#include <deque>
#include <optional>
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
  EXPECT_EQ(framer.Interval(), 1);

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
    if (++reads > 1000 || dry) return 0;
    if (maxCount > queued) ++waits;
    for (int i = 0; i < maxCount; ++i) place[i] = static_cast<std::uint8_t>(next++);
    return maxCount;
  }
  int Pending() override { return reads > 1000 || dry ? 0 : queued; }

  const int queued;
  bool dry = false;
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

  line.dry = true;
  framer.OnEndOfPacket();
  Bytes logged;
  for (const Bytes& row : sink.rows) logged.insert(logged.end(), row.begin(), row.end());
  Bytes read(line.next);
  for (int i = 0; i < line.next; ++i) read[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(logged, read);
}

// A few bytes queued behind every read, and a whole buffer's worth.
INSTANTIATE_TEST_SUITE_P(Queued, LineThatNeverFallsQuiet, testing::Values(3, PacketFramer::kCapacity));


// The local time of day of a stamp, in two zones and across a change of zone
// while the program runs, which must show within a few seconds.
TEST(LocalTimeOfDay, FollowsTheZoneAndAChangeOfIt) {
  const QByteArray savedZone = qgetenv("TZ");
  // 2026-03-29 01:30:00.250 UTC: summer time began in Central Europe an hour
  // before, so 03:30:00.250 there; 21:30:00.250 on the day before in New York.
  const PacketTime stamp = 1'774'747'800'250'000;
  qputenv("TZ", "Europe/Berlin");
  tzset();
  EXPECT_TRUE(QTest::qWaitFor([&] { return LocalMillisecondsOfDay(stamp) == ((3 * 60 + 30) * 60) * 1000 + 250; },
                              10'000));
  qputenv("TZ", "America/New_York");
  tzset();
  EXPECT_TRUE(QTest::qWaitFor([&] { return LocalMillisecondsOfDay(stamp) == ((21 * 60 + 30) * 60) * 1000 + 250; },
                              10'000));
  EXPECT_EQ(LocalMillisecondsOfDay(stamp - 86'400'000'000), ((21 * 60 + 30) * 60) * 1000 + 250);
  if (savedZone.isNull()) {
    qunsetenv("TZ");
  } else {
    qputenv("TZ", savedZone);
  }
  tzset();
}

// A line whose bytes carry the times they arrived, as the links give them:
// each chunk becomes readable at its arrival on the line clock, and one read
// takes one chunk (the way a reader close to the line sees them).
class TimedLine : public ByteSource {
 public:
  struct Chunk {
    LineTime at;  // its last byte's arrival: readable from then on
    Bytes bytes;
    std::optional<LineTime> first{};  // its first byte's, when earlier
  };

  int Read(std::uint8_t* place, int maxCount) override {
    if (chunks.empty() || chunks.front().at > LineClock::now()) return -1;
    const Chunk chunk = chunks.front();
    chunks.pop_front();
    EXPECT_LE(static_cast<int>(chunk.bytes.size()), maxCount);
    std::copy(chunk.bytes.begin(), chunk.bytes.end(), place);
    last = chunk.at;
    first = chunk.first.value_or(chunk.at);
    return static_cast<int>(chunk.bytes.size());
  }
  int Pending() override {
    int waiting = 0;
    for (const Chunk& chunk : chunks) {
      if (chunk.at <= LineClock::now()) waiting += static_cast<int>(chunk.bytes.size());
    }
    return waiting;
  }
  std::optional<Arrival> LastArrival() const override { return Arrival{first, last}; }

  std::deque<Chunk> chunks;
  LineTime first;
  LineTime last;
};

struct TimedRow {
  Bytes bytes;
  PacketTime endedAt;
  PacketTime firstByte = 0;
  PacketTime lastByte = 0;
};

struct TimedSink : PacketSink {
  void AppendPacket(const std::uint8_t* bytes, int count, PacketTime endedAt) override {
    rows.push_back({Bytes(bytes, bytes + count), endedAt});
  }
  void AppendPacket(const std::uint8_t* bytes, int count, const PacketTiming& timing) override {
    rows.push_back({Bytes(bytes, bytes + count), timing.ended, timing.firstByte, timing.lastByte});
  }
  std::vector<TimedRow> rows;
};

struct LateScenario {
  std::string name;
  // When each frame arrives, in ms from the start (each frame one byte, its
  // index), and when its arrival is first handled.
  std::vector<std::pair<int, int>> arrivedAndHandled;
  // Spells during which the window's thread is busy: start and length, ms.
  std::vector<std::pair<int, int>> busy;
  // Frame indexes of each expected row.
  std::vector<std::vector<int>> rows;
};

constexpr int kLateInterval = 20;

class LateHandling : public testing::TestWithParam<LateScenario> {};

// However late the handlers run, rows are cut where the line was silent for
// longer than the interval and stamped with the line's end time: the last
// arrival plus the interval; each row also knows when its first and last
// byte came.
TEST_P(LateHandling, RowsCutAndStampedByLineTimes) {
  const LateScenario& scenario = GetParam();
  QTimer endPacketTimer;
  TimedSink sink;
  PacketFramer framer(endPacketTimer, sink);
  framer.SetInterval(kLateInterval);
  QObject::connect(&endPacketTimer, &QTimer::timeout, [&] { framer.OnEndOfPacket(); });

  TimedLine line;
  const LineTime start = LineClock::now() + std::chrono::milliseconds(20);
  const auto at = [&](int ms) { return start + std::chrono::milliseconds(ms); };
  const auto startMs = [&](int ms) {
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(at(ms) - LineClock::now()).count());
  };
  for (std::size_t i = 0; i < scenario.arrivedAndHandled.size(); ++i) {
    line.chunks.push_back({at(scenario.arrivedAndHandled[i].first), {static_cast<std::uint8_t>(i)}});
  }
  // One readiness event per frame, as a link reports them; it finds nothing
  // when the timer's handler took the frame already.
  for (const auto& [arrived, handled] : scenario.arrivedAndHandled) {
    QTimer::singleShot(startMs(handled), [&] { framer.OnBytesAvailable(line); });
  }
  for (const auto& [from, length] : scenario.busy) {
    QTimer::singleShot(startMs(from), [length] { QThread::msleep(static_cast<unsigned long>(length)); });
  }

  const int lastHandled = std::max_element(scenario.arrivedAndHandled.begin(), scenario.arrivedAndHandled.end(),
                                           [](auto a, auto b) { return a.second < b.second; })->second;
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return LineClock::now() > at(lastHandled) && line.chunks.empty() && !endPacketTimer.isActive(); },
      10'000));

  ASSERT_EQ(sink.rows.size(), scenario.rows.size());
  for (std::size_t row = 0; row < scenario.rows.size(); ++row) {
    Bytes expected;
    for (int frame : scenario.rows[row]) expected.push_back(static_cast<std::uint8_t>(frame));
    EXPECT_EQ(sink.rows[row].bytes, expected) << "row " << row;
    const int lastArrival = scenario.arrivedAndHandled[scenario.rows[row].back()].first;
    const PacketTime lineEnd = WallClockOf(at(lastArrival + kLateInterval));
    // The two clocks are read a few microseconds apart in each conversion.
    EXPECT_NEAR(static_cast<double>(sink.rows[row].endedAt), static_cast<double>(lineEnd), 500.0) << "row " << row;
    const int firstArrival = scenario.arrivedAndHandled[scenario.rows[row].front()].first;
    EXPECT_NEAR(static_cast<double>(sink.rows[row].firstByte), static_cast<double>(WallClockOf(at(firstArrival))), 500.0)
        << "row " << row;
    EXPECT_NEAR(static_cast<double>(sink.rows[row].lastByte), static_cast<double>(WallClockOf(at(lastArrival))), 500.0)
        << "row " << row;
  }
}

// One packet's reads handled late, with the framer on a line whose bytes
// carry their arrival.
class LateHandlingOfOneRead : public testing::Test {
 protected:
  LateHandlingOfOneRead() {
    framer.SetInterval(kLateInterval);
    QObject::connect(&endPacketTimer, &QTimer::timeout, [this] { framer.OnEndOfPacket(); });
  }

  QTimer endPacketTimer;
  TimedSink sink;
  PacketFramer framer{endPacketTimer, sink};
  TimedLine line;
  const LineTime start = LineClock::now();
};

// A read whose first byte came before the packet's end continues the packet,
// though the read was handled, and its last byte came, after that end: the
// line was never silent for a whole interval.
TEST_F(LateHandlingOfOneRead, ReadBegunBeforeThePacketsEnd_ContinuesIt) {
  line.chunks.push_back({start, {0}});
  framer.OnBytesAvailable(line);
  line.chunks.push_back({start + std::chrono::milliseconds(2 * kLateInterval), {1, 2},
                         start + std::chrono::milliseconds(kLateInterval / 2)});
  // The window is busy until the second read has all its bytes.
  QThread::msleep(2 * kLateInterval + 5);
  framer.OnBytesAvailable(line);

  ASSERT_TRUE(QTest::qWaitFor([&] { return !sink.rows.empty() && !endPacketTimer.isActive(); }, 10'000));
  ASSERT_EQ(sink.rows.size(), 1U);
  EXPECT_EQ(sink.rows[0].bytes, (Bytes{0, 1, 2}));
}

// Bytes that came just before the packet's end but reach the reader only
// after it (a reader thread held up for a moment) still join the packet, and
// their own readiness event, coming later, starts nothing.
TEST_F(LateHandlingOfOneRead, BytesStillOnTheirWayAtThePacketsEnd_JoinIt) {
  const auto ms = [](int count) { return std::chrono::milliseconds(count); };
  line.chunks.push_back({start, {0}});
  framer.OnBytesAvailable(line);
  static_assert(PacketFramer::kSettleTime > std::chrono::milliseconds(1));
  line.chunks.push_back({start + ms(kLateInterval + 1), {1}, start + ms(kLateInterval - 1)});
  QTimer::singleShot(kLateInterval + 10, [&] { framer.OnBytesAvailable(line); });

  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return LineClock::now() > start + ms(kLateInterval + 10) && !sink.rows.empty() && !endPacketTimer.isActive(); },
      10'000));
  ASSERT_EQ(sink.rows.size(), 1U);
  EXPECT_EQ(sink.rows[0].bytes, (Bytes{0, 1}));
}

INSTANTIATE_TEST_SUITE_P(
    BusyWindow, LateHandling,
    testing::Values(
        // The first frame is handled 15 ms late; the countdown must not start
        // then, or the second frame, 30 ms after the first, would join it.
        LateScenario{"FrameHandledLate_LongerSilenceStillCuts", {{0, 0}, {30, 30}}, {{0, 15}}, {{0}, {1}}},
        // The thread is busy from before the first frame's end until after the
        // second arrived: the timer and the second frame are handled together.
        LateScenario{"TimerAndNextFrameHandledLate_LongerSilenceStillCuts",
                     {{0, 0}, {30, 30}, {35, 35}}, {{10, 40}}, {{0}, {1, 2}}},
        // A gap of 15 ms, shorter than the interval, while the timer's handler
        // runs late, possibly before the second frame's own handler.
        LateScenario{"TimerHandledLate_ShorterGapNeverCuts", {{0, 0}, {15, 15}}, {{5, 40}}, {{0, 1}}},
        // Both frames handled in one late turn of the loop, the second after
        // a silence longer than the interval.
        LateScenario{"BothFramesHandledInOneLateTurn_CutBetweenThem", {{0, 0}, {25, 25}}, {{-10, 50}}, {{0}, {1}}}),
    [](const testing::TestParamInfo<LateScenario>& info) { return info.param.name; });

}  // namespace
}  // namespace tessaly
