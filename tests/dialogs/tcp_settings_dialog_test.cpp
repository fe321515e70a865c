// The TCP/IP settings dialog driven as a user drives it. The only connection
// is to a listener on 127.0.0.1 that the test starts; every other address
// here is only typed and compared, never dialled.
#include "tests/dialogs/settings_dialog_fixture.h"

#include "tests/support/loopback.h"

#include <string>

namespace tessaly {
namespace {

class TcpSettingsDialogTest : public test::SettingsDialogTest {
 protected:
  QString ShownAddress() const {
    QStringList octets;
    for (int i = 0; i < 4; ++i) octets << tcp.eIP->Octet(i)->text();
    return octets.join(u'.');
  }
};

TEST_F(TcpSettingsDialogTest, EachShowing_ReloadsAllThreeFields_TypedThenCancelledIsGone) {
  socket.SetAddress(QStringLiteral("10.1.2.3"));
  socket.SetPort(502);
  Show(tcp);
  Type(*tcp.eIP->Octet(0), "11");
  Type(*tcp.ePort, "600");
  Type(*tcp.seEnd, "30");
  Press(Qt::Key_Escape);
  ASSERT_FALSE(tcp.isVisible());
  EXPECT_EQ(socket.Port(), 502);
  socket.SetPort(503);
  framer.SetInterval(7);

  Show(tcp);
  EXPECT_EQ(ShownAddress(), "10.1.2.3");
  EXPECT_EQ(tcp.ePort->text(), "503");
  EXPECT_EQ(tcp.seEnd->text(), "7");
}

TEST_F(TcpSettingsDialogTest, TypedPort_CorrectedIntoRangeAtOnce_EnterSetsIt) {
  const std::pair<const char*, int> rows[] = {{"70000", 65534}, {"0", 1}, {"", 1}, {"8080", 8080}};
  for (const auto& [typed, port] : rows) {
    SCOPED_TRACE(typed);
    socket.SetPort(502);
    Show(tcp);
    Type(*tcp.ePort, typed);
    EXPECT_EQ(tcp.ePort->text(), QString::number(port));
    Press(Qt::Key_Return);
    EXPECT_FALSE(tcp.isVisible());
    EXPECT_EQ(socket.Port(), port);
  }
}

TEST_F(TcpSettingsDialogTest, AddressShownAsOctets_OkKeepsAnUntouchedBlankAddressAndFillsEmptyOctetsWith0) {
  const struct {
    const char* stored;
    const char* typed;  // from the first octet on, or nullptr
    const char* shown;  // the octets joined by dots
    const char* applied;
  } rows[] = {
      // A host name, three parts or an octet above 255: shown blank, kept.
      {"gateway.local", nullptr, "...", "gateway.local"},
      {"1.2.3", nullptr, "...", "1.2.3"},
      {"256.1.2.3", nullptr, "...", "256.1.2.3"},
      {"gateway.local", "10.1", "10.1..", "10.1.0.0"},
      {"1.1.1.1", "10.0.0.7", "10.0.0.7", "10.0.0.7"},
      {"1.1.1.1", "192.168.0.248", "192.168.0.248", "192.168.0.248"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.stored) + " " + (row.typed ? row.typed : ""));
    socket.SetAddress(QString::fromLatin1(row.stored));
    Show(tcp);
    if (row.typed != nullptr) {
      Type(*tcp.eIP->Octet(0), QString());
      QTest::keyClicks(static_cast<QWidget*>(nullptr), QString::fromLatin1(row.typed));
    }
    EXPECT_EQ(ShownAddress(), row.shown);
    tcp.okButton->click();
    EXPECT_FALSE(tcp.isVisible());
    EXPECT_EQ(socket.Address(), row.applied);
  }
}

struct ChangeRow {
  const char* scenario;
  const char* lastOctet;  // typed into the address, or nullptr
  int portOffset;         // from the listener's port
  bool refused;
};

class TcpActiveClient : public TcpSettingsDialogTest, public testing::WithParamInterface<ChangeRow> {
 protected:
  void SetUp() override {
    // The connection completes in the listener's backlog.
    socket.SetAddress(QStringLiteral("127.0.0.1"));
    socket.SetPort(listener.Port());
    socket.SetActive(true);
    ASSERT_TRUE(test::WaitUntil([this] { return socket.Active(); }));
  }
  void TearDown() override { socket.Close(); }

  test::LoopbackListener listener;
};

TEST_P(TcpActiveClient, ChangedAddressOrPortRefused_DialogStaysOpen_IntervalAlreadySet) {
  const ChangeRow& row = GetParam();
  Show(tcp);
  if (row.lastOctet != nullptr) Type(*tcp.eIP->Octet(3), row.lastOctet);
  Type(*tcp.ePort, QString::number(listener.Port() + row.portOffset));
  Type(*tcp.seEnd, "9");
  PressShortcut(Qt::Key_O);

  EXPECT_EQ(tcp.isVisible(), row.refused);
  EXPECT_EQ(reports, row.refused ? QStringList{"Can't change value while socket is active."} : QStringList{});
  EXPECT_EQ(framer.Interval(), 9);
  EXPECT_TRUE(socket.Active());
  EXPECT_EQ(socket.Address(), "127.0.0.1");
  EXPECT_EQ(socket.Port(), listener.Port());
}

INSTANTIATE_TEST_SUITE_P(Changes, TcpActiveClient,
                         testing::Values(ChangeRow{"SameValuesRetyped_Closes", "1", 0, false},
                                         ChangeRow{"AddressChanged_Refused", "2", 0, true},
                                         ChangeRow{"PortChanged_Refused", nullptr, -1, true}),
                         [](const auto& info) { return std::string(info.param.scenario); });

}  // namespace
}  // namespace tessaly
