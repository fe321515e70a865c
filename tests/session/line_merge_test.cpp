// Two lines in one log: packets handed by two lines, each when its own
// silence ends, come out in the order they began on the lines, also when
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

// A moment of the line clock, microseconds after its epoch.
LineTime L(long long microseconds) { return LineTime(std::chrono::microseconds(microseconds)); }

// A merge on a clock the test sets, with each line's progress as the test
// says.
class LineMergeTest : public testing::Test {
 protected:
  LineMergeTest() {
    merge_.SetClock([this] { return now_; });
    for (int line = 0; line < 2; ++line) merge_.SetProgress(line, [this, line] { return progress_[line]; });
    merge_.SetOutOfOrderNotice([this](int line, const PacketTiming&) { noticed_.push_back(line); });
  }

  // A packet of line whose first byte came at first (microseconds).
  void Hand(int line, const std::string& bytes, long long first) {
    PacketTiming timing{first, first, first, L(first)};
    merge_.Input(line).AppendPacket(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                    static_cast<int>(bytes.size()), timing);
  }

  LineRows out_;
  LineMerge merge_{out_};
  LineTime now_ = L(10'000'000);
  LineTime progress_[2] = {L(0), L(0)};
  std::vector<int> noticed_;
};

TEST_F(LineMergeTest, PacketsComeOutByFirstByte_OnlyOnceNoLineCanComeBefore) {
  // Line 1's packet began first but is handed later (it ended later, or
  // its line's reader was behind).
  now_ = L(1'000'000);
  Hand(0, "A1", 900'000);
  progress_[1] = L(880'000);  // line 1 may still hand a packet beginning before A1
  merge_.HandOverDue();
  EXPECT_TRUE(out_.rows.empty());
  Hand(1, "B1", 880'000);
  merge_.HandOverDue();
  EXPECT_TRUE(out_.rows.empty());
  progress_[1] = L(1'000'000);
  progress_[0] = L(1'000'000);
  merge_.HandOverDue();
  EXPECT_EQ(out_.Order(), "B1 A1 ");
  ASSERT_EQ(out_.rows.size(), 2u);
  EXPECT_EQ(out_.rows[0].line, 1);
  EXPECT_EQ(out_.rows[1].line, 0);
  EXPECT_EQ(out_.rows[0].timing.firstByte, 880'000);
  EXPECT_EQ(merge_.OutOfOrder(), 0);
}

// A request on a line cut with a long interval, its answer on one cut with
// a short one: the answer ends first, but began after the request.
TEST_F(LineMergeTest, AnAnswerEndingBeforeItsRequest_GoesAfterIt) {
  Hand(1, "answer", 1'005'000);
  Hand(0, "request", 1'000'000);
  progress_[0] = progress_[1] = L(2'000'000);
  merge_.HandOverDue();
  EXPECT_EQ(out_.Order(), "request answer ");
}

// A line's packets keep the order the line gave them, whatever their
// stamps say (a flood cut at full buffers, a clock oddity).
TEST_F(LineMergeTest, ALinesOwnPacketsAreNeverReordered) {
  Hand(0, "A1", 300);
  Hand(0, "A2", 200);
  Hand(1, "B1", 250);
  Hand(0, "A3", 260);
  progress_[0] = progress_[1] = L(1'000);
  merge_.HandOverDue();
  const std::string order = out_.Order();
  EXPECT_LT(order.find("A1"), order.find("A2")) << order;
  EXPECT_LT(order.find("A2"), order.find("A3")) << order;
}

TEST_F(LineMergeTest, ALineThatNeverReportsProgress_HoldsNoOtherLongerThanTheLongestHold) {
  now_ = L(1'000'000);
  progress_[1] = L(0);  // stuck
  Hand(0, "A1", 900'000);
  now_ = L(1'000'000) + LineMerge::kLongestHold - std::chrono::microseconds(1);
  merge_.HandOverDue();
  EXPECT_TRUE(out_.rows.empty());
  now_ = L(1'000'000) + LineMerge::kLongestHold;
  merge_.HandOverDue();
  EXPECT_EQ(out_.Order(), "A1 ");
  // The stuck line's packet, older than what went out, is counted and told.
  Hand(1, "B0", 800'000);
  now_ += LineMerge::kLongestHold;
  merge_.HandOverDue();
  EXPECT_EQ(out_.Order(), "A1 B0 ");
  EXPECT_EQ(merge_.OutOfOrder(), 1);
  EXPECT_EQ(noticed_, std::vector<int>{1});
}

TEST_F(LineMergeTest, Flush_HandsEverythingHeldInOrder_AndEmptyPacketsToo) {
  Hand(0, "A1", 200);
  Hand(1, "B1", 100);
  Hand(1, "", 250);
  Hand(0, "A2", 300);
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

// How far a session's lines have been read: up to about now while the
// line is quiet, no later than the first byte of a packet not yet handed,
// and without end once no link is open.
TEST(CompleteUntil, FollowsTheLineAndStopsAtPacketsNotYetHanded) {
  using std::chrono::milliseconds;
  QTemporaryDir store;
  Data links(store.path().toStdString());
  LineRows out;
  NoReports reports;
  CaptureSession session(links, out, reports);
  session.Framer().SetInterval(200);
  session.BindHandlers();
  EXPECT_EQ(session.CompleteUntil(), LineTime::max());
  test::PtyPair line;
  links.ComPort().SetPort(line.SlavePath());
  session.OpenSerial();
  std::this_thread::sleep_for(milliseconds(50));
  const LineTime idle = session.CompleteUntil();
  EXPECT_LE(idle, LineClock::now());
  EXPECT_GE(idle, LineClock::now() - milliseconds(60));

  const LineTime sent = LineClock::now();
  line.Send("AB");
  std::this_thread::sleep_for(milliseconds(100));
  // The packet runs (200 ms of silence end it): the line is complete up to
  // its first byte only.
  EXPECT_GE(session.CompleteUntil(), sent);
  EXPECT_LE(session.CompleteUntil(), sent + milliseconds(20));
  ASSERT_TRUE(RunUntil([&] { return out.rows.size() == 1; }));
  EXPECT_EQ(out.rows[0].bytes, "AB");
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_GT(session.CompleteUntil(), sent + milliseconds(200));
  session.Close();
  EXPECT_EQ(session.CompleteUntil(), LineTime::max());
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
  merge.SetProgress(0, [&] { return master.CompleteUntil(); });
  merge.SetProgress(1, [&] { return slave.CompleteUntil(); });
  master.Framer().SetInterval(30);
  slave.Framer().SetInterval(5);
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
