#pragma once

#include "links/serial/com_port.h"
#include "links/tcp/client_socket.h"

#include <QObject>

#include <filesystem>

namespace tessaly {

// The link holder: owns the serial port and the TCP client for the whole run,
// restores their settings at start-up and stores them when a link opens.
class Data : public QObject {
  Q_OBJECT

 public:
  explicit Data(std::filesystem::path storeDirectory, QObject* parent = nullptr);
  // The holder of another line captured beside the first: its objects and
  // stored values carry lineSuffix ("2": the port "ComPort2", stored under
  // the key of that name; the gateway as "Remote_IP2" and "Remote_Port2"),
  // so that it never reads or writes the first line's values.
  Data(std::filesystem::path storeDirectory, const QString& lineSuffix, QObject* parent = nullptr);
  ~Data() override;

  TComPort& ComPort() { return comPort_; }
  TClientSocket& Socket() { return socket_; }
  const std::filesystem::path& StoreDirectory() const { return storeDirectory_; }

  // Restores the serial settings and the gateway's address and port from the
  // store; a value that cannot be read leaves what was set before it.
  void DataModuleCreate();

  // After each successful opening of the serial port: remember its settings.
  // A store that refuses is no reason to close a working port.
  void ComPortAfterOpen(TCustomComPort& sender);

  // After each successful TCP connection: remember the address and port.
  // A failure to store them reaches the caller (and so the error report);
  // the connection stays up.
  void SocketConnect(TCustomSocket& sender, TCustomWinSocket& socket);

 signals:
  // The TCP client connected or disconnected by itself (through its
  // notifications), so whatever shows the link state must look again.
  void linkStateChanged();

 private:
  std::filesystem::path storeDirectory_;
  // The value names of the gateway's address and port.
  std::string addressValue_;
  std::string portValue_;
  TComPort comPort_;
  TClientSocket socket_;
};

}  // namespace tessaly
