// The TCP client against listeners on 127.0.0.1 that the tests start
// themselves; no test dials any other address.
#include "app/common/error_report.h"
#include "links/tcp/client_socket.h"
#include "links/tcp/socket_api.h"
#include "links/tcp/socket_error.h"
#include "tests/tcp/loopback_peer.h"

#include <QDir>
#include <QStringList>

#include <arpa/inet.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

// Readable failure output for Qt text.
void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace tessaly {
namespace {

using test::LoopbackListener;
using test::LoopbackPeer;
using test::ProcessEventsUntil;
using Errors = std::vector<std::pair<TErrorEvent, int>>;
using Events = std::vector<std::string>;

void ExpectSocketError(const std::function<void()>& action, const QString& message) {
  try {
    action();
    ADD_FAILURE() << "no failure, expected: " << message.toStdString();
  } catch (const ESocketError& error) {
    EXPECT_EQ(error.Message(), message);
  }
}

QString ReportOf(int asyncError) {
  return QStringLiteral("Asynchronous socket error %1.").arg(asyncError);
}

int OpenDescriptorCount() { return int(QDir(QStringLiteral("/proc/self/fd")).count()); }

class ClientSocketTest : public testing::Test {
 protected:
  void SetUp() override {
    SetErrorReportHook([this](const QString& text) { reports.push_back(text); });
    client.SetAddress(QStringLiteral("127.0.0.1"));
    client.OnLookup = Record("lookup");
    client.OnConnecting = Record("connecting");
    client.OnConnect = Record("connect");
    client.OnDisconnect = Record("disconnect");
    client.OnError = [this](TCustomSocket&, TCustomWinSocket&, TErrorEvent event, int& code) {
      errors.emplace_back(event, code);
      if (clearErrors) code = 0;
    };
    client.OnRead = [this](TCustomSocket&, TCustomWinSocket& socket) {
      ++reads;
      char chunk[64];
      const int count = socket.Receive(chunk, readSize);
      if (count > 0) received.append(chunk, count);
    };
  }
  void TearDown() override { SetErrorReportHook({}); }

  TSocketNotifyEvent Record(const char* name) {
    return [this, name](TCustomSocket&, TCustomWinSocket&) { events.emplace_back(name); };
  }

  void ConnectTo(const LoopbackListener& listener) {
    client.SetPort(listener.Port());
    client.SetActive(true);
    ASSERT_TRUE(ProcessEventsUntil([&] { return client.Active(); }));
  }

  Events events;
  Errors errors;
  QStringList reports;
  bool clearErrors = true;
  int readSize = 64;
  int reads = 0;
  QByteArray received;
  LoopbackListener listener;
  TClientSocket client;
};

TEST_F(ClientSocketTest, ListeningPeer_BecomesActiveOnlyThroughTheEventLoop) {
  std::string seenOnConnect;
  client.OnConnect = [&](TCustomSocket& sender, TCustomWinSocket&) {
    events.emplace_back("connect");
    seenOnConnect = QStringLiteral("%1 %2:%3")
                        .arg(sender.Active())
                        .arg(sender.Address())
                        .arg(sender.Port())
                        .toStdString();
  };
  client.SetPort(listener.Port());
  client.SetActive(true);
  EXPECT_FALSE(client.Active());
  EXPECT_EQ(events, (Events{"lookup", "connecting"}));

  ASSERT_TRUE(ProcessEventsUntil([&] { return client.Active(); }));
  EXPECT_EQ(events, (Events{"lookup", "connecting", "connect"}));
  EXPECT_EQ(seenOnConnect, "1 127.0.0.1:" + std::to_string(listener.Port()));
  EXPECT_EQ(client.Socket().RemoteAddress().address, htonl(INADDR_LOOPBACK));
  EXPECT_EQ(client.Socket().RemoteAddress().port, htons(uint16_t(listener.Port())));
  EXPECT_TRUE(errors.empty());
}

struct FailedAttemptRow {
  const char* name;
  std::function<int()> port;
  int error;
  bool clearCode;
};

void PrintTo(const FailedAttemptRow& row, std::ostream* out) { *out << row.name; }

class FailedAttemptTest : public ClientSocketTest,
                          public testing::WithParamInterface<FailedAttemptRow> {};

TEST_P(FailedAttemptTest, ErrorReachesOnErrorAndClientStaysInactive) {
  clearErrors = GetParam().clearCode;
  client.SetPort(GetParam().port());
  client.SetActive(true);
  ASSERT_TRUE(ProcessEventsUntil([&] { return !errors.empty(); }));

  EXPECT_EQ(errors, (Errors{{TErrorEvent::eeConnect, GetParam().error}}));
  EXPECT_FALSE(client.Active());
  EXPECT_EQ(client.Socket().SocketHandle(), kInvalidSocket);
  EXPECT_EQ(reports, clearErrors ? QStringList{} : QStringList{ReportOf(GetParam().error)});
}

INSTANTIATE_TEST_SUITE_P(
    , FailedAttemptTest,
    testing::Values(FailedAttemptRow{"NothingListening_Cleared", test::UnusedLoopbackPort,
                                     ECONNREFUSED, true},
                    FailedAttemptRow{"NothingListening_Left", test::UnusedLoopbackPort,
                                     ECONNREFUSED, false},
                    // 70000 would dial its low 16 bits, 4464.
                    FailedAttemptRow{"PortAbove65535_NotDialled", [] { return 70000; }, EINVAL,
                                     true},
                    FailedAttemptRow{"PortZero_Left", [] { return 0; }, EINVAL, false}),
    [](const auto& info) { return std::string(info.param.name); });

class EmptyAddressTest : public ClientSocketTest, public testing::WithParamInterface<bool> {};

TEST_P(EmptyAddressTest, LookupErrorThenSocketClosed_FailsOnlyIfCodeLeft) {
  clearErrors = GetParam();
  client.SetAddress(QString());
  if (clearErrors) {
    EXPECT_NO_THROW(client.SetActive(true));
  } else {
    ExpectSocketError([&] { client.SetActive(true); }, QStringLiteral("No address specified"));
  }
  EXPECT_EQ(errors, (Errors{{TErrorEvent::eeLookup, 1110}}));
  EXPECT_EQ(events, (Events{"lookup", "disconnect"}));
  EXPECT_EQ(client.Socket().SocketHandle(), kInvalidSocket);
  EXPECT_FALSE(client.Active());
}

INSTANTIATE_TEST_SUITE_P(, EmptyAddressTest, testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Cleared" : "Left"; });

struct PeerEndRow {
  const char* name;
  bool reset;
  bool clearCode;
};

void PrintTo(const PeerEndRow& row, std::ostream* out) { *out << row.name; }

class PeerEndTest : public ClientSocketTest, public testing::WithParamInterface<PeerEndRow> {};

TEST_P(PeerEndTest, BytesBeforeTheEndArriveThenClientDisconnects) {
  clearErrors = GetParam().clearCode;
  ConnectTo(listener);
  LoopbackPeer peer = listener.Accept();
  const QByteArray sent("\x01\x03\x00\x00\x00\x0A\xC5\xCD", 8);
  peer.Send(sent);
  if (GetParam().reset) {
    // A reset may overtake unread bytes, so it waits for them.
    ASSERT_TRUE(ProcessEventsUntil([&] { return received.size() == sent.size(); }));
    peer.Reset();
  } else {
    peer.CloseOrderly();
  }
  ASSERT_TRUE(ProcessEventsUntil([&] { return !client.Active(); }));

  EXPECT_EQ(received, sent);
  EXPECT_EQ(events.back(), "disconnect");
  EXPECT_EQ(client.Socket().SocketHandle(), kInvalidSocket);
  const int error = GetParam().reset ? ECONNRESET : 0;
  EXPECT_EQ(errors, (error ? Errors{{TErrorEvent::eeDisconnect, error}} : Errors{}));
  EXPECT_EQ(reports, error && !clearErrors ? QStringList{ReportOf(error)} : QStringList{});
}

INSTANTIATE_TEST_SUITE_P(, PeerEndTest,
                         testing::Values(PeerEndRow{"OrderlyClose", false, true},
                                         PeerEndRow{"Reset_Cleared", true, true},
                                         PeerEndRow{"Reset_Left", true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ClientSocketTest, SmallReceives_ReadNotificationRepeatsUntilEveryByteIsTaken) {
  ConnectTo(listener);
  LoopbackPeer peer = listener.Accept();
  QByteArray sent;
  for (int i = 0; i < 100; ++i) sent.append(char(i));
  readSize = 5;
  peer.Send(sent);
  ASSERT_TRUE(ProcessEventsUntil([&] { return received.size() >= sent.size(); }));
  EXPECT_EQ(received, sent);
  EXPECT_GE(reads, 20);
}

TEST_F(ClientSocketTest, ReceiveWithNothingToRead_ZeroWhenNotConnectedMinusOneWhenSpurious) {
  char buffer[8];
  EXPECT_EQ(client.Socket().Receive(buffer, sizeof buffer), 0);
  EXPECT_EQ(client.Socket().Receive(nullptr, -1), 0);

  ConnectTo(listener);
  LoopbackPeer peer = listener.Accept();
  peer.Send("AB");
  ASSERT_TRUE(test::WaitReadable(client.Socket().SocketHandle()));
  ASSERT_EQ(client.Socket().Receive(nullptr, -1), 2);
  int result = 0;
  client.OnRead = [&](TCustomSocket&, TCustomWinSocket& socket) {
    result = socket.Receive(buffer, sizeof buffer);
  };
  client.Socket().ProcessNotification(
      {client.Socket().SocketHandle(), TNotificationKind::nkRead, 0});
  EXPECT_EQ(result, 2);
  client.Socket().ProcessNotification(
      {client.Socket().SocketHandle(), TNotificationKind::nkRead, 0});
  EXPECT_EQ(result, -1);
  EXPECT_TRUE(client.Active());
}

class ReceiveFailureTest : public ClientSocketTest, public testing::WithParamInterface<bool> {};

TEST_P(ReceiveFailureTest, ResetSeenByReceive_DisconnectsAndFailsOnlyIfCodeLeft) {
  clearErrors = GetParam();
  ConnectTo(listener);
  listener.Accept().Reset();
  ASSERT_TRUE(test::WaitReadable(client.Socket().SocketHandle()));
  char buffer[8];
  if (clearErrors) {
    EXPECT_EQ(client.Socket().Receive(buffer, sizeof buffer), -1);
  } else {
    ExpectSocketError([&] { client.Socket().Receive(buffer, sizeof buffer); },
                      QStringLiteral("Windows socket error: %1 (%2), on API 'recv'")
                          .arg(QString::fromLocal8Bit(std::strerror(ECONNRESET)))
                          .arg(ECONNRESET));
  }
  EXPECT_EQ(errors, (Errors{{TErrorEvent::eeReceive, ECONNRESET}}));
  EXPECT_FALSE(client.Active());
  EXPECT_EQ(events.back(), "disconnect");
}

INSTANTIATE_TEST_SUITE_P(, ReceiveFailureTest, testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Cleared" : "Left"; });

TEST_F(ClientSocketTest, ChangesWhileActive_RefusedUnlessTheyChangeNothing) {
  client.SetAddress(QStringLiteral("0x7f.0.0.1"));
  ConnectTo(listener);
  const int port = listener.Port();
  const struct {
    const char* name;
    std::function<void()> change;
    bool refused;
  } rows[] = {
      {"same address, other letter case", [&] { client.SetAddress("0X7F.0.0.1"); }, false},
      {"other address", [&] { client.SetAddress("127.0.0.2"); }, true},
      {"same port", [&] { client.SetPort(port); }, false},
      {"other port", [&] { client.SetPort(port + 1); }, true},
      {"host", [&] { client.SetHost("gateway"); }, true},
      {"service", [&] { client.SetService("modbus"); }, true},
      {"blocking", [&] { client.SetClientType(TClientType::ctBlocking); }, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.refused) {
      ExpectSocketError(row.change, QStringLiteral("Can't change value while socket is active"));
    } else {
      EXPECT_NO_THROW(row.change());
    }
  }
  EXPECT_EQ(client.Address(), QStringLiteral("0x7f.0.0.1"));
  EXPECT_EQ(client.Port(), port);
  EXPECT_TRUE(client.Host().isEmpty() && client.Service().isEmpty());
  EXPECT_EQ(client.ClientType(), TClientType::ctNonBlocking);
  EXPECT_TRUE(client.Active());
}

TEST_F(ClientSocketTest, CloseWhileAttemptPending_LateCompletionStillMakesActive) {
  client.SetPort(listener.Port());
  client.SetActive(true);
  client.Close();
  // Still inactive, so a change is accepted; it counts from the next opening.
  EXPECT_NO_THROW(client.SetPort(1));
  ASSERT_TRUE(ProcessEventsUntil([&] { return client.Active(); }));
  EXPECT_EQ(events.back(), "connect");
}

TEST_F(ClientSocketTest, FailingConnectHandler_ReportedWhileConnectionStaysUp) {
  client.OnConnect = [](TCustomSocket&, TCustomWinSocket&) {
    throw std::runtime_error("Failed to set data for 'Remote_IP'");
  };
  ConnectTo(listener);
  EXPECT_EQ(reports, QStringList{"Failed to set data for 'Remote_IP'"});
  listener.Accept().Send("Z");
  ASSERT_TRUE(ProcessEventsUntil([&] { return !received.isEmpty(); }));
  EXPECT_EQ(received, "Z");
}

TEST_F(ClientSocketTest, UnsupportedOpenings_FailSayingSoAndCloseTheirSocket) {
  client.SetPort(listener.Port());
  const struct {
    std::function<void()> setUp;
    const char* message;
  } rows[] = {
      {[&] { client.SetHost("gateway"); }, kHostLookupUnsupported},
      {[&] { client.SetService("modbus"); }, kServiceLookupUnsupported},
      {[&] { client.SetClientType(TClientType::ctBlocking); }, kBlockingUnsupported},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.message);
    client.SetHost(QString());
    client.SetService(QString());
    client.SetClientType(TClientType::ctNonBlocking);
    row.setUp();
    ExpectSocketError([&] { client.SetActive(true); }, QString::fromLatin1(row.message));
    EXPECT_EQ(client.Socket().SocketHandle(), kInvalidSocket);
  }
  EXPECT_FALSE(client.Active());
}

TEST_F(ClientSocketTest, FailedAndReplacedAttempts_LeaveNoSocketOpen) {
  const int before = OpenDescriptorCount();
  client.SetPort(test::UnusedLoopbackPort());
  client.SetActive(true);
  client.SetActive(true);  // abandons the first attempt
  ASSERT_TRUE(ProcessEventsUntil([&] { return !errors.empty(); }));
  client.SetAddress(QString());
  client.SetActive(true);
  EXPECT_EQ(errors.size(), 2u);  // the second attempt's refusal, then the missing address
  EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(ClientSocketTest, DestroyedWhileConnected_ClosesWithoutEvents) {
  auto owned = std::make_unique<TClientSocket>();
  owned->SetAddress(QStringLiteral("127.0.0.1"));
  owned->SetPort(listener.Port());
  owned->SetActive(true);
  ASSERT_TRUE(ProcessEventsUntil([&] { return owned->Active(); }));
  LoopbackPeer peer = listener.Accept();
  bool disconnected = false;
  owned->OnDisconnect = [&](TCustomSocket&, TCustomWinSocket&) { disconnected = true; };
  owned.reset();
  EXPECT_TRUE(peer.SeesClose());
  EXPECT_FALSE(disconnected);
}

// Address text is converted, never looked up: these rows are checked
// without connecting anywhere.
TEST(IPv4TextConversion, DottedFormsConvertAnythingElseGivesAllOnes) {
  const std::pair<QString, uint32_t> rows[] = {
      {QStringLiteral("127.0.0.1"), htonl(0x7F000001)},
      {QStringLiteral("0X7F.1"), htonl(0x7F000001)},
      {QStringLiteral("192.168.0.248"), htonl(0xC0A800F8)},
      {QStringLiteral("gateway.local"), 0xFFFFFFFF},
      {QString::fromUtf16(u"127.0.0.1\0junk", 14), 0xFFFFFFFF},
  };
  for (const auto& [text, expected] : rows) {
    EXPECT_EQ(socket_api::ConvertIPv4Text(text), expected) << text.toStdString();
  }
}

}  // namespace
}  // namespace tessaly
