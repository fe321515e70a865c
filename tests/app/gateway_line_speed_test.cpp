// The serial speed behind a TCP gateway: chosen texts, the stored value at
// start-up (a damaged one reads as unknown), and the capture's line using it.
#include "app/frame_analysis.h"
#include "app/gateway_line_speed.h"
#include "app/main_toolbar.h"
#include "app/main_window.h"
#include "app/second_line.h"
#include "log/packet_log_model.h"
#include "panes/packet_details_pane.h"
#include "session/capture_session.h"
#include "settings/registry.h"
#include "tests/app/program_fixture.h"
#include "tests/support/loopback.h"
#include "tests/support/pty_pair.h"
#include "tools/traffic/modbus_frames.h"
#include "views/packet_log_view.h"

#include <QApplication>
#include <QInputDialog>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace tessaly::test {
namespace {

TEST(GatewayLineSpeedText, RatesAndUnknown) {
  EXPECT_EQ(LineSpeedFromText(QStringLiteral(" 19200 ")), 19200);
  for (const char* refused : {"Unknown", "", "0", "-9600", "fast", "4000001"}) {
    EXPECT_FALSE(LineSpeedFromText(QString::fromLatin1(refused)).has_value()) << refused;
  }
  EXPECT_EQ(LineSpeedText(std::nullopt), QStringLiteral("Unknown"));
  EXPECT_EQ(LineSpeedText(9600), QStringLiteral("9600"));
}

class GatewayLineSpeedTest : public ProgramTest {
 protected:
  void StoreValue(const std::function<void(TRegistry&)>& write) {
    TRegistry store(StoreDirectory());
    store.SetRootKey(RegistryRoot::CurrentUser);
    ASSERT_TRUE(store.OpenKey(kProgramKeyPath, true));
    write(store);
  }
  std::optional<int> GatewaySpeed() { return Window().Session().GatewayLineSpeed(); }
};

TEST_F(GatewayLineSpeedTest, StoredSpeedAppliedAtStartUp_DamagedOrAbsurdValuesReadAsUnknown) {
  StartProgram();
  EXPECT_FALSE(GatewaySpeed().has_value()) << "unknown unless the user gives it";
  StoreValue([](TRegistry& store) { store.WriteInteger(GatewayLineSpeed::kStoredValue, 19200); });
  StartProgram();
  EXPECT_EQ(GatewaySpeed(), 19200);
  StoreValue([](TRegistry& store) { store.WriteString(GatewayLineSpeed::kStoredValue, "fast"); });
  StartProgram();
  EXPECT_FALSE(GatewaySpeed().has_value());
  StoreValue([](TRegistry& store) { store.WriteInteger(GatewayLineSpeed::kStoredValue, -5); });
  StartProgram();
  EXPECT_FALSE(GatewaySpeed().has_value());
}

// Answers the next input dialog with text, noting its question.
void AnswerNextQuestion(const QString& text, QString* question) {
  QTimer::singleShot(0, [text, question] {
    auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    if (question != nullptr) *question = dialog->labelText();
    dialog->setTextValue(text);
    dialog->accept();
  });
}

// A second line through a gateway, at its own speed: the item asks which
// line it sets and names it; each line's speed is kept apart, restored at
// start-up, and times that line's rows.
TEST_F(GatewayLineSpeedTest, EachLineItsOwnSpeed_TheQuestionNamesTheLine_RowsTimedByTheirLine) {
  StoreValue([](TRegistry& store) { store.WriteInteger(GatewayLineSpeed::kSecondStoredValue, 4800); });
  StartProgram();
  EXPECT_FALSE(GatewaySpeed().has_value());
  EXPECT_EQ(Window().Second().Session().GatewayLineSpeed(), 4800);

  SecondLineSettings settings;
  settings.on = true;
  settings.tcp = true;
  settings.firstName = QStringLiteral("field");
  settings.secondName = QStringLiteral("office");
  Window().Second().Choose(settings);
  QAction* item = Window().findChild<QAction*>(QStringLiteral("miGatewayLineSpeed"));
  ASSERT_NE(item, nullptr);
  QString which;
  QString question;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    which = dialog->labelText();
    dialog->setTextValue(QStringLiteral("office (the second line)"));
    AnswerNextQuestion(QStringLiteral("38400"), &question);
    dialog->accept();
  });
  item->trigger();
  EXPECT_EQ(which, QStringLiteral("Each line has its own. Set the speed of:"));
  EXPECT_TRUE(question.contains(QStringLiteral("gateway of line office (the second line)"))) << question.toStdString();
  EXPECT_EQ(Window().Second().Session().GatewayLineSpeed(), 38400);
  EXPECT_FALSE(GatewaySpeed().has_value()) << "the first line's speed stays";

  // The second line's rows are timed at its own speed.
  PtyPair first;
  LoopbackListener gateway;
  Links().ComPort().SetPort(first.SlavePath());
  Window().Second().Links().Socket().SetAddress(QStringLiteral("127.0.0.1"));
  Window().Second().Links().Socket().SetPort(gateway.Port());
  Window().Toolbar().StartButton()->click();
  ASSERT_TRUE(WaitUntil([this] { return Window().Second().Links().Socket().Active(); }));
  Descriptor peer = gateway.Accept();
  const traffic::Frame request = traffic::ReadRequest(1, 0, 2);
  peer.Send(request);
  ASSERT_TRUE(WaitUntil([this] { return LoggedPackets().size() == 1; }));
  Window().Toolbar().StartButton()->click();
  Window().Analysis().miPacketDetails->setChecked(true);
  Window().LogView().setCurrentIndex(Window().Log().index(0, 1));
  const QString details = Window().Analysis().Details().Text();
  EXPECT_TRUE(details.contains(QStringLiteral("2.1 ms at 38400 baud"))) << details.toStdString();

  StartProgram();
  EXPECT_EQ(Window().Second().Session().GatewayLineSpeed(), 38400);
  EXPECT_FALSE(GatewaySpeed().has_value());
}

}  // namespace
}  // namespace tessaly::test
