#include "links/tcp/client_socket.h"

#include "links/tcp/socket_error.h"

namespace tessaly {

TClientSocket::TClientSocket(QObject* parent)
    : TCustomSocket(parent), socket_(std::make_unique<TClientWinSocket>()) {
  AttachConnection(*socket_);
}

// The connection goes first: it detaches its events and closes its socket
// while the component's fields still exist.
TClientSocket::~TClientSocket() { socket_.reset(); }

void TClientSocket::DoActivate(bool value) {
  if (value == socket_->Connected()) return;
  if (socket_->Connected()) {
    socket_->DeliverLastBytes();
    socket_->Disconnect(socket_->SocketHandle());
    return;
  }
  if (ClientType() == TClientType::ctBlocking) {
    throw ESocketError(QString::fromLatin1(kBlockingUnsupported));
  }
  socket_->Open(Host(), Address(), Service(), Port());
}

}  // namespace tessaly
