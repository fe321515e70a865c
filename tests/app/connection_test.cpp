// Start/Stop end to end over real links: a pseudo-terminal for the serial
// port and a loopback listener for the TCP gateway, with real frames.

#include "app/main_toolbar.h"
#include "app/status_panels.h"
#include "views/packet_log_view.h"
#include "log/packet_text.h"
#include "tests/app/program_fixture.h"
#include "tests/support/loopback.h"
#include "tests/support/pty_pair.h"
#include "tools/traffic/modbus_frames.h"

#include <QAction>
#include <QDialog>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <set>
#include <vector>

#include <sys/inotify.h>
#include <unistd.h>

namespace tessaly::test {
namespace {

using traffic::Frame;

QString Hex(const Frame& frame) { return FormatPacketBytes(frame.data(), static_cast<int>(frame.size())); }

class ConnectionTest : public ProgramTest {
 protected:
  int Picture() { return Window().Toolbar().StartImageIndex(); }
  void ClickStart() { Window().Toolbar().StartButton()->click(); }
  QString State() { return Window().Panels().LinkState(); }
  // Generous: the machine may be busy.
  bool WaitForPackets(int count) {
    return QTest::qWaitFor([&] { return LoggedPackets().size() == count; }, 60'000);
  }
  void StartSerialOn(const PtyPair& line) {
    StartProgram();
    Links().ComPort().SetPort(line.SlavePath());
    ClickStart();
    ASSERT_TRUE(Links().ComPort().Connected()) << reports_.Text();
  }
  void ExpectIdle() {
    EXPECT_EQ(Picture(), ConnectionControl::kStartPicture);
    EXPECT_EQ(State(), "No Connect");
  }
};

TEST_F(ConnectionTest, SerialStart_FramesBecomeRowsCutAtTheSilences_StopCloses) {
  PtyPair line;
  StartSerialOn(line);
  EXPECT_EQ(Picture(), ConnectionControl::kStopPicture);
  EXPECT_EQ(State(), "Connected");
  EXPECT_EQ(Window().Panels().LinkSettings(), line.SlavePath() + ",9600,8,None,1,None");
  EXPECT_EQ(QString::fromStdString(Stored("Port", "SOFTWARE\\Verandel\\Tessaly\\ComPort")), line.SlavePath())
      << "an opened port's settings are remembered";

  const Frame request = traffic::ReadRequest(1, 0, 10);
  const Frame answer = traffic::ReadResponse(1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  line.Send(request);
  ASSERT_TRUE(WaitForPackets(1));
  // A pause far shorter than the end of a packet keeps the halves together;
  // the end is made long, so that a busy machine cannot stretch the pause
  // beyond it.
  Window().Framer().SetInterval(500);
  line.Send(Frame(answer.begin(), answer.begin() + 7));
  QTest::qWait(2);
  line.Send(Frame(answer.begin() + 7, answer.end()));
  ASSERT_TRUE(WaitForPackets(2));
  QTest::qWait(100);
  EXPECT_EQ(LoggedPackets(), (QStringList{Hex(request), Hex(answer)}));

  ClickStart();
  EXPECT_FALSE(Links().ComPort().Connected());
  ExpectIdle();
  EXPECT_TRUE(reports_.isEmpty()) << reports_.Text();
}

TEST_F(ConnectionTest, SerialDeviceGoesAway_ReportedOnceAndThePortIsClosed) {
  PtyPair line;
  StartSerialOn(line);
  line.Send(traffic::ReadRequest(1, 0, 10));
  ASSERT_TRUE(WaitForPackets(1));

  line.HangUp();
  ASSERT_TRUE(WaitUntil([this] { return !Links().ComPort().Connected(); }));
  QTest::qWait(100);
  EXPECT_EQ(reports_, QStringList{"WaitForEvent method failed (win error code: 5)"});
  EXPECT_TRUE(reports_.Details().value(0).startsWith("Port " + line.SlavePath() + " was closed"));
  ExpectIdle();
  const QStringList rows = LoggedPackets();
  ASSERT_EQ(rows.size(), 2) << "what was logged stays, and the loss is marked after it";
  EXPECT_TRUE(rows[1].contains(QStringLiteral("Link lost at "))) << rows[1].toStdString();
  EXPECT_TRUE(rows[1].contains(QStringLiteral("WaitForEvent method failed"))) << rows[1].toStdString();
}

// Counts the store's files replaced in the folder while it lives: every
// rewrite of the store renames a new file over the old one.
class StoreRewrites {
 public:
  explicit StoreRewrites(const std::filesystem::path& folder)
      : watch_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    std::filesystem::create_directories(folder);
    inotify_add_watch(watch_, folder.c_str(), IN_MOVED_TO);
  }
  ~StoreRewrites() { ::close(watch_); }
  int Count() {
    alignas(inotify_event) char events[4096];
    for (ssize_t got; (got = ::read(watch_, events, sizeof events)) > 0;) {
      for (char* at = events; at < events + got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(at);
        if (event->len > 0 && std::string(event->name).ends_with(".reg")) ++count_;
        at += sizeof(inotify_event) + event->len;
      }
    }
    return count_;
  }

 private:
  int watch_;
  int count_ = 0;
};

TEST_F(ConnectionTest, SerialStart_WritesTheStoreOnce) {
  PtyPair line;
  StartProgram();
  Links().ComPort().SetPort(line.SlavePath());
  StoreRewrites rewrites(StoreDirectory());
  ClickStart();
  ASSERT_TRUE(Links().ComPort().Connected()) << reports_.Text();
  EXPECT_EQ(rewrites.Count(), 1);
  EXPECT_EQ(QString::fromStdString(Stored("Port", "SOFTWARE\\Verandel\\Tessaly\\ComPort")), line.SlavePath());
}

TEST_F(ConnectionTest, ManyStartStopCycles_TheButtonShowsTheSameTwoDrawingsThroughout) {
  // A new drawing on every click would be one more entry in Qt's pixmap
  // cache each time: memory that grows with every Start and Stop.
  PtyPair line;
  StartSerialOn(line);
  std::set<qint64> drawings;
  for (int cycle = 0; cycle < 20; ++cycle) {
    ClickStart();
    drawings.insert(Window().Toolbar().StartButton()->icon().cacheKey());
    ClickStart();
    ASSERT_TRUE(Links().ComPort().Connected()) << "cycle " << cycle << ": " << reports_.Text();
    drawings.insert(Window().Toolbar().StartButton()->icon().cacheKey());
  }
  EXPECT_EQ(drawings.size(), 2U);
}

TEST_F(ConnectionTest, SerialStart_DropsBytesLeftInThePacketBuffer) {
  struct LeftOver : ByteSource {
    int Read(std::uint8_t* place, int) override { return place[0] = place[1] = 7, 2; }
  } leftOver;
  PtyPair line;
  StartProgram();
  Links().ComPort().SetPort(line.SlavePath());
  Window().Framer().OnBytesAvailable(leftOver);
  ASSERT_EQ(Window().Framer().Count(), 2);
  ClickStart();
  EXPECT_EQ(Window().Framer().Count(), 0);
}

TEST_F(ConnectionTest, SerialPortMissing_TheFailureIsReportedAndNothingChanges) {
  StartProgram();
  Links().ComPort().SetPort(QStringLiteral("/dev/tessaly-no-such-port"));
  const QString settingsBefore = Window().Panels().LinkSettings();
  ClickStart();
  EXPECT_EQ(reports_, QStringList{"Unable to open com port (win error code: 2)"});
  EXPECT_TRUE(reports_.Details().value(0).startsWith("Port /dev/tessaly-no-such-port.\nThere is no such device"))
      << reports_.Details().value(0).toStdString();
  EXPECT_FALSE(Links().ComPort().Connected());
  EXPECT_EQ(Picture(), ConnectionControl::kStartPicture);
  EXPECT_EQ(Window().Panels().LinkSettings(), settingsBefore);
}

TEST_F(ConnectionTest, ClosingTheWindowWithThePortOpen_ClosesItBeforeTransportIsWritten) {
  PtyPair line;
  StartSerialOn(line);
  std::string transportWhenClosed;
  Links().ComPort().OnAfterClose = [&](TCustomComPort&) { transportWhenClosed = Stored("Transport"); };
  Window().show();
  ASSERT_TRUE(Window().close());
  EXPECT_FALSE(Links().ComPort().Connected());
  EXPECT_EQ(transportWhenClosed, "(missing)");
  EXPECT_EQ(Stored("Transport"), "COM");
}

TEST_F(ConnectionTest, SerialSettingsOpenOnlyWhileNoLinkIsOpen_AndTheStatusIsRefreshedAfter) {
  PtyPair line;
  StartSerialOn(line);
  QDialog comSet;
  comSet.setObjectName(QStringLiteral("fmComSet"));
  Window().AttachDialogs(nullptr, &comSet, nullptr);
  CloseModalBoxes();
  Window().Menus().miComunication->trigger();
  EXPECT_TRUE(closedBoxes_.isEmpty()) << "refused while the port is open";

  ClickStart();
  ASSERT_FALSE(Links().ComPort().Connected());
  Links().ComPort().SetBaudRate(br19200);  // as the dialog's Ok would
  Links().ComPort().Parity().SetBits(prEven);
  Links().ComPort().SetStopBits(sbTwoStopBits);
  Window().Menus().miComunication->trigger();
  EXPECT_EQ(closedBoxes_, QStringList{"fmComSet"});
  EXPECT_EQ(Window().Panels().LinkSettings(), line.SlavePath() + ",19200,8,Even,2,None");
}

TEST_F(ConnectionTest, WindowDestroyedFirst_LeavesTheLinksNoHandlerIntoIt) {
  PtyPair line;
  Data links(StoreDirectory());
  auto window = std::make_unique<MainWindow>(links);
  links.ComPort().SetPort(line.SlavePath());
  window->Toolbar().StartButton()->click();
  ASSERT_TRUE(links.ComPort().Connected());
  window.reset();
  EXPECT_FALSE(links.ComPort().OnRxChar);
  EXPECT_FALSE(links.ComPort().OnLinkLost);
  EXPECT_FALSE(links.Socket().OnRead);
  EXPECT_FALSE(links.Socket().OnError);
  line.Send(traffic::ReadRequest(1, 0, 10));
  links.ComPort().Close();
}

TEST_F(ConnectionTest, SpaceKey_TogglesOnlyWhenTheWindowItselfGetsIt) {
  PtyPair line;
  StartProgram();
  Links().ComPort().SetPort(line.SlavePath());
  QTest::keyClick(&Window().LogView(), Qt::Key_Space);
  EXPECT_FALSE(Links().ComPort().Connected()) << "the focused grid keeps the space key";
  QTest::keyClick(&Window(), Qt::Key_Space, Qt::ShiftModifier);
  EXPECT_TRUE(Links().ComPort().Connected());
  QTest::keyClick(&Window(), Qt::Key_Space);
  EXPECT_FALSE(Links().ComPort().Connected());
}

class TcpConnectionTest : public ConnectionTest {
 protected:
  // Start's sleeps go to sleeper, which the test controls.
  void StartTcpOn(int port, ConnectionControl::Sleeper sleeper) {
    StartProgram();
    Window().Connection().SetSleeper(std::move(sleeper));
    Window().Menus().miTCP->trigger();
    Links().Socket().SetAddress(QStringLiteral("127.0.0.1"));
    Links().Socket().SetPort(port);
    ClickStart();
  }
};

TEST_F(TcpConnectionTest, Start_ConnectsStoresTheTargetAndLogsFrames_PeerCloseIsShown) {
  LoopbackListener gateway;
  int passes = 0;
  StartTcpOn(gateway.Port(), [&passes](int milliseconds) {
    ++passes;
    QThread::msleep(static_cast<unsigned long>(milliseconds));
  });
  ASSERT_TRUE(Links().Socket().Active());
  EXPECT_LT(passes, ConnectionControl::kTcpWaitPasses) << "the wait ends once the connection is in";
  EXPECT_EQ(Picture(), ConnectionControl::kStopPicture);
  EXPECT_EQ(State(), "Connected");
  EXPECT_EQ(Window().Panels().LinkSettings(), "127.0.0.1:" + QString::number(gateway.Port()));
  EXPECT_EQ(Stored("Remote_IP"), "127.0.0.1");
  EXPECT_EQ(Stored("Remote_Port"), std::to_string(gateway.Port()));

  Descriptor peer = gateway.Accept();
  const Frame first = traffic::SizedFrame(1, 40, 1);
  const Frame second = traffic::SizedFrame(2, 12, 2);
  peer.Send(first);
  ASSERT_TRUE(WaitForPackets(1));
  peer.Send(second);
  ASSERT_TRUE(WaitForPackets(2));
  EXPECT_EQ(LoggedPackets(), (QStringList{Hex(first), Hex(second)}));

  peer.Close();
  ASSERT_TRUE(WaitUntil([this] { return !Links().Socket().Active(); }));
  ExpectIdle();
  EXPECT_TRUE(reports_.isEmpty()) << reports_.Text();
  // The drop leaves a trace in the log and in the status line.
  ASSERT_TRUE(WaitForPackets(3));
  const QString mark = LoggedPackets().back();
  EXPECT_TRUE(mark.contains(QStringLiteral("Link lost at "))) << mark.toStdString();
  EXPECT_TRUE(mark.contains(QStringLiteral("the gateway closed the connection"))) << mark.toStdString();
  EXPECT_TRUE(Window().Panels().currentMessage().startsWith(QStringLiteral("Link lost at ")));
}

TEST_F(TcpConnectionTest, GatewaySpeaksTheMomentItIsConnected_ItsFirstFrameIsLogged) {
  LoopbackListener gateway;
  const Frame greeting = traffic::SizedFrame(3, 20, 3);
  gateway.SendOnAccept(greeting);
  StartTcpOn(gateway.Port(), [](int milliseconds) { QThread::msleep(static_cast<unsigned long>(milliseconds)); });
  ASSERT_TRUE(Links().Socket().Active());
  ASSERT_TRUE(WaitForPackets(1));
  QTest::qWait(100);
  EXPECT_EQ(LoggedPackets(), QStringList{Hex(greeting)});
}

TEST_F(TcpConnectionTest, NothingListening_FailureShownOnceAfterTheFullWait_ALateConnectionIsClosed) {
  LoopbackListener lateGateway;
  CloseModalBoxes([&] {
    // While the failure is shown, a connection completes after all.
    Links().Socket().SetPort(lateGateway.Port());
    Links().Socket().SetActive(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Links().Socket().Active(); }, 60'000));
  });
  std::vector<int> sleeps;
  StartTcpOn(UnusedLoopbackPort(), [&](int milliseconds) {
    sleeps.push_back(milliseconds);
    if (sleeps.size() == 100) ClickStart();  // must not nest a second start
  });
  std::vector<int> expected(ConnectionControl::kTcpWaitPasses, ConnectionControl::kTcpWaitSleepMs);
  expected.push_back(100);
  EXPECT_EQ(sleeps, expected);
  EXPECT_EQ(closedBoxes_,
            QStringList{"Error|TCP Error. Can't establish connection with remote device.  "});
  EXPECT_FALSE(Links().Socket().Active());
  ExpectIdle();
  EXPECT_TRUE(reports_.isEmpty());
}

}  // namespace
}  // namespace tessaly::test
