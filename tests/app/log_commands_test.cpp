// The log's commands in the running program: saving, clearing, and capture
// ending cleanly when memory runs out.

#include "app/log_save_command.h"
#include "app/main_toolbar.h"
#include "app/status_panels.h"
#include "log/packet_log_model.h"
#include "log/packet_text.h"
#include "tests/app/program_fixture.h"
#include "tests/support/loopback.h"
#include "tools/traffic/modbus_frames.h"

#include <QAction>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

namespace tessaly::test {
namespace {

class LogCommandsTest : public ProgramTest {
 protected:
  void StartTcpOn(int port) {
    Window().Menus().miTCP->trigger();
    Links().Socket().SetAddress(QStringLiteral("127.0.0.1"));
    Links().Socket().SetPort(port);
    Window().Toolbar().StartButton()->click();
    ASSERT_TRUE(Links().Socket().Active());
  }
};

TEST_F(LogCommandsTest, MemoryRunsOut_CaptureStopsOnceLogIntactAndSavable_ClearThenCaptureAgain) {
  StartProgram();
  // One block of records and one chunk of bytes: 64 packets of 1024 bytes.
  Window().Log().SetAllocationLimit(4096 * 24 + 64 * 1024);
  LoopbackListener gateway;
  StartTcpOn(gateway.Port());
  Descriptor peer = gateway.Accept();
  // The burst fills the packet buffer again and again: 1024-byte packets.
  peer.Send(traffic::Frame(100 * 1024, 0x11));

  ASSERT_TRUE(QTest::qWaitFor([this] { return !reports_.isEmpty(); }, 30'000));
  EXPECT_EQ(reports_, QStringList{"Out of memory: capture has stopped. The log holds 64 rows and "
                                  "can still be saved."});
  EXPECT_FALSE(Links().Socket().Active());
  EXPECT_EQ(Window().Panels().LinkState(), "No Connect");
  EXPECT_EQ(Window().Toolbar().StartImageIndex(), ConnectionControl::kStartPicture);
  QTest::qWait(200);
  EXPECT_EQ(reports_.size(), 1);
  EXPECT_EQ(LoggedPackets().size(), 64);

  const QString path = QString::fromStdString((storeFolder_.Path() / "full.pcap").string());
  QSignalSpy saved(&Window().SaveCommand(), &LogSaveCommand::finished);
  Window().SaveCommand().SaveTo(path);
  ASSERT_TRUE(saved.wait(30'000));
  EXPECT_EQ(QFileInfo(path).size(), 24 + 64 * (16 + 1024));
  // A save that cannot be written is told, not taken for done.
  const QString nowhere = QString::fromStdString((storeFolder_.Path() / "no-such-folder" / "full.pcap").string());
  Window().SaveCommand().SaveTo(nowhere);
  ASSERT_TRUE(saved.wait(30'000));
  ASSERT_EQ(reports_.size(), 2);
  EXPECT_TRUE(reports_.back().contains("no-such-folder")) << reports_.back().toStdString();
  reports_.removeLast();

  Window().Menus().miClearLog->trigger();
  EXPECT_EQ(Window().Log().rowCount(), 1);
  EXPECT_EQ(LoggedPackets(), QStringList{});
  StartTcpOn(gateway.Port());
  Descriptor again = gateway.Accept();
  const traffic::Frame frame = traffic::ReadRequest(1, 0, 10);
  again.Send(frame);
  ASSERT_TRUE(QTest::qWaitFor([this] { return LoggedPackets().size() == 1; }, 30'000));
  EXPECT_EQ(LoggedPackets(), QStringList{FormatPacketBytes(frame.data(), int(frame.size()))});
  EXPECT_EQ(reports_.size(), 1);
}

}  // namespace
}  // namespace tessaly::test
