// Two lines in one log: packets handed by two framers, each when its own
// silence ends, come out in the order they happened on the lines, also when
// the line with the shorter interval ends an answer before its request.
#include "session/line_merge.h"

#include "session/link_holder.h"
#include "session/capture_reporter.h"
#include "session/capture_session.h"
#include "tests/support/pty_pair.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace tessaly {
namespace {

struct LineRow {
  int line;
  std::string bytes;
  PacketTiming timing;
};

struct LineRows : PacketSink {
  void AppendPacket(const std::uint8_t* bytes, int count, PacketTime endedAt) override {
    AppendLinePacket(0, bytes, count, PacketTiming{endedAt, endedAt, endedAt});
  }
  void AppendLinePacket(int line, const std::uint8_t* bytes, int count, const PacketTiming& timing) override {
    rows.push_back({line, std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count)), timing});
  }
  std::string Order() const {
    std::string order;
    for (const LineRow& row : rows) order += row.bytes + ' ';
    return order;
  }
  std::vector<LineRow> rows;
};

// A merge on a clock the test sets, with each line's progress as the test
// says.
class LineMergeTest : public testing::Test {
 protected:
  LineMergeTest() {
    merge_.SetClock([this] { return now_; });
    for (int line = 0; line < 2; ++line) merge_.SetProgress(line, [this, line] { return progress_[line]; });
  }

  // A packet of line whose first byte came at first, last at last, ended at end.
  void Hand(int line, const std::string& bytes, PacketTime first, PacketTime last, PacketTime end) {
    merge_.Input(line).AppendPacket(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                    static_cast<int>(bytes.size()), PacketTiming{first, last, end});
  }

  LineRows out_;
  LineMerge merge_{out_};
  PacketTime now_ = 10'000'000;
  PacketTime progress_[2] = {0, 0};
};

