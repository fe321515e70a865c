// Start-up and shutdown against what the store holds, and the main window's
// own rules (transport menu, column fit).

#include "app/main_toolbar.h"
#include "app/status_panels.h"
#include "views/packet_log_view.h"
#include "links/serial/com_combo_box.h"
#include "presentation/ui_scale.h"
#include "settings/registry.h"
#include "tests/app/program_fixture.h"

#include <QAction>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <functional>

namespace tessaly::test {
namespace {

class StartupTest : public ProgramTest {
 protected:
  // Writes into the program's key before the program starts.
  void Store(const std::function<void(TRegistry&)>& write) {
    TRegistry store(StoreDirectory());
    store.SetRootKey(RegistryRoot::LocalMachine);
    ASSERT_TRUE(store.OpenKey(kProgramKeyPath, true));
    write(store);
  }
  QString Target() { return Links().Socket().Address() + u':' + QString::number(Links().Socket().Port()); }
};

TEST_F(StartupTest, FirstRunWithEmptyStore_SerialCom1At9600AndTcpFallbackTarget) {
  StartProgram();
  EXPECT_TRUE(Window().Menus().miSerial->isChecked());
  EXPECT_FALSE(Window().Menus().miTCP->isChecked());
  EXPECT_EQ(Links().ComPort().Port(), "COM1");
  EXPECT_EQ(Links().ComPort().BaudRate(), br9600);
  EXPECT_EQ(Window().Framer().Interval(), 4);
  // A read ends 10 ms after the line falls quiet, or after a second.
  EXPECT_EQ(Links().ComPort().Timeouts().ReadInterval(), 10);
  EXPECT_EQ(Links().ComPort().Timeouts().ReadTotalConstant(), 1000);
  // Only asserted: nothing in the tests ever dials this address.
  EXPECT_EQ(Target(), "192.168.0.1:502");
  EXPECT_EQ(Window().Panels().LinkState(), "No Connect");
  EXPECT_EQ(Window().Panels().LinkSettings(), "COM1,9600,8,None,1,None");
  EXPECT_FALSE(Window().Log().headerData(1, Qt::Horizontal).toString().isEmpty()) << "headers written";
  EXPECT_TRUE(reports_.isEmpty()) << reports_.Text();
}

TEST_F(StartupTest, StoredSerialSettings_RestoredBeforeTheWindowAndDialogsReadThem) {
  TRegistry store(StoreDirectory());
  store.SetRootKey(RegistryRoot::LocalMachine);
  ASSERT_TRUE(store.OpenKey(std::string(kProgramKeyPath) + "\\ComPort", true));
  store.WriteString("Port", "ttyS3");
  store.WriteString("BaudRate", "19200");
  StartProgram();
  EXPECT_EQ(Window().Framer().Interval(), 2);
  EXPECT_TRUE(Window().Panels().LinkSettings().startsWith("ttyS3,19200,"));
  EXPECT_EQ(program_->fmComSet.comsetBaudRate->Text(), "19200");
}

TEST_F(StartupTest, StoredTransport_OnlyExactlyTcpChoosesTcp) {
  for (const auto& [stored, tcpChosen] : {std::pair{"TCP", true}, {"COM", false}, {"tcp", false}, {"TCP ", false}}) {
    Store([stored = stored](TRegistry& store) { store.WriteString("Transport", stored); });
    StartProgram();
    EXPECT_EQ(Window().Menus().miTCP->isChecked(), tcpChosen) << stored;
    EXPECT_NE(Window().Menus().miSerial->isChecked(), tcpChosen) << stored;
  }
}

TEST_F(StartupTest, StoredTargetsAndWrongTypes_KeepWhatWasSetBeforeTheFailingRead) {
  Store([](TRegistry& store) { store.WriteString("Remote_IP", "127.0.0.9"); });
  StartProgram();
  EXPECT_EQ(Target(), "127.0.0.9:502") << "a missing port falls back to 502";

  Store([](TRegistry& store) { store.WriteString("Remote_Port", "502"); });
  StartProgram();
  EXPECT_EQ(Links().Socket().Port(), 4001) << "a port of the wrong type keeps the built-in port";

  Store([](TRegistry& store) { store.WriteInteger("Remote_IP", 7); });
  StartProgram();
  EXPECT_EQ(Target(), "192.168.0.248:4001") << "an address of the wrong type keeps both built-ins";
  EXPECT_TRUE(reports_.isEmpty());
}

TEST_F(StartupTest, TransportOfWrongType_IsReportedAndSkipsTheRestOfTheWindowSetUp) {
  Store([](TRegistry& store) { store.WriteInteger("Transport", 1); });
  StartProgram();
  EXPECT_EQ(reports_, QStringList{"Invalid data type for 'Transport'"});
  EXPECT_TRUE(Window().Log().headerData(0, Qt::Horizontal).toString().isEmpty());
  EXPECT_EQ(Window().Panels().LinkSettings(), "COM1,9600,8N1,NONE");
  EXPECT_TRUE(Window().Menus().miSerial->isChecked());
}

TEST_F(StartupTest, ShutdownWritesTransport_AndARefusingStoreIsReportedButTheWindowCloses) {
  StartProgram();
  Window().show();
  Window().Menus().miTCP->trigger();
  ASSERT_TRUE(Window().close());
  EXPECT_EQ(Stored("Transport"), "TCP");

  StartProgram();
  Window().show();
  // A store folder that is a plain file cannot be written, even by root.
  std::filesystem::remove_all(StoreDirectory());
  QFile blocker(QString::fromStdString(StoreDirectory().string()));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  EXPECT_TRUE(Window().close());
  EXPECT_FALSE(Window().isVisible());
  EXPECT_EQ(reports_, QStringList{"Failed to set data for 'Transport'"});
}

TEST_F(StartupTest, TransportItems_ChoosingTheTickedOneKeepsItAndTheStatusFollowsTheChoice) {
  StartProgram();
  const MainMenus& menus = Window().Menus();
  menus.miSerial->trigger();
  EXPECT_TRUE(menus.miSerial->isChecked());
  EXPECT_FALSE(menus.miTCP->isChecked());

  menus.miTCP->trigger();
  EXPECT_TRUE(menus.miTCP->isChecked());
  EXPECT_FALSE(menus.miSerial->isChecked());
  EXPECT_EQ(Window().Panels().LinkSettings(), "192.168.0.1:502");
  menus.miTCP->trigger();
  EXPECT_TRUE(menus.miTCP->isChecked());

  // The packet-type item only toggles its own tick.
  menus.miModbusRTU->trigger();
  EXPECT_FALSE(menus.miModbusRTU->isChecked());
  menus.miModbusRTU->trigger();
  EXPECT_TRUE(menus.miModbusRTU->isChecked());
}

TEST_F(StartupTest, TooSmallIsRefused_AndResized_TheDataColumnFillsTheGrid) {
  StartProgram();
  Window().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window()));
  // The column fit runs once, when the window has its first size.
  auto* resizeTimer = Window().findChild<QTimer*>(QStringLiteral("ResizeTimer"));
  ASSERT_NE(resizeTimer, nullptr);
  if (resizeTimer->isActive()) {
    ASSERT_TRUE(QSignalSpy(resizeTimer, &QTimer::timeout).wait(60'000));
  }
  EXPECT_FALSE(resizeTimer->isActive());

  EXPECT_EQ(Window().minimumSize(), QSize(Scaled(800), Scaled(300)));
  Window().resize(200, 100);
  QApplication::processEvents();
  EXPECT_GE(Window().width(), Window().minimumWidth());
  EXPECT_GE(Window().height(), Window().minimumHeight());
  for (const QSize size : {QSize(1200, 700), QSize(900, 500)}) {
    Window().resize(size);
    QApplication::processEvents();
    const PacketLogView& grid = Window().LogView();
    EXPECT_EQ(grid.columnWidth(0) + grid.columnWidth(1) + 25, grid.width());
  }
}

}  // namespace
}  // namespace tessaly::test
