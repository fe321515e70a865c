#include "tests/app/program_fixture.h"

#include "app/common/error_report.h"
#include "capture/packet_log_model.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace tessaly::testing_support {

PseudoTerminal::PseudoTerminal() {
  if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
    ADD_FAILURE() << "openpty failed";
    return;
  }
  termios raw{};
  ::tcgetattr(slave_, &raw);
  ::cfmakeraw(&raw);
  ::tcsetattr(slave_, TCSANOW, &raw);
  path_ = ::ttyname(slave_);
}

PseudoTerminal::~PseudoTerminal() {
  if (master_ >= 0) ::close(master_);
  if (slave_ >= 0) ::close(slave_);
}

void PseudoTerminal::Write(const std::vector<std::uint8_t>& bytes) const {
  ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

void PseudoTerminal::Hangup() {
  ::close(master_);
  master_ = -1;
}

LoopbackListener::LoopbackListener() {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(::listen(listener_, 4), 0);
  socklen_t length = sizeof address;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
}

LoopbackListener::~LoopbackListener() {
  if (greeter_.joinable()) greeter_.join();
  CloseClient();
  if (listener_ >= 0) ::close(listener_);
}

int LoopbackListener::AcceptClient() {
  const QDeadlineTimer deadline(5000);
  while (!deadline.hasExpired()) {
    pollfd ready{listener_, POLLIN, 0};
    if (::poll(&ready, 1, 10) > 0) {
      client_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      return client_;
    }
    QApplication::processEvents();
  }
  return -1;
}

void LoopbackListener::Send(const std::vector<std::uint8_t>& bytes) const {
  ASSERT_EQ(::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(bytes.size()));
}

void LoopbackListener::SendOnAccept(std::vector<std::uint8_t> bytes) {
  greeter_ = std::thread([this, bytes = std::move(bytes)] {
    pollfd ready{listener_, POLLIN, 0};
    if (::poll(&ready, 1, 5000) <= 0) return;
    client_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client_ >= 0) ::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  });
}

void LoopbackListener::CloseClient() {
  if (client_ >= 0) ::close(client_);
  client_ = -1;
}

int UnusedLoopbackPort() {
  // Bound and closed again: nothing listens there afterwards.
  const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(probe);
  return ntohs(address.sin_port);
}

void ProgramTest::SetUp() {
  ASSERT_TRUE(storeFolder_.isValid());
  SetErrorReportHook([this](const QString& text) { reports_ << text; });
}

void ProgramTest::TearDown() {
  window_.reset();
  data_.reset();
  SetErrorReportHook({});
}

std::filesystem::path ProgramTest::StoreDirectory() const {
  return std::filesystem::path(storeFolder_.path().toStdString()) / "tessaly";
}

void ProgramTest::StartProgram() {
  window_.reset();
  data_ = std::make_unique<Data>(StoreDirectory());
  data_->DataModuleCreate();
  window_ = std::make_unique<MainWindow>(*data_);
}

bool ProgramTest::WaitFor(const std::function<bool()>& condition, int timeoutMs) {
  const QDeadlineTimer deadline(timeoutMs);
  while (!condition()) {
    if (deadline.hasExpired()) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    QTest::qSleep(2);
  }
  return true;
}

QStringList ProgramTest::LoggedPackets() {
  window_->Log().AnnouncePackets();
  QStringList rows;
  const PacketLogModel& log = window_->Log();
  for (int row = 0; row < log.PacketCount(); ++row) {
    rows << log.data(log.index(row, PacketLogModel::kDataColumn)).toString();
  }
  return rows;
}

void ProgramTest::CloseModalBoxes() {
  boxCloser_ = std::make_unique<QTimer>();
  boxCloser_->setInterval(20);
  QObject::connect(boxCloser_.get(), &QTimer::timeout, [this] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    const auto* box = qobject_cast<QMessageBox*>(dialog);
    closedBoxes_ << (box != nullptr ? box->windowTitle() + u'|' + box->text() : dialog->objectName());
    dialog->reject();
  });
  boxCloser_->start();
}

}  // namespace tessaly::testing_support
