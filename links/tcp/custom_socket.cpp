#include "links/tcp/custom_socket.h"

#include "links/tcp/connection.h"
#include "links/tcp/socket_error.h"

namespace tessaly {
namespace {

bool SameTextIgnoringAsciiCase(const QString& left, const QString& right) {
  if (left.size() != right.size()) return false;
  const auto lower = [](char16_t c) -> char16_t { return c >= u'A' && c <= u'Z' ? c + 32 : c; };
  for (qsizetype i = 0; i < left.size(); ++i) {
    if (lower(left[i].unicode()) != lower(right[i].unicode())) return false;
  }
  return true;
}

void FailIfActive(bool active) {
  if (active) throw ESocketError(QString::fromLatin1(kCantChangeWhileActive));
}

void Fire(const TSocketNotifyEvent& handler, TCustomSocket& sender, TCustomWinSocket& socket) {
  if (handler) handler(sender, socket);
}

}  // namespace

TAbstractSocket::TAbstractSocket(QObject* parent) : QObject(parent) {}

void TAbstractSocket::SetActive(bool value) {
  if (value != active_) DoActivate(value);
}

void TAbstractSocket::SetPort(int value) {
  if (value == port_) return;
  FailIfActive(active_);
  port_ = value;
}

void TAbstractSocket::SetAddress(const QString& value) { ChangeText(address_, value); }

void TAbstractSocket::SetHost(const QString& value) { ChangeText(host_, value); }

void TAbstractSocket::SetService(const QString& value) { ChangeText(service_, value); }

void TAbstractSocket::ChangeText(QString& field, const QString& value) {
  if (SameTextIgnoringAsciiCase(field, value)) return;
  FailIfActive(active_);
  field = value;
}

void TCustomSocket::AttachConnection(TCustomWinSocket& socket) {
  socket.SetEventHook(
      [this](TCustomWinSocket& source, TSocketEvent event) { Event(source, event); });
  socket.SetErrorHook([this](TCustomWinSocket& source, TErrorEvent errorEvent, int& errorCode) {
    Error(source, errorEvent, errorCode);
  });
}

void TCustomSocket::Event(TCustomWinSocket& socket, TSocketEvent event) {
  switch (event) {
    case TSocketEvent::seLookup: Fire(OnLookup, *this, socket); break;
    case TSocketEvent::seConnecting: Fire(OnConnecting, *this, socket); break;
    case TSocketEvent::seConnect:
      RecordActive(true);
      Fire(OnConnect, *this, socket);
      break;
    case TSocketEvent::seDisconnect:
      RecordActive(false);
      Fire(OnDisconnect, *this, socket);
      break;
    case TSocketEvent::seListen:
      RecordActive(true);
      Fire(OnListen, *this, socket);
      break;
    case TSocketEvent::seAccept: Fire(OnAccept, *this, socket); break;
    case TSocketEvent::seWrite: Fire(OnWrite, *this, socket); break;
    case TSocketEvent::seRead: Fire(OnRead, *this, socket); break;
  }
}

void TCustomSocket::Error(TCustomWinSocket& socket, TErrorEvent errorEvent, int& errorCode) {
  if (OnError) OnError(*this, socket, errorEvent, errorCode);
}

}  // namespace tessaly