TEST_F(LineMergeTest, PacketsComeOutInTheOrderOfTheirEnds_OnlyOnceNoLineCanComeBefore) {
  // Line 1's packet ended first but its framer hands it later (its link's
  // reader was behind).
  now_ = 1'000'000;
  Hand(0, "A1", 900'000, 905'000, 910'000);
  progress_[1] = 905'000;  // line 1 may still hand a packet ending before A1
  merge_.HandOverDue();
  EXPECT_TRUE(out_.rows.empty());
  Hand(1, "B1", 880'000, 890'000, 895'000);
  progress_[1] = 1'000'000;
  progress_[0] = 1'000'000;
  merge_.HandOverDue();
  EXPECT_EQ(out_.Order(), "B1 A1 ");
  ASSERT_EQ(out_.rows.size(), 2u);
  EXPECT_EQ(out_.rows[0].line, 1);
  EXPECT_EQ(out_.rows[1].line, 0);
  EXPECT_EQ(out_.rows[0].timing.firstByte, 880'000);
  EXPECT_EQ(merge_.OutOfOrder(), 0);
}

// A request on a line cut with 10 ms, its answer on a line cut with 2 ms:
// the answer ends 2 ms before the request on the line clock, although its
// first byte came after the request's last.
TEST_F(LineMergeTest, EndsWithinTheTieWindow_GoByFirstByte) {
  now_ = 1'010'200;
  Hand(1, "answer", 1'005'000, 1'006'000, 1'008'000);
  Hand(0, "request", 1'000'000, 1'000'100, 1'010'100);
  progress_[0] = progress_[1] = 2'000'000;
  now_ = 2'000'000;
  merge_.HandOverDue();
  EXPECT_EQ(out_.Order(), "request answer ");
}

TEST_F(LineMergeTest, ALineThatNeverReportsProgress_HoldsNoOtherLongerThanTheLongestHold) {
  now_ = 1'000'000;
  progress_[1] = 0;  // stuck
  Hand(0, "A1", 900'000, 905'000, 910'000);
  now_ = 910'000 + LineMerge::kLongestHold - 1;
  merge_.HandOverDue();
  EXPECT_TRUE(out_.rows.empty());
  now_ = 910'000 + LineMerge::kLongestHold;
  merge_.HandOverDue();
  EXPECT_EQ(out_.Order(), "A1 ");
  // The stuck line's packet, older than what went out, is counted out of order.
  Hand(1, "B0", 800'000, 801'000, 802'000);
  now_ += LineMerge::kLongestHold;
  merge_.HandOverDue();
  EXPECT_EQ(out_.Order(), "A1 B0 ");
  EXPECT_EQ(merge_.OutOfOrder(), 1);
}

TEST_F(LineMergeTest, Flush_HandsEverythingHeldInOrder_AndEmptyPacketsToo) {
  progress_[0] = progress_[1] = 0;
  now_ = 400;
  Hand(0, "A2", 300, 310, 320);
  Hand(1, "", 250, 250, 250);
  Hand(1, "B1", 100, 110, 120);
  Hand(0, "A1", 200, 210, 220);
  EXPECT_EQ(merge_.Held(), 4);
  merge_.Flush();
  EXPECT_EQ(out_.Order(), "B1 A1  A2 ");
  EXPECT_EQ(merge_.Held(), 0);
}

// Runs the event loop until the condition holds (or a minute passes).
template <class Condition>
bool RunUntil(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

struct NoReports : CaptureReporter {
  void LinkLost(const QString&, const QString&) override {}
  void LinkDropped(const QString&, PacketTime, bool) override {}
  void LinkBack(const QString&, PacketTime) override {}
};

// What a session says of the packets it has still to hand: no earlier than
// the running packet's end, nor than the end of bytes its link keeps unread.
TEST(EarliestEndToCome, BoundedByTheRunningPacketAndByBytesNotYetRead) {
  using std::chrono::milliseconds;
  QTemporaryDir store;
  Data links(store.path().toStdString());
  LineRows out;
  NoReports reports;
  CaptureSession session(links, out, reports);
  session.Framer().SetInterval(200);
  session.BindHandlers();
  test::PtyPair line;
  links.ComPort().SetPort(line.SlavePath());
  session.OpenSerial();
  const PacketTime idle = session.EarliestEndToCome();
  EXPECT_GE(idle, WallClockNow() + 200'000 - 2 * 20'000 - 50'000);

  // Bytes kept by the link, not yet read by the owner (no events run).
  line.Send("AB");
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_LE(session.EarliestEndToCome(), WallClockNow() + 150'000);
  // Read into the running packet, which ends 200 ms after them.
  ASSERT_TRUE(RunUntil([&] { return session.Framer().Count() == 2; }));
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_LE(session.EarliestEndToCome(), WallClockNow() + 150'000);
  session.Close();
}

// Both directions of a tap, each on a pseudo-terminal of its own, cut with
// different intervals: requests on one, answers on the other, each answer
// starting a few milliseconds after its request ends. The log holds them
// alternately, each on its line, whichever framer ends its packet first.
TEST(LineMergeOnPtys, RequestsAndAnswersOnTwoLines_OneLogInTimeOrder) {
  QTemporaryDir store;
  Data masterLinks(store.path().toStdString());
  Data slaveLinks(store.path().toStdString());
  LineRows out;
  LineMerge merge(out);
  NoReports reports;
  CaptureSession master(masterLinks, merge.Input(0), reports);
  CaptureSession slave(slaveLinks, merge.Input(1), reports);
  merge.SetProgress(0, [&] { return master.EarliestEndToCome(); });
  merge.SetProgress(1, [&] { return slave.EarliestEndToCome(); });
  master.Framer().SetInterval(30);
  slave.Framer().SetInterval(5);
  merge.SetTieWindow(LineMerge::TieWindowFor({30, 5}));
  master.BindHandlers();
  slave.BindHandlers();
  test::PtyPair masterLine;
  test::PtyPair slaveLine;
  masterLinks.ComPort().SetPort(masterLine.SlavePath());
  slaveLinks.ComPort().SetPort(slaveLine.SlavePath());
  master.OpenSerial();
  slave.OpenSerial();

  constexpr int kExchanges = 6;
  std::string expected;
  for (int i = 0; i < kExchanges; ++i) {
    const std::string request = "Q" + std::to_string(i);
    const std::string answer = "R" + std::to_string(i);
    expected += request + ' ' + answer + ' ';
    masterLine.Send(request);
    // The answer comes 8 ms after the request: its 5 ms silence ends long
    // before the request's 30 ms one does.
    std::this_thread::sleep_for(std::chrono::milliseconds(8));
    slaveLine.Send(answer);
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    QCoreApplication::processEvents();
  }
  ASSERT_TRUE(RunUntil([&] { return out.rows.size() == 2 * kExchanges && merge.Held() == 0; }))
      << out.Order();
  EXPECT_EQ(out.Order(), expected);
  for (std::size_t row = 0; row < out.rows.size(); ++row) {
    EXPECT_EQ(out.rows[row].line, out.rows[row].bytes[0] == 'Q' ? 0 : 1) << row;
  }
  EXPECT_EQ(merge.OutOfOrder(), 0);
  master.Close();
  slave.Close();
}

}  // namespace
}  // namespace tessaly
