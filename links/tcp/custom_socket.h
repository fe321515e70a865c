#pragma once

#include "links/tcp/socket_types.h"

#include <QObject>
#include <QString>

namespace tessaly {

// The properties every socket component has. Address, Host, Port and Service
// can be changed only while the component is not active; while a connection
// attempt is pending it is not active yet, so a change is accepted and counts
// from the next opening.
class TAbstractSocket : public QObject {
  Q_OBJECT

 public:
  explicit TAbstractSocket(QObject* parent = nullptr);

  // True from the completion of a connection until the next disconnect.
  bool Active() const { return active_; }
  // True starts an opening, false closes; the current value does nothing.
  void SetActive(bool value);
  void Close() { SetActive(false); }

  int Port() const { return port_; }
  void SetPort(int value);
  QString Address() const { return address_; }
  void SetAddress(const QString& value);
  QString Host() const { return host_; }
  void SetHost(const QString& value);
  QString Service() const { return service_; }
  void SetService(const QString& value);

 protected:
  virtual void DoActivate(bool value) = 0;
  // Only the connection's connect and disconnect events change Active.
  void RecordActive(bool value) { active_ = value; }

 private:
  // Text that differs from the current text only in ASCII letter case
  // changes nothing; any other change fails while active.
  void ChangeText(QString& field, const QString& value);

  bool active_ = false;
  int port_ = 0;
  QString address_;
  QString host_;
  QString service_;
};

// A socket component with events, through which its connection reports.
class TCustomSocket : public TAbstractSocket {
  Q_OBJECT

 public:
  using TAbstractSocket::TAbstractSocket;

  TSocketNotifyEvent OnLookup;
  TSocketNotifyEvent OnConnect;
  TSocketNotifyEvent OnConnecting;
  TSocketNotifyEvent OnDisconnect;
  TSocketNotifyEvent OnListen;  // server side; a client never fires it
  TSocketNotifyEvent OnAccept;  // server side; a client never fires it
  TSocketNotifyEvent OnRead;
  TSocketNotifyEvent OnWrite;
  // The handler may clear the code; a code left non-zero makes the
  // connection raise its failure.
  TSocketErrorEvent OnError;

 protected:
  // Routes a connection's events and errors to this component.
  void AttachConnection(TCustomWinSocket& socket);

  virtual void Event(TCustomWinSocket& socket, TSocketEvent event);
  virtual void Error(TCustomWinSocket& socket, TErrorEvent errorEvent, int& errorCode);
};

}  // namespace tessaly
