// What the user is told beside a failure's message, the warning about a
// port shared with another program, and the keyboard's way to Start/Stop.

#include "app/main_toolbar.h"
#include "app/status_panels.h"
#include "views/packet_log_view.h"
#include "session/link_status.h"
#include "links/serial/com_error.h"
#include "links/serial/com_text.h"
#include "links/serial/device_access.h"
#include "links/tcp/socket_error.h"
#include "tests/app/program_fixture.h"
#include "tests/support/holding_process.h"
#include "tests/support/loopback.h"
#include "tests/support/pty_pair.h"

#include <QAction>
#include <QFile>
#include <QApplication>
#include <QMessageBox>
#include <QGuiApplication>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cerrno>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly::test {
namespace {

TEST(FailureDetailTest, EachErrorNumber_NamesWhatItConcernsTheCauseAndTheRemedy) {
  const struct {
    int code;
    QString detail;
    const char* mustContain;
  } rows[] = {
      {ENOENT, ComFailureDetail(ENOENT, "COM3", "/dev/ttyS2"), "Port COM3 (device /dev/ttyS2).\nThere is no such device"},
      {EACCES, ComFailureDetail(EACCES, "ttyUSB0", "/dev/tessaly-absent"), "sudo usermod -aG dialout $USER"},
      {EBUSY, ComFailureDetail(EBUSY, "/dev/pts/4", "/dev/pts/4", "socat (pid 812)"),
       "Port /dev/pts/4.\nThe port is in use by socat (pid 812)."},
      {EBUSY, ComFailureDetail(EBUSY, "ttyS0", "/dev/ttyS0"), "in use by another program"},
      {ECONNREFUSED, ConnectFailureDetail(ECONNREFUSED, "10.0.0.5", 502),
       "Gateway 10.0.0.5:502.\nThe connection was refused"},
      {ETIMEDOUT, ConnectFailureDetail(ETIMEDOUT, "10.0.0.5", 502), "No answer in time"},
      {EHOSTUNREACH, ConnectFailureDetail(EHOSTUNREACH, "10.0.0.5", 502), "cannot be reached from this computer"},
      {kNoAddressErrorCode, ConnectFailureDetail(kNoAddressErrorCode, "", 502), "No address is set"},
      {ENOMEM, ConnectFailureDetail(ENOMEM, "10.0.0.5", 502), "ran out of memory for the connection"},
      {EAGAIN, ConnectFailureDetail(EAGAIN, "10.0.0.5", 502), "not the network"},
      {EAGAIN, QString::fromStdString(ReaderStartError(EAGAIN).what()), "Out of memory: the connection cannot be read"},
      {EMFILE, ComFailureDetail(EMFILE, "ttyS0", "/dev/ttyS0"), "(error 24)"},
  };
  for (const auto& row : rows) {
    EXPECT_TRUE(row.detail.contains(QString::fromUtf8(row.mustContain))) << row.code << ": " << row.detail.toStdString();
  }
  EXPECT_EQ(ComFailureDetail(EComPort::kNoPlatformCode, "COM1", "/dev/ttyS0"), QString());
}

// A name that came from the store or was typed carelessly is shown on one
// line and in reasonable length; the multiplexer is named for what it is.
TEST(FailureDetailTest, OddPortNames_ShownEscapedAndShortened) {
  const QString broken = QStringLiteral("/dev/tty\nUSB0");
  const QString huge = QStringLiteral("/dev/") + QString(10'000, u'x') + QStringLiteral("-end");
  EXPECT_TRUE(ComFailureDetail(ENOENT, broken, broken).startsWith("Port /dev/tty\\nUSB0.\n"));
  const QString hugeDetail = ComFailureDetail(ENOENT, huge, huge);
  EXPECT_LT(hugeDetail.size(), 400);
  EXPECT_TRUE(hugeDetail.section(u'\n', 0, 0).endsWith(QStringLiteral("x-end.")));
  EXPECT_EQ(DisplayedPortName(QStringLiteral("a\x1b\t")), QStringLiteral("a\\x1B\\t"));
  EXPECT_EQ(DisplayedPortName(QStringLiteral("/dev/ttyUSB0")), QStringLiteral("/dev/ttyUSB0"));
  EXPECT_TRUE(ComFailureDetail(ENOTTY, "/dev/ptmx", "/dev/ptmx").contains("pseudo-terminal multiplexer"));

  TComPort port;
  port.SetPort(broken);
  EXPECT_TRUE(SerialStatusText(port).startsWith("/dev/tty\\nUSB0,"));
  EXPECT_EQ(port.Port(), broken) << "the name itself stays as chosen";
}

// Refused for want of permission: the advice names the device's owner and
// group and the step that would give access, joining a group only where
// that group may read and write the device and is not root's.
TEST(FailureDetailTest, PermissionDenied_AdviceFollowsTheDevicesOwnerGroupAndMode) {
  DeviceOwnership otherGroup{QStringLiteral("root"), QStringLiteral("uucp"), false, true, false,
                             S_IFCHR | 0660, false};
  const QString joinUucp = AccessAdvice(otherGroup);
  EXPECT_TRUE(joinUucp.contains(QStringLiteral("user \"root\" and group \"uucp\" (crw-rw----)")))
      << joinUucp.toStdString();
  EXPECT_TRUE(joinUucp.contains(QStringLiteral("sudo usermod -aG uucp $USER")));
  EXPECT_FALSE(joinUucp.contains(QStringLiteral("dialout")));
  otherGroup.memberNotInSession = true;
  EXPECT_TRUE(AccessAdvice(otherGroup).contains(QStringLiteral("log out and in again")));
  EXPECT_FALSE(AccessAdvice(otherGroup).contains(QStringLiteral("usermod")));

  const DeviceOwnership rootOnly{QStringLiteral("root"), QStringLiteral("root"), true, true, false,
                                 S_IFCHR | 0600, false};
  const QString rootAdvice = AccessAdvice(rootOnly);
  EXPECT_TRUE(rootAdvice.contains(QStringLiteral("(crw-------)"))) << rootAdvice.toStdString();
  EXPECT_TRUE(rootAdvice.contains(QStringLiteral("Only root may open it")));
  EXPECT_TRUE(rootAdvice.contains(QStringLiteral("udev rule")));
  EXPECT_FALSE(rootAdvice.contains(QStringLiteral("usermod"))) << "no group membership can help";
  // Root's group may read and write, but joining root's group is no advice.
  const DeviceOwnership rootGroup{QStringLiteral("root"), QStringLiteral("root"), true, true, false,
                                  S_IFCHR | 0660, false};
  EXPECT_FALSE(AccessAdvice(rootGroup).contains(QStringLiteral("usermod")));

  const DeviceOwnership anotherUser{QStringLiteral("alice"), QStringLiteral("tty"), false, false, false,
                                    S_IFCHR | 0620, false};
  EXPECT_TRUE(AccessAdvice(anotherUser).contains(QStringLiteral("Only the user \"alice\"")));

  // Through the failure's detail, on a real file.
  TemporaryFolder folder;
  const QString path = QString::fromStdString((folder.Path() / "device").string());
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  ASSERT_EQ(::chmod(path.toLocal8Bit().constData(), 0600), 0);
  const passwd* me = ::getpwuid(::geteuid());
  ASSERT_NE(me, nullptr);
  const QString detail = ComFailureDetail(EACCES, QStringLiteral("ttyUSB0"), path);
  EXPECT_TRUE(detail.contains(QStringLiteral("belongs to user \"%1\"").arg(QString::fromLocal8Bit(me->pw_name))))
      << detail.toStdString();
  EXPECT_TRUE(detail.contains(QStringLiteral("(-rw-------)")));
}

class StartStopTest : public ProgramTest {
 protected:
  void ClickStart() { Window().Toolbar().StartButton()->click(); }
};

TEST_F(StartStopTest, PortAnotherProgramReads_WarnedOnceByNameAndStillOpened) {
  const PtyPair line;
  const HoldingProcess reader(line.SlavePath());
  StartProgram();
  Links().ComPort().SetPort(line.SlavePath());
  ClickStart();
  EXPECT_TRUE(Links().ComPort().Connected());
  EXPECT_EQ(reports_, QStringList{QStringLiteral("Another program also has %1 open: sleep (pid %2).")
                                      .arg(line.SlavePath())
                                      .arg(reader.Pid())});
  ClickStart();  // Stop says nothing
  EXPECT_FALSE(Links().ComPort().Connected());
  EXPECT_EQ(reports_.size(), 1);
}

TEST_F(StartStopTest, RefusedGateway_ConnectingShownWithBusyCursor_ThenTheCauseBesideTheMessage) {
  StartProgram();
  Window().Menus().miTCP->trigger();
  const int port = UnusedLoopbackPort();
  Links().Socket().SetAddress(QStringLiteral("127.0.0.1"));
  Links().Socket().SetPort(port);
  QString progress;
  bool busy = false;
  QTimer::singleShot(300, [&] {
    progress = Window().Panels().currentMessage();
    busy = QGuiApplication::overrideCursor() != nullptr;
  });
  QString detail;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      detail = box->informativeText();
      box->reject();
    }
  });
  closer.start(20);
  ClickStart();
  EXPECT_EQ(progress, QStringLiteral("Connecting to 127.0.0.1:%1\u2026").arg(port));
  EXPECT_TRUE(busy);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(Window().Panels().currentMessage().isEmpty());
  EXPECT_TRUE(detail.startsWith(QStringLiteral("Gateway 127.0.0.1:%1.\nThe connection was refused").arg(port)))
      << detail.toStdString();
}

TEST_F(StartStopTest, F5StartsAndStops_MenuShowsIt_AltXCloses) {
  const PtyPair line;
  StartProgram();
  Links().ComPort().SetPort(line.SlavePath());
  Window().show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
  EXPECT_EQ(Window().Menus().miStartStop->shortcut(), QKeySequence(Qt::Key_F5));
  QTest::keyClick(&Window().LogView(), Qt::Key_F5);
  EXPECT_TRUE(Links().ComPort().Connected());
  QTest::keyClick(&Window().LogView(), Qt::Key_F5);
  EXPECT_FALSE(Links().ComPort().Connected());

  const MainToolbar& toolbar = Window().Toolbar();
  for (const QToolButton* button : {toolbar.StartButton(), toolbar.TcpSettingsButton(),
                                    toolbar.SerialSettingsButton(), toolbar.AboutButton()}) {
    EXPECT_FALSE(button->toolTip().isEmpty()) << button->objectName().toStdString();
  }
  QTest::keyClick(&Window().LogView(), Qt::Key_X, Qt::AltModifier);
  EXPECT_FALSE(Window().isVisible());
  EXPECT_TRUE(reports_.isEmpty()) << reports_.Text();
}

}  // namespace
}  // namespace tessaly::test
