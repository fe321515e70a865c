// The line's health over scripted conversations whose figures were worked
// out by hand: answers, a unit that does not answer, an exception, a
// garbled answer followed by a good one, a broadcast and a request still
// waiting; then the same after a clear and over a million packets, and
// pairing that agrees with the details pane's.
#include "tests/modbus/modbus_test_support.h"

#include "modbus/function_names.h"
#include "modbus/line_statistics.h"

#include <gtest/gtest.h>

namespace tessaly::modbus::testing {
namespace {

constexpr LineTiming k9600{9600, 10};

// Each byte takes a millisecond on this scripted line; a packet ends 3.5 ms
// after its last byte.
void AddScripted(TestLog& log, Bytes bytes, std::int64_t firstByteAt) {
  const std::int64_t last = firstByteAt + 1000 * static_cast<std::int64_t>(bytes.size());
  log.Add(std::move(bytes), last + 3500, firstByteAt, last);
}

// One poll cycle starting at base (grid rows 1 to 12 in the first cycle).
void AddCycle(TestLog& log, std::int64_t base) {
  AddScripted(log, Frame("01 03 00 00 00 02"), base + 0);                 // 1 request, 8 bytes
  AddScripted(log, Frame("01 03 04 00 0A 00 0B"), base + 12'000);         // 2 answer: 4 ms
  AddScripted(log, Frame("02 03 00 00 00 02"), base + 100'000);           // 3 unit 2, never answered
  AddScripted(log, Frame("01 03 00 00 00 02"), base + 200'000);           // 4
  AddScripted(log, Frame("01 03 04 00 0A 00 0C"), base + 215'000);        // 5 answer: 7 ms
  AddScripted(log, Frame("03 03 00 10 00 01"), base + 300'000);           // 6
  AddScripted(log, Frame("03 83 02"), base + 310'000);                    // 7 exception 2: 2 ms
  AddScripted(log, Frame("01 03 00 00 00 02"), base + 400'000);           // 8
  AddScripted(log, Hex("01 03 04 00 0A 00 0B 00 00"), base + 410'000);    // 9 bad CRC
  AddScripted(log, Frame("01 03 04 00 0A 00 0B"), base + 425'000);        // 10 answer: 17 ms after 8
  AddScripted(log, Frame("00 06 00 01 00 05"), base + 500'000);           // 11 broadcast
  AddScripted(log, Frame("02 03 00 00 00 02"), base + 600'000);           // 12 unit 2 again
}

void Feed(LineStatistics& statistics, const PacketSequence& log, int from = 0) {
  for (int i = from; i < log.Size(); ++i) statistics.Add(log.At(i));
}

TEST(LineStatistics, OneCycleGivesTheHandWorkedFigures) {
  TestLog log;
  AddCycle(log, 0);
  LineStatistics statistics(k9600);
  Feed(statistics, log);

  const UnitFunctionHealth* polled = statistics.Find(1, 3);
  ASSERT_NE(polled, nullptr);
  EXPECT_EQ(polled->requests, 3u);
  EXPECT_EQ(polled->answers, 3u);
  EXPECT_EQ(polled->noAnswer, 0u);
  // The turnaround runs from the request's last byte, whatever came between.
  EXPECT_EQ(polled->turnaround.Min(), 4000);
  EXPECT_EQ(polled->turnaround.Max(), 17000);
  EXPECT_NEAR(polled->turnaround.Average(), 28000.0 / 3, 0.01);
  EXPECT_EQ(polled->turnaround.Percentile95(), 17000);
  // Requests ended at 11.5, 211.5 and 411.5 ms.
  EXPECT_DOUBLE_EQ(polled->PollPeriod().value_or(0), 200'000.0);
  EXPECT_EQ(polled->lastSeen, 437'500);

  const UnitFunctionHealth* absent = statistics.Find(2, 3);
  ASSERT_NE(absent, nullptr);
  EXPECT_EQ(absent->requests, 2u);
  EXPECT_EQ(absent->noAnswer, 1u);  // the last request still waits
  EXPECT_EQ(absent->answers, 0u);
  EXPECT_EQ(absent->turnaround.Count(), 0u);

  const UnitFunctionHealth* refusing = statistics.Find(3, 3);
  ASSERT_NE(refusing, nullptr);
  EXPECT_EQ(refusing->ExceptionCount(), 1u);
  EXPECT_EQ(refusing->exceptions.at(2), 1u);
  EXPECT_EQ(refusing->answers, 0u);
  EXPECT_EQ(refusing->turnaround.Min(), 2000);
  EXPECT_FALSE(refusing->PollPeriod());

  const UnitFunctionHealth* broadcast = statistics.Find(0, 6);
  ASSERT_NE(broadcast, nullptr);
  EXPECT_EQ(broadcast->requests, 1u);
  EXPECT_EQ(broadcast->noAnswer, 0u);

  // 97 bytes of 1 ms each, timed by the line's speed (as arrival times
  // squeezed by a buffer on the way would not), over 608 ms from the first
  // byte to the last end.
  LineStatistics byMillisecondBytes(LineTiming{10'000, 10});
  Feed(byMillisecondBytes, log);
  const LineSummary& line = byMillisecondBytes.Summary();
  EXPECT_EQ(line.packets, 12u);
  EXPECT_EQ(line.badPackets, 1u);
  EXPECT_DOUBLE_EQ(line.BadFrameRate(), 1.0 / 12);
  EXPECT_NEAR(line.BusLoad().value_or(0), 97.0 / 608, 1e-9);
  EXPECT_NEAR(line.PacketsPerSecond().value_or(0), 11 / 0.6, 1e-9);
}

TEST(LineStatistics, ClearStartsAgainAndAMillionPacketsAddUp) {
  TestLog log;
  AddCycle(log, 0);
  LineStatistics statistics(k9600);
  Feed(statistics, log);
  statistics.Clear();
  EXPECT_EQ(statistics.Taken(), 0u);
  EXPECT_TRUE(statistics.Units().empty());
  EXPECT_FALSE(statistics.Summary().BusLoad());

  // The same figures after a clear, then across cycle boundaries: unit 2's
  // waiting request is not answered by the next cycle's first request.
  constexpr int kCycles = 83'334;  // 1,000,008 packets
  constexpr std::int64_t kCycle = 1'000'000;
  TestLog big;
  for (int cycle = 0; cycle < kCycles; ++cycle) AddCycle(big, cycle * kCycle);
  Feed(statistics, big);
  const std::uint64_t n = kCycles;
  EXPECT_EQ(statistics.Taken(), 12 * n);
  const UnitFunctionHealth& polled = *statistics.Find(1, 3);
  EXPECT_EQ(polled.requests, 3 * n);
  EXPECT_EQ(polled.answers, 3 * n);
  EXPECT_EQ(statistics.Summary().badPackets, n);
  EXPECT_EQ(polled.turnaround.Percentile95(), 17000);
  EXPECT_NEAR(polled.turnaround.Average(), 28000.0 / 3, 0.01);
  EXPECT_NEAR(polled.PollPeriod().value_or(0),
              static_cast<double>(400'000 + (kCycles - 1) * kCycle) / (3 * n - 1), 1e-6);
  EXPECT_EQ(statistics.Find(2, 3)->noAnswer, 2 * n - 1);
  EXPECT_EQ(statistics.Find(3, 3)->exceptions.at(2), n);
  EXPECT_EQ(statistics.Summary().badPackets, n);
  EXPECT_NEAR(statistics.Summary().PacketsPerSecond().value_or(0),
              static_cast<double>(12 * n - 1) * 1e6 / ((kCycles - 1) * kCycle + 600'000), 1e-6);
}

// A link lost and back between a request and its answer: the notes are no
// packets of the line, good or bad, and pairing passes over them.
TEST(LineStatistics, NotesOfTheCaptureAreNoFrames) {
  TestLog log;
  AddScripted(log, Frame("01 03 00 00 00 02"), 0);
  log.AddNote(20'000);
  log.AddNote(30'000);
  AddScripted(log, Frame("01 03 04 00 0A 00 0B"), 40'000);  // 32 ms after the request's last byte
  LineStatistics statistics(k9600);
  Feed(statistics, log);
  EXPECT_EQ(statistics.Taken(), 2u);
  EXPECT_EQ(statistics.Summary().badPackets, 0u);
  ASSERT_EQ(statistics.Units().size(), 1u);
  const UnitFunctionHealth& polled = *statistics.Find(1, 3);
  EXPECT_EQ(polled.answers, 1u);
  EXPECT_EQ(polled.noAnswer, 0u);
  EXPECT_EQ(polled.turnaround.Min(), 32'000);

  const Pairing pairing = PairingOf(log, 0, k9600);
  EXPECT_EQ(pairing.kind, Pairing::kAnsweredBy);
  EXPECT_EQ(pairing.row, 3);
  EXPECT_EQ(pairing.damaged, -1);
  EXPECT_EQ(pairing.turnaround, 32'000);
  const std::vector<DetailLine> note = DescribePacket(log, 1, k9600);
  ASSERT_EQ(note.size(), 2u);
  EXPECT_EQ(note[1].value, "none: an event of the capture, no byte came on the line");
}

// Without the bytes' arrival stamped, the turnaround is worked out from the
// packets' ends and the line's speed, and comes out as with them: a byte's
// arrival is stamped when it has crossed the line, a millisecond a byte here.
TEST(LineStatistics, TurnaroundFromEndsEqualsTheStampedOne) {
  const LineTiming line{10'000, 10};
  const auto add = [](TestLog& log, Bytes bytes, std::int64_t start, bool stamped) {
    const std::int64_t first = start + 1000;
    const std::int64_t last = start + 1000 * static_cast<std::int64_t>(bytes.size());
    if (stamped) {
      log.Add(std::move(bytes), last + 3500, first, last);
    } else {
      log.Add(std::move(bytes), last + 3500);
    }
  };
  for (const bool stamped : {true, false}) {
    SCOPED_TRACE(stamped);
    TestLog log;
    add(log, Frame("01 03 00 00 00 02"), 0, stamped);         // last byte at 8 ms
    add(log, Frame("01 03 04 00 0A 00 0B"), 12'000, stamped);  // first byte at 13 ms
    EXPECT_EQ(PairingOf(log, 0, line).turnaround, 5000);
    EXPECT_EQ(PairingOf(log, 1, line).turnaround, 5000);
    LineStatistics statistics(line);
    Feed(statistics, log);
    EXPECT_EQ(statistics.Find(1, 3)->turnaround.Min(), 5000);
  }
}

// A log with the line's timing only: what the engine counts agrees, request
// by request, with the pairing the details pane shows.
TEST(LineStatistics, AgreesWithThePairingOfEveryRow) {
  TestLog log;
  std::int64_t at = 0;
  const Bytes frames[] = {
      Frame("11 03 00 6B 00 03"), Frame("11 03 06 AE 41 56 52 43 40"), Frame("11 06 00 01 00 03"),
      Frame("12 06 00 01 00 07"), Frame("12 06 00 01 00 07"), Frame("00 06 00 02 00 01"),
      Hex("11 03 02 00 2A 00 00"), Frame("13 04 00 00 00 02"), Frame("13 84 03"),
      Frame("12 06 00 01 00 07"), Hex("12 06"), Frame("14 03 00 00 00 01"),
      Frame("11 03 02 00 2A"), Frame("13 04 00 00 00 02"),
  };
  for (int repeat = 0; repeat < 50; ++repeat) {
    for (const Bytes& frame : frames) {
      at += 17'000 + 1'000 * ((repeat * 7 + static_cast<int>(frame.size())) % 5);
      log.Add(frame, at);
    }
  }
  LineStatistics statistics(k9600);
  Feed(statistics, log);

  std::map<std::uint16_t, UnitFunctionHealth> expected;
  for (int row = 0; row < log.Size(); ++row) {
    const FrameSummary self = SummaryAt(log, row);
    if (!self.good || self.direction != Direction::Request) continue;
    UnitFunctionHealth& entry = expected[static_cast<std::uint16_t>(self.unit << 8 | self.function)];
    ++entry.requests;
    const Pairing pairing = PairingOf(log, row, k9600);
    if (pairing.kind == Pairing::kNoAnswer) ++entry.noAnswer;
    if (pairing.kind == Pairing::kAnsweredBy) {
      const LoggedPacket answer = log.At(pairing.row);
      if (answer.bytes[1] & kExceptionBit) {
        ++entry.exceptions[answer.bytes[2]];
      } else {
        ++entry.answers;
      }
      entry.turnaround.Add(pairing.turnaround.value_or(-1));
    }
  }
  ASSERT_FALSE(expected.empty());
  for (const auto& [key, want] : expected) {
    SCOPED_TRACE(key);
    const UnitFunctionHealth* got = statistics.Find(key >> 8, key & 0xFF);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->requests, want.requests);
    EXPECT_EQ(got->answers, want.answers);
    EXPECT_EQ(got->noAnswer, want.noAnswer);
    EXPECT_EQ(got->exceptions, want.exceptions);
    EXPECT_EQ(got->turnaround.Count(), want.turnaround.Count());
    EXPECT_EQ(got->turnaround.Min(), want.turnaround.Min());
    EXPECT_EQ(got->turnaround.Max(), want.turnaround.Max());
  }
}

}  // namespace
}  // namespace tessaly::modbus::testing
