// The TCP client against listeners on 127.0.0.1 that the tests start
// themselves; no test dials any other address.
#include "links/tcp/client_socket.h"
#include "links/tcp/socket_api.h"
#include "links/tcp/socket_error.h"

#include "tests/support/loopback.h"
#include "tests/support/test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QTest>

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace tessaly {
namespace {

using test::Descriptor;
using test::FailureText;
using test::Readable;
using test::UnusedLoopbackPort;
using Errors = std::vector<std::pair<TErrorEvent, int>>;
using Events = std::vector<std::string>;

QString ReportOf(int asyncError) {
  return QStringLiteral("Asynchronous socket error %1.").arg(asyncError);
}

class ClientSocketTest : public testing::Test {
 protected:
  void SetUp() override {
    client.SetAddress(QStringLiteral("127.0.0.1"));
    client.SetPort(listener.Port());
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

  TSocketNotifyEvent Record(const char* name) {
    return [this, name](TCustomSocket&, TCustomWinSocket&) { events.emplace_back(name); };
  }
  Descriptor Connect() {
    client.SetActive(true);
    EXPECT_TRUE(test::WaitUntil([&] { return client.Active(); }));
    return listener.Accept();
  }

  test::LoopbackListener listener;
  Events events;
  Errors errors;
  test::CapturedReports reports;
  bool clearErrors = true;
  int readSize = 64;
  int reads = 0;
  QByteArray received;
  TClientSocket client;
};

TEST_F(ClientSocketTest, ListeningPeer_ActiveOnlyThroughTheEventLoop_EvenIfOnConnectFails) {
  std::string seenOnConnect;
  client.OnConnect = [&](TCustomSocket& sender, TCustomWinSocket&) {
    seenOnConnect = QStringLiteral("%1 %2:%3")
                        .arg(sender.Active())
                        .arg(sender.Address())
                        .arg(sender.Port())
                        .toStdString();
    throw std::runtime_error("Failed to set data for 'Remote_IP'");
  };
  client.SetActive(true);
  EXPECT_FALSE(client.Active());
  EXPECT_EQ(events, (Events{"lookup", "connecting"}));

  ASSERT_TRUE(test::WaitUntil([&] { return client.Active(); }));
  EXPECT_EQ(seenOnConnect, "1 127.0.0.1:" + std::to_string(listener.Port()));
  EXPECT_EQ(reports, QStringList{"Failed to set data for 'Remote_IP'"});
  listener.Accept().Send("Z");
  EXPECT_TRUE(test::WaitUntil([&] { return received == "Z"; }));
  EXPECT_TRUE(errors.empty());
}

struct FailedAttemptRow {
  const char* name;
  std::function<int()> port;
  int error;
  bool clearCode;
};

class FailedAttemptTest : public ClientSocketTest,
                          public testing::WithParamInterface<FailedAttemptRow> {};

TEST_P(FailedAttemptTest, ErrorReachesOnErrorAndClientStaysInactive) {
  clearErrors = GetParam().clearCode;
  client.SetPort(GetParam().port());
  client.SetActive(true);
  ASSERT_TRUE(test::WaitUntil([&] { return !errors.empty(); }));

  EXPECT_EQ(errors, (Errors{{TErrorEvent::eeConnect, GetParam().error}}));
  EXPECT_FALSE(client.Active());
  EXPECT_EQ(client.Socket().SocketHandle(), kInvalidSocket);
  EXPECT_EQ(reports, clearErrors ? QStringList{} : QStringList{ReportOf(GetParam().error)});
}

INSTANTIATE_TEST_SUITE_P(
    , FailedAttemptTest,
    testing::Values(
        FailedAttemptRow{"NothingListening_Cleared", UnusedLoopbackPort, ECONNREFUSED, true},
        FailedAttemptRow{"NothingListening_Left", UnusedLoopbackPort, ECONNREFUSED, false},
        // 70000 would dial its low 16 bits, 4464.
        FailedAttemptRow{"PortAbove65535_NotDialled", [] { return 70000; }, EINVAL, true},
        FailedAttemptRow{"PortZero_Left", [] { return 0; }, EINVAL, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ClientSocketTest, OpeningsThatCannotStart_FailInTheSetterAndCloseTheirSocket) {
  const struct {
    std::function<void()> setUp;
    std::string failure;
    Errors errors;
  } rows[] = {
      {[&] { client.SetAddress({}); }, "(no failure)", {{TErrorEvent::eeLookup, 1110}}},
      {[&] { client.SetAddress({}), clearErrors = false; }, "No address specified",
       {{TErrorEvent::eeLookup, 1110}}},
      {[&] { client.SetHost("gateway"); }, kHostLookupUnsupported, {}},
      {[&] { client.SetService("modbus"); }, kServiceLookupUnsupported, {}},
      {[&] { client.SetClientType(TClientType::ctBlocking); }, kBlockingUnsupported, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.failure);
    client.SetAddress(QStringLiteral("127.0.0.1"));
    client.SetHost({});
    client.SetService({});
    client.SetClientType(TClientType::ctNonBlocking);
    clearErrors = true;
    errors.clear();
    row.setUp();
    EXPECT_EQ(FailureText([&] { client.SetActive(true); }), row.failure);
    EXPECT_EQ(errors, row.errors);
    EXPECT_EQ(client.Socket().SocketHandle(), kInvalidSocket);
  }
  EXPECT_FALSE(client.Active());
}

struct PeerEndRow {
  const char* name;
  bool reset;
  bool clearCode;
};

class PeerEndTest : public ClientSocketTest, public testing::WithParamInterface<PeerEndRow> {};

TEST_P(PeerEndTest, BytesBeforeTheEndArriveThenClientDisconnects) {
  clearErrors = GetParam().clearCode;
  Descriptor peer = Connect();
  const QByteArray sent("\x01\x03\x00\x00\x00\x0A\xC5\xCD", 8);
  peer.Send(sent.toStdString());
  if (GetParam().reset) {
    // A reset may overtake unread bytes, so it waits for them.
    ASSERT_TRUE(test::WaitUntil([&] { return received.size() == sent.size(); }));
    peer.Reset();
  } else {
    peer.Close();
  }
  ASSERT_TRUE(test::WaitUntil([&] { return !client.Active(); }));

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

TEST_F(ClientSocketTest, ResetSeenByReceive_DisconnectsAndFailsNamingRecv) {
  clearErrors = false;
  Connect().Reset();
  // The reset reaches the connection's recorder on a thread of its own;
  // until then a receive finds nothing waiting.
  char buffer[8];
  std::string failure = "(no failure)";
  for (int tries = 0; failure == "(no failure)" && tries < 5000; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    failure = FailureText([&] { client.Socket().Receive(buffer, sizeof buffer); });
  }
  EXPECT_EQ(failure,
            std::string("Windows socket error: ") + std::strerror(ECONNRESET) + " (" +
                std::to_string(ECONNRESET) + "), on API 'recv'");
  EXPECT_EQ(errors, (Errors{{TErrorEvent::eeReceive, ECONNRESET}}));
  EXPECT_FALSE(client.Active());
}

TEST_F(ClientSocketTest, Receive_NothingWaitingReturnsAtOnce_SmallReceivesRepeatUntilEveryByteIsTaken) {
  char buffer[8];
  EXPECT_EQ(client.Socket().Receive(buffer, sizeof buffer), 0);  // not connected
  Descriptor peer = Connect();
  // What a read notification with nothing waiting leads to.
  EXPECT_EQ(client.Socket().Receive(buffer, sizeof buffer), -1);
  EXPECT_TRUE(client.Active());

  QByteArray sent;
  for (int i = 0; i < 100; ++i) sent.append(char(i));
  readSize = 5;
  peer.Send(sent.toStdString());
  ASSERT_TRUE(test::WaitUntil([&] { return received.size() >= sent.size(); }));
  EXPECT_EQ(received, sent);
  EXPECT_GE(reads, 20);
}

// The window may get round to the socket long after both bursts came: they
// are still received apart, each with its own time.
TEST_F(ClientSocketTest, BurstsReceivedLate_ComeApartWithTheTimesTheyCame) {
  Descriptor peer = Connect();
  peer.Send("AB");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  peer.Send("CD");
  // Without running events, so that no read handler takes the bytes; the
  // recorder may not have taken a burst off the socket yet.
  char buffer[8];
  const auto receive = [&] {
    int count = -1;
    for (int tries = 0; count < 0 && tries < 5000; ++tries) {
      count = client.Socket().Receive(buffer, sizeof buffer);
      if (count < 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return std::string(buffer, static_cast<std::size_t>(std::max(count, 0)));
  };
  EXPECT_EQ(receive(), "AB");
  const auto first = client.Socket().LastReceiveTime();
  EXPECT_EQ(receive(), "CD");
  // The kernel's receive times, turned from its clock into the steady one
  // with a moment's error: the gap seen is near 100 ms, not exactly.
  EXPECT_GE(client.Socket().LastReceiveTime() - first, std::chrono::milliseconds(90));
}

TEST_F(ClientSocketTest, ChangesWhileActive_RefusedUnlessTheyChangeNothing) {
  client.SetAddress(QStringLiteral("0x7f.0.0.1"));
  Descriptor peer = Connect();
  const struct {
    const char* name;
    std::function<void()> change;
    bool refused;
  } rows[] = {
      {"same address, other letter case", [&] { client.SetAddress("0X7F.0.0.1"); }, false},
      {"other address", [&] { client.SetAddress("127.0.0.2"); }, true},
      {"same port", [&] { client.SetPort(listener.Port()); }, false},
      {"other port", [&] { client.SetPort(listener.Port() + 1); }, true},
      {"host", [&] { client.SetHost("gateway"); }, true},
      {"blocking", [&] { client.SetClientType(TClientType::ctBlocking); }, true},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(FailureText(row.change), row.refused ? kCantChangeWhileActive : "(no failure)") << row.name;
  }
  EXPECT_EQ(client.Address(), QStringLiteral("0x7f.0.0.1"));
  EXPECT_EQ(client.Port(), listener.Port());
}

QStringList warnings;

TEST_F(ClientSocketTest, Closed_ItsDescriptorIsNoLongerWatched) {
  Descriptor peer = Connect();
  peer.Send("unread");
  ASSERT_TRUE(test::WaitUntil([&] { return !received.isEmpty(); }));
  client.Close();
  EXPECT_EQ(events.back(), "disconnect");
  // A watch left on the closed descriptor is found invalid by the event loop.
  const QtMessageHandler previous =
      qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) { warnings << text; });
  for (int pass = 0; pass < 10; ++pass) QCoreApplication::processEvents();
  qInstallMessageHandler(previous);
  EXPECT_TRUE(warnings.isEmpty()) << warnings.join(u'\n').toStdString();
}

TEST_F(ClientSocketTest, CloseWhileAttemptPending_LateCompletionStillMakesActive) {
  client.SetActive(true);
  client.Close();
  // A completion for any other socket is stale.
  client.Socket().ProcessNotification({client.Socket().SocketHandle() + 1, TNotificationKind::nkConnect, 0});
  EXPECT_FALSE(client.Active());
  // Still inactive, so a change is accepted; it counts from the next opening.
  EXPECT_NO_THROW(client.SetPort(1));
  ASSERT_TRUE(test::WaitUntil([&] { return client.Active(); }));
  EXPECT_EQ(events.back(), "connect");
}

TEST_F(ClientSocketTest, FailedReplacedAndDestroyed_EverySocketClosedWithoutEvents) {
  const auto openDescriptors = [] { return QDir(QStringLiteral("/proc/self/fd")).count(); };
  const auto before = openDescriptors();
  auto owned = std::make_unique<TClientSocket>();
  owned->SetAddress(QStringLiteral("127.0.0.1"));
  owned->SetPort(UnusedLoopbackPort());
  owned->SetActive(true);
  owned->SetActive(true);  // abandons the first attempt; only the second is refused
  int refusals = 0;
  owned->OnError = [&](TCustomSocket&, TCustomWinSocket&, TErrorEvent, int& code) {
    ++refusals, code = 0;
  };
  ASSERT_TRUE(test::WaitUntil([&] { return refusals > 0; }));

  owned->SetPort(listener.Port());
  owned->SetActive(true);
  ASSERT_TRUE(test::WaitUntil([&] { return owned->Active(); }));
  Descriptor peer = listener.Accept();
  owned->OnDisconnect = Record("disconnect");
  owned.reset();
  char byte = 0;
  EXPECT_TRUE(Readable(peer.Fd()) && ::recv(peer.Fd(), &byte, 1, 0) == 0);
  peer.Close();
  EXPECT_EQ(refusals, 1);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(openDescriptors(), before);
}

// Address text is converted, never looked up; checked without connecting.
TEST(IPv4TextConversion, DottedFormsConvertAnythingElseGivesAllOnes) {
  const std::pair<QString, uint32_t> rows[] = {
      {QStringLiteral("127.0.0.1"), htonl(0x7F000001)},
      {QStringLiteral("0X7F.1"), htonl(0x7F000001)},
      {QStringLiteral("gateway.local"), 0xFFFFFFFF},
      {QString::fromUtf16(u"127.0.0.1\0junk", 14), 0xFFFFFFFF},
  };
  for (const auto& [text, expected] : rows) {
    EXPECT_EQ(socket_api::ConvertIPv4Text(text), expected) << text.toStdString();
  }
}

}  // namespace
}  // namespace tessaly
