// Where packets end, from arrival moments fed straight to the cutter: no
// sleeping, no thread, every moment chosen by the test.

#include "core/packet_cutter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaly {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

// A moment, in microseconds after the start of the test's line.
LineTime At(double ms) { return LineTime(microseconds(static_cast<long long>(ms * 1000.0))); }
double Ms(LineTime time) {
  return static_cast<double>(std::chrono::duration_cast<microseconds>(time.time_since_epoch()).count()) / 1000.0;
}

struct Cut {
  std::string bytes;
  double first;
  double last;
  double ended;
};

class CutterLine {
 public:
  explicit CutterLine(PacketCutter::Rules rules) : cutter_(rules) {}

  // count bytes of value `byte` at ms.
  CutterLine& Bytes(double ms, int count = 1, char byte = 'a') {
    const std::string bytes(static_cast<std::size_t>(count), byte);
    cutter_.Feed(reinterpret_cast<const std::uint8_t*>(bytes.data()), count, At(ms), emit_);
    return *this;
  }
  CutterLine& EmptyRead(double ms) {
    cutter_.Feed(nullptr, 0, At(ms), emit_);
    return *this;
  }
  CutterLine& Now(double ms) {
    cutter_.Advance(At(ms), emit_);
    return *this;
  }
  CutterLine& Finish() {
    cutter_.Finish(emit_);
    return *this;
  }
  const std::vector<Cut>& Cuts() const { return cuts_; }
  std::vector<std::string> Packets() const {
    std::vector<std::string> packets;
    for (const Cut& cut : cuts_) packets.push_back(cut.bytes);
    return packets;
  }
  PacketCutter& Cutter() { return cutter_; }

 private:
  PacketCutter cutter_;
  std::vector<Cut> cuts_;
  PacketCutter::Emit emit_ = [this](const PacketCutter::Packet& packet) {
    cuts_.push_back({std::string(reinterpret_cast<const char*>(packet.bytes), static_cast<std::size_t>(packet.count)),
                     Ms(packet.firstByte), Ms(packet.lastByte), Ms(packet.ended)});
  };
};

PacketCutter::Rules Grouping(int intervalMs) {
  PacketCutter::Rules rules;
  rules.interval = milliseconds(intervalMs);
  return rules;
}

PacketCutter::Rules Silences(int intervalMs) {
  PacketCutter::Rules rules = Grouping(intervalMs);
  rules.cutAtSilences = true;
  return rules;
}

// The read grouping: a packet ends only after more than 10 ms plus the
// interval of silence; bytes 10 ms apart or closer share a read, and so a
// packet, whatever the interval.
TEST(PacketCutterGrouping, SilenceLongerThanReadGapPlusIntervalEndsThePacket) {
  CutterLine line(Grouping(4));
  line.Bytes(0, 8, 'q').Now(13.9).Bytes(14.001, 8, 'r').Now(40);
  ASSERT_EQ(line.Packets(), (std::vector<std::string>{"qqqqqqqq", "rrrrrrrr"}));
  // Stamped where the silence ended them: last byte, the read's 10 ms, the
  // interval.
  EXPECT_DOUBLE_EQ(line.Cuts()[0].ended, 14.0);
  EXPECT_DOUBLE_EQ(line.Cuts()[0].first, 0.0);
  EXPECT_DOUBLE_EQ(line.Cuts()[0].last, 0.0);
  EXPECT_DOUBLE_EQ(line.Cuts()[1].first, 14.001);
  EXPECT_DOUBLE_EQ(line.Cuts()[1].ended, 28.001);
}

