// The TCP client against listeners on 127.0.0.1 that the tests start
// themselves; no test dials any other address.
#include "app/common/error_report.h"
#include "links/tcp/client_socket.h"
#include "links/tcp/socket_api.h"
#include "links/tcp/socket_error.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QStringList>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace tessaly {
namespace {

using Errors = std::vector<std::pair<TErrorEvent, int>>;
using Events = std::vector<std::string>;

constexpr int kPatienceMs = 5000;

// A descriptor of the test's own side, closed with it.
struct Descriptor {
  explicit Descriptor(int descriptor) : fd(descriptor) {}
  Descriptor(Descriptor&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
  ~Descriptor() { Close(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  void Close() {
    if (fd >= 0) ::close(std::exchange(fd, -1));
  }
  // With a zero linger time the client sees a reset instead of a close.
  void Reset() {
    const linger zeroLinger{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &zeroLinger, sizeof zeroLinger);
    Close();
  }
  int fd;
};

// A socket bound to 127.0.0.1 at a port the system chooses.
Descriptor BindLoopback(int& port) {
  Descriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  EXPECT_EQ(::bind(socket.fd, reinterpret_cast<sockaddr*>(&address), length), 0);
  EXPECT_EQ(::getsockname(socket.fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
  port = ntohs(address.sin_port);
  return socket;
}

int UnusedLoopbackPort() {
  int port = 0;
  BindLoopback(port);
  return port;
}

// Waits without processing events.
bool Readable(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return ::poll(&entry, 1, kPatienceMs) == 1;
}

bool ProcessEventsUntil(const std::function<bool()>& condition) {
  const QDeadlineTimer deadline(kPatienceMs);
  while (!condition()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

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

class ClientSocketTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::listen(listener.fd, 4), 0);
    SetErrorReportHook([this](const QString& text) { reports.push_back(text); });
    client.SetAddress(QStringLiteral("127.0.0.1"));
    client.SetPort(port);
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
  Descriptor Accept() {
    EXPECT_TRUE(Readable(listener.fd));
    return Descriptor(::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC));
  }
  Descriptor Connect() {
    client.SetActive(true);
    EXPECT_TRUE(ProcessEventsUntil([&] { return client.Active(); }));
    return Accept();
  }

  int port = 0;
  Descriptor listener = BindLoopback(port);
  Events events;
  Errors errors;
  QStringList reports;
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

  ASSERT_TRUE(ProcessEventsUntil([&] { return client.Active(); }));
  EXPECT_EQ(seenOnConnect, "1 127.0.0.1:" + std::to_string(port));
  EXPECT_EQ(reports, QStringList{"Failed to set data for 'Remote_IP'"});
  Descriptor peer = Accept();
  ASSERT_EQ(::send(peer.fd, "Z", 1, 0), 1);
  EXPECT_TRUE(ProcessEventsUntil([&] { return received == "Z"; }));
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
  ASSERT_TRUE(ProcessEventsUntil([&] { return !errors.empty(); }));

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
    QString failure;  // empty: none
    Errors errors;
  } rows[] = {
      {[&] { client.SetAddress({}); }, {}, {{TErrorEvent::eeLookup, 1110}}},
      {[&] { client.SetAddress({}), clearErrors = false; }, "No address specified",
       {{TErrorEvent::eeLookup, 1110}}},
      {[&] { client.SetHost("gateway"); }, kHostLookupUnsupported, {}},
      {[&] { client.SetService("modbus"); }, kServiceLookupUnsupported, {}},
      {[&] { client.SetClientType(TClientType::ctBlocking); }, kBlockingUnsupported, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.failure.toStdString());
    client.SetAddress(QStringLiteral("127.0.0.1"));
    client.SetHost({});
    client.SetService({});
    client.SetClientType(TClientType::ctNonBlocking);
    clearErrors = true;
    errors.clear();
    row.setUp();
    if (row.failure.isEmpty()) {
      EXPECT_NO_THROW(client.SetActive(true));
    } else {
      ExpectSocketError([&] { client.SetActive(true); }, row.failure);
    }
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
  ASSERT_EQ(::send(peer.fd, sent.data(), sent.size(), 0), sent.size());
  if (GetParam().reset) {
    // A reset may overtake unread bytes, so it waits for them.
    ASSERT_TRUE(ProcessEventsUntil([&] { return received.size() == sent.size(); }));
    peer.Reset();
  } else {
    peer.Close();
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

TEST_F(ClientSocketTest, ResetSeenByReceive_DisconnectsAndFailsNamingRecv) {
  clearErrors = false;
  Connect().Reset();
  ASSERT_TRUE(Readable(client.Socket().SocketHandle()));
  char buffer[8];
  ExpectSocketError([&] { client.Socket().Receive(buffer, sizeof buffer); },
                    QStringLiteral("Windows socket error: %1 (%2), on API 'recv'")
                        .arg(QString::fromLocal8Bit(std::strerror(ECONNRESET)))
                        .arg(ECONNRESET));
  EXPECT_EQ(errors, (Errors{{TErrorEvent::eeReceive, ECONNRESET}}));
  EXPECT_FALSE(client.Active());
}

TEST_F(ClientSocketTest, SmallReceives_ReadNotificationRepeatsUntilEveryByteIsTaken) {
  Descriptor peer = Connect();
  QByteArray sent;
  for (int i = 0; i < 100; ++i) sent.append(char(i));
  readSize = 5;
  ASSERT_EQ(::send(peer.fd, sent.data(), sent.size(), 0), sent.size());
  ASSERT_TRUE(ProcessEventsUntil([&] { return received.size() >= sent.size(); }));
  EXPECT_EQ(received, sent);
  EXPECT_GE(reads, 20);
}

TEST_F(ClientSocketTest, ReceiveWithNothingToRead_ZeroWhenNotConnectedMinusOneWhenConnected) {
  char buffer[8];
  EXPECT_EQ(client.Socket().Receive(buffer, sizeof buffer), 0);
  Descriptor peer = Connect();
  // What a read notification with nothing waiting leads to.
  EXPECT_EQ(client.Socket().Receive(buffer, sizeof buffer), -1);
  EXPECT_TRUE(client.Active());
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
      {"same port", [&] { client.SetPort(port); }, false},
      {"other port", [&] { client.SetPort(port + 1); }, true},
      {"host", [&] { client.SetHost("gateway"); }, true},
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
}

TEST_F(ClientSocketTest, CloseWhileAttemptPending_LateCompletionStillMakesActive) {
  client.SetActive(true);
  client.Close();
  // Still inactive, so a change is accepted; it counts from the next opening.
  EXPECT_NO_THROW(client.SetPort(1));
  ASSERT_TRUE(ProcessEventsUntil([&] { return client.Active(); }));
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
  ASSERT_TRUE(ProcessEventsUntil([&] { return refusals > 0; }));

  owned->SetPort(port);
  owned->SetActive(true);
  ASSERT_TRUE(ProcessEventsUntil([&] { return owned->Active(); }));
  Descriptor peer = Accept();
  owned->OnDisconnect = Record("disconnect");
  owned.reset();
  char byte = 0;
  EXPECT_TRUE(Readable(peer.fd) && ::recv(peer.fd, &byte, 1, 0) == 0);
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
