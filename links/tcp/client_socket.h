#pragma once

#include "links/tcp/connection.h"
#include "links/tcp/custom_socket.h"

#include <memory>

namespace tessaly {

// The TCP client component: non-blocking, every outcome reported through
// the event loop of the thread that opened it. Setting Active to true only
// starts the attempt; Active becomes true when the connect notification has
// been processed, just before OnConnect. Close does not cancel a pending
// attempt: if it completes later, the client becomes Active as usual.
class TClientSocket : public TCustomSocket {
  Q_OBJECT

 public:
  explicit TClientSocket(QObject* parent = nullptr);
  ~TClientSocket() override;

  TClientWinSocket& Socket() { return *socket_; }
  const TClientWinSocket& Socket() const { return *socket_; }

  TClientType ClientType() const { return socket_->ClientType(); }
  // Fails while connected. Only ctNonBlocking can be opened.
  void SetClientType(TClientType clientType) { socket_->SetClientType(clientType); }

 protected:
  void DoActivate(bool value) override;

 private:
  std::unique_ptr<TClientWinSocket> socket_;
};

}  // namespace tessaly