TEST(PacketCutterGrouping, ShorterSilencesStayInOnePacket) {
  struct Case {
    int interval;
    double gap;
  };
  // 10 ms joins the read; a gap past the read's end but within the interval
  // after it joins the packet.
  for (const Case c : {Case{4, 10.0}, Case{1, 10.0}, Case{4, 14.0}, Case{1, 11.0}, Case{30, 40.0}}) {
    CutterLine line(Grouping(c.interval));
    line.Bytes(0, 3).Bytes(c.gap, 3).Now(c.gap + 200);
    ASSERT_EQ(line.Cuts().size(), 1u) << "interval " << c.interval << " gap " << c.gap;
    EXPECT_EQ(line.Cuts()[0].bytes.size(), 6u);
    EXPECT_DOUBLE_EQ(line.Cuts()[0].last, c.gap);
    EXPECT_DOUBLE_EQ(line.Cuts()[0].ended, c.gap + 10 + c.interval);
  }
}

TEST(PacketCutterGrouping, FastAnswerJoinsItsRequest) {
  // A slave answering 5 ms after its request at 9600 baud: one row, as the
  // read grouping has it.
  CutterLine line(Grouping(4));
  line.Bytes(0, 8, 'q').Bytes(5, 8, 'r').Now(100);
  EXPECT_EQ(line.Packets(), (std::vector<std::string>{"qqqqqqqqrrrrrrrr"}));
}

TEST(PacketCutterGrouping, FullBufferEndsThePacketAtOnce) {
  CutterLine line(Grouping(4));
  line.Bytes(0, 1000, 'a').Bytes(1, 1500, 'b');
  // Out at once, stamped where the read that filled it left the line quiet.
  ASSERT_EQ(line.Cuts().size(), 2u);
  EXPECT_EQ(line.Cuts()[0].bytes, std::string(1000, 'a') + std::string(24, 'b'));
  EXPECT_DOUBLE_EQ(line.Cuts()[0].ended, 5.0);
  EXPECT_EQ(line.Cuts()[1].bytes, std::string(1024, 'b'));
  EXPECT_EQ(line.Cutter().Count(), 1500 - 24 - 1024);
  line.Now(100);
  ASSERT_EQ(line.Cuts().size(), 3u);
  EXPECT_EQ(line.Cuts()[2].bytes, std::string(452, 'b'));
  EXPECT_DOUBLE_EQ(line.Cuts()[2].first, 1.0);
  EXPECT_DOUBLE_EQ(line.Cuts()[2].ended, 15.0);
}

TEST(PacketCutterGrouping, ReadEndsAfterItsTotalTime) {
  // Bytes every 5 ms never leave a 10 ms silence; the read still ends 1000
  // ms after it began, the line counting as quiet from its last byte, and a
  // packet ends there when the next gap is longer than the interval.
  CutterLine shortInterval(Grouping(4));
  for (int ms = 0; ms <= 1500; ms += 5) shortInterval.Bytes(ms);
  shortInterval.Now(2000);
  ASSERT_EQ(shortInterval.Cuts().size(), 2u);
  EXPECT_EQ(shortInterval.Cuts()[0].bytes.size(), 201u);  // 0 to 1000 ms: a byte at the limit joins
  EXPECT_DOUBLE_EQ(shortInterval.Cuts()[0].ended, 1004.0);
  EXPECT_DOUBLE_EQ(shortInterval.Cuts()[1].first, 1005.0);

  // With an interval longer than the gap the next read joins the packet.
  CutterLine longInterval(Grouping(15));
  for (int ms = 0; ms <= 1500; ms += 5) longInterval.Bytes(ms);
  longInterval.Now(2000);
  ASSERT_EQ(longInterval.Cuts().size(), 1u);
  EXPECT_EQ(longInterval.Cuts()[0].bytes.size(), 301u);
}

TEST(PacketCutterGrouping, EmptyReadGivesAnEmptyPacket) {
  CutterLine line(Grouping(4));
  line.EmptyRead(10).Now(14).Now(14.001);
  ASSERT_EQ(line.Cuts().size(), 1u);
  EXPECT_EQ(line.Cuts()[0].bytes, "");
  EXPECT_DOUBLE_EQ(line.Cuts()[0].first, 14.0);
  EXPECT_DOUBLE_EQ(line.Cuts()[0].ended, 14.0);
}

