// Framing in a real event loop with the real timer: a scripted line delivers
// bytes at scripted moments. The interval (50 ms) and the silences (5 ms
// within a packet, 150 ms between) leave wide margins for a loaded machine.
#include "capture/packet_framer.h"

#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <ostream>
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

enum class Action { kArrive, kArriveUnreadable, kArriveFailing, kReset };

// A line as a link sees it: bytes wait until read. Checks on every read that
// the framer never asks for more than its buffer's free space.
class ScriptedLine : public ByteSource {
 public:
  explicit ScriptedLine(const PacketFramer& framer) : framer_(framer) {}

  int Read(std::uint8_t* place, int maxCount) override {
    ++reads;
    EXPECT_LE(maxCount, PacketFramer::kCapacity - framer_.Count());
    if (next == Action::kArriveUnreadable) return -1;
    if (next == Action::kArriveFailing) throw std::runtime_error("line failed");
    const int count = endless ? maxCount : std::min<int>(maxCount, static_cast<int>(waiting.size()));
    if (endless) waiting.resize(count, 0x55);
    std::copy_n(waiting.begin(), count, place);
    waiting.erase(waiting.begin(), waiting.begin() + count);
    return count;
  }
  int Pending() override {
    if (endless) return PacketFramer::kCapacity;
    return tellsPending ? static_cast<int>(waiting.size()) : 0;
  }

  std::deque<std::uint8_t> waiting;
  Action next = Action::kArrive;
  bool tellsPending = true;
  bool endless = false;
  int reads = 0;

 private:
  const PacketFramer& framer_;
};

struct RecordingSink : PacketSink {
  void AppendPacket(const std::uint8_t* bytes, int count) override {
    rows.emplace_back(bytes, bytes + count);
  }
  std::vector<Bytes> rows;
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

// Plays the script, each step after the previous one, then stays silent until
// any armed packet has ended; returns the logged rows.
std::vector<Bytes> Play(const Scenario& scenario) {
  QTimer endPacketTimer;
  RecordingSink sink;
  PacketFramer framer(endPacketTimer, sink);
  framer.SetInterval(kInterval);
  QObject::connect(&endPacketTimer, &QTimer::timeout, [&] { framer.OnEndOfPacket(); });
  ScriptedLine line(framer);
  line.tellsPending = scenario.tellsPending;
  QEventLoop loop;

  std::function<void(std::size_t)> run = [&](std::size_t index) {
    const Step& step = scenario.script[index];
    line.waiting.insert(line.waiting.end(), step.bytes.begin(), step.bytes.end());
    line.next = step.action;
    if (step.action == Action::kReset) {
      framer.Reset();
    } else if (step.action == Action::kArriveFailing) {
      EXPECT_THROW(framer.OnBytesAvailable(line), std::runtime_error);
    } else {
      framer.OnBytesAvailable(line);
    }
    if (index + 1 < scenario.script.size()) {
      QTimer::singleShot(scenario.script[index + 1].afterMilliseconds, [&run, index] { run(index + 1); });
    } else {
      QTimer::singleShot(kLong * 2, &loop, &QEventLoop::quit);
    }
  };
  QTimer::singleShot(0, [&run] { run(0); });
  loop.exec();
  EXPECT_FALSE(endPacketTimer.isActive());
  return sink.rows;
}

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

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

TEST(PacketFramer, SourceThatNeverRunsDry_HandlerReturnsAfterBoundedReadsWithFullRows) {
  QTimer endPacketTimer;
  RecordingSink sink;
  PacketFramer framer(endPacketTimer, sink);
  ScriptedLine line(framer);
  line.endless = true;

  framer.OnBytesAvailable(line);

  EXPECT_EQ(line.reads, PacketFramer::kMaxReadsPerArrival);
  ASSERT_EQ(sink.rows.size(), static_cast<std::size_t>(PacketFramer::kMaxReadsPerArrival - 1));
  EXPECT_EQ(sink.rows.back().size(), static_cast<std::size_t>(PacketFramer::kCapacity));
}

// A line that never falls quiet, read the way the serial port reads it: a
// read that asks for more than is queued waits on the line for the rest,
// while the user-interface thread stands still; a few more bytes are always
// queued when it returns.
class BusyLine : public ByteSource {
 public:
  int Read(std::uint8_t* place, int maxCount) override {
    if (maxCount > kQueued) ++waits;
    for (int i = 0; i < maxCount; ++i) place[i] = static_cast<std::uint8_t>(next++);
    return maxCount;
  }
  int Pending() override { return kQueued; }

  static constexpr int kQueued = 3;
  int waits = 0;
  int next = 0;
};

TEST(PacketFramer, LineThatNeverFallsQuiet_OneArrivalWaitsOnTheLineOnceAndKeepsEveryByte) {
  QTimer endPacketTimer;
  RecordingSink sink;
  PacketFramer framer(endPacketTimer, sink);
  BusyLine line;

  framer.OnBytesAvailable(line);
  EXPECT_EQ(line.waits, 1) << "each wait holds the window for a whole read";

  framer.OnEndOfPacket();
  Bytes logged;
  for (const Bytes& row : sink.rows) logged.insert(logged.end(), row.begin(), row.end());
  Bytes read(line.next);
  for (int i = 0; i < line.next; ++i) read[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(logged, read);
}

}  // namespace
}  // namespace tessaly
