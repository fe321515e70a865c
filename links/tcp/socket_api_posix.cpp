#include "links/tcp/socket_api.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tessaly::socket_api {

int CreateStreamSocket(TSocketHandle& socket) {
  socket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (socket < 0) return errno;
  // Without the kernel's receive times, the reader's own clock stands in:
  // the link works all the same, so a refusal is no failure.
  const int on = 1;
  (void)::setsockopt(socket, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
  return 0;
}

int StartConnect(TSocketHandle socket, const TRemoteAddress& remote) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = remote.port;
  peer.sin_addr.s_addr = remote.address;
  // A non-blocking connect interrupted by a signal goes on in the background,
  // exactly as one that answered EINPROGRESS.
  if (::connect(socket, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) return 0;
  return errno == EINTR ? EINPROGRESS : errno;
}

int PendingError(TSocketHandle socket, int& pendingError) {
  pendingError = 0;
  socklen_t length = sizeof pendingError;
  return ::getsockopt(socket, SOL_SOCKET, SO_ERROR, &pendingError, &length) == 0 ? 0 : errno;
}

int BytesWaiting(TSocketHandle socket, int& count) {
  count = 0;
  return ::ioctl(socket, FIONREAD, &count) == 0 ? 0 : errno;
}

namespace {

int ReceiveWithFlags(TSocketHandle socket, void* buffer, int count, int flags, int& received) {
  received = 0;
  for (;;) {
    const ssize_t result = ::recv(socket, buffer, static_cast<size_t>(count), flags | MSG_DONTWAIT);
    if (result >= 0) {
      received = static_cast<int>(result);
      return 0;
    }
    if (errno != EINTR) return errno;
  }
}

}  // namespace

int Receive(TSocketHandle socket, void* buffer, int count, int& received, std::int64_t* receivedAtNs) {
  if (receivedAtNs == nullptr) return ReceiveWithFlags(socket, buffer, count, 0, received);
  received = 0;
  *receivedAtNs = 0;
  iovec place{buffer, static_cast<size_t>(count)};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
  for (;;) {
    msghdr message{};
    message.msg_iov = &place;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t result = ::recvmsg(socket, &message, MSG_DONTWAIT);
    if (result < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    received = static_cast<int>(result);
    for (cmsghdr* item = CMSG_FIRSTHDR(&message); item != nullptr; item = CMSG_NXTHDR(&message, item)) {
      if (item->cmsg_level == SOL_SOCKET && item->cmsg_type == SCM_TIMESTAMPNS) {
        timespec stamp{};
        std::memcpy(&stamp, CMSG_DATA(item), sizeof stamp);
        *receivedAtNs = std::int64_t{stamp.tv_sec} * 1'000'000'000 + stamp.tv_nsec;
      }
    }
    return 0;
  }
}

int CloseSocket(TSocketHandle socket) {
  // On Linux the descriptor is released even when close reports EINTR, so
  // retrying could close a descriptor that another part has opened since.
  if (::close(socket) == 0 || errno == EINTR) return 0;
  return errno;
}

bool IsWouldBlock(int errorCode) {
  return errorCode == EINPROGRESS || errorCode == EAGAIN || errorCode == EWOULDBLOCK;
}

std::uint32_t ConvertIPv4Text(const QString& text) {
  // inet_addr stops at a zero byte, which would accept "127.0.0.1\0junk".
  if (text.contains(QChar(u'\0'))) return INADDR_NONE;
  return ::inet_addr(text.toLatin1().constData());
}

QString ErrorText(int errorCode) {
  char buffer[256] = {};
  // The GNU strerror_r returns the text, which may or may not be in buffer.
  return QString::fromLocal8Bit(::strerror_r(errorCode, buffer, sizeof buffer));
}

}  // namespace tessaly::socket_api