TEST(PacketCutterGrouping, NothingEndsBeforeItsDecision) {
  CutterLine line(Grouping(4));
  line.Bytes(0, 4);
  // Each look before the decision ends nothing; the decision is the first
  // moment after the silence.
  for (double ms : {1.0, 10.0, 12.0, 14.0}) {
    line.Now(ms);
    EXPECT_TRUE(line.Cuts().empty()) << ms;
  }
  const std::optional<LineTime> decision = line.Cutter().NextDecision();
  ASSERT_TRUE(decision.has_value());
  EXPECT_GT(*decision, At(14));
  EXPECT_LT(*decision, At(14.001));
  line.Cutter().Advance(*decision, [&](const PacketCutter::Packet& packet) { EXPECT_EQ(packet.count, 4); });
  EXPECT_FALSE(line.Cutter().NextDecision().has_value());
}

TEST(PacketCutterGrouping, FinishEndsThePacketWhereItsSilenceWould) {
  CutterLine line(Grouping(4));
  line.Bytes(0, 2).Bytes(3, 2).Finish();
  ASSERT_EQ(line.Cuts().size(), 1u);
  EXPECT_DOUBLE_EQ(line.Cuts()[0].ended, 17.0);
  // A read that has run out of time ends at its last byte.
  CutterLine timedOut(Grouping(4));
  for (int ms = 0; ms <= 1000; ms += 5) timedOut.Bytes(ms);
  timedOut.Finish();
  ASSERT_EQ(timedOut.Cuts().size(), 1u);
  EXPECT_DOUBLE_EQ(timedOut.Cuts()[0].ended, 1004.0);
}

TEST(PacketCutterGrouping, NewIntervalRestartsTheCountdown) {
  CutterLine line(Grouping(4));
  line.Bytes(0).Now(11);  // the read ended at 10; the packet would end at 14
  PacketCutter::Rules longer = Grouping(30);
  line.Cutter().SetRules(longer, At(12));
  line.Now(20).Bytes(41, 1, 'z').Now(100);
  ASSERT_EQ(line.Cuts().size(), 1u);
  EXPECT_EQ(line.Cuts()[0].bytes, "az");
}

// The Modbus rule: every silence longer than the interval ends a packet,
// whatever the reads.
TEST(PacketCutterSilences, EverySilenceLongerThanTheIntervalCuts) {
  struct Case {
    int interval;
    double gap;  // from the request's last byte to the answer's first
    bool cut;
  };
  for (const Case c : {Case{4, 4.5, true}, Case{4, 4.0, false}, Case{2, 2.5, true}, Case{1, 1.001, true},
                       Case{1, 0.9, false}, Case{4, 8.0, true}}) {
    CutterLine line(Silences(c.interval));
    // A request whose bytes come a millisecond apart, then the answer.
    line.Bytes(0, 1, 'q').Bytes(1, 1, 'q').Bytes(1 + c.gap, 2, 'r').Now(200);
    const std::vector<std::string> expected =
        c.cut ? std::vector<std::string>{"qq", "rr"} : std::vector<std::string>{"qqrr"};
    EXPECT_EQ(line.Packets(), expected) << "interval " << c.interval << " gap " << c.gap;
    ASSERT_FALSE(line.Cuts().empty());
    EXPECT_DOUBLE_EQ(line.Cuts()[0].ended, c.cut ? 1.0 + c.interval : 1 + c.gap + c.interval);
  }
}

TEST(PacketCutterSilences, FullBufferStillEndsThePacket) {
  CutterLine line(Silences(1));
  line.Bytes(0, 1030).Now(10);
  ASSERT_EQ(line.Cuts().size(), 2u);
  EXPECT_EQ(line.Cuts()[0].bytes.size(), 1024u);
  EXPECT_EQ(line.Cuts()[1].bytes.size(), 6u);
}

}  // namespace
}  // namespace tessaly
