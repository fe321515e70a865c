#pragma once

#include <cstdint>
#include <functional>

namespace tessaly {

class TCustomSocket;
class TCustomWinSocket;

// A platform socket handle; kInvalidSocket when there is none.
using TSocketHandle = int;
inline constexpr TSocketHandle kInvalidSocket = -1;

// What a reported error was doing when it happened.
enum class TErrorEvent {
  eeGeneral,     // a notification of another kind
  eeSend,        // writable notification or sending
  eeReceive,     // readable notification or a receive
  eeConnect,     // connect completion
  eeDisconnect,  // close notification
  eeAccept,      // accept notification
  eeLookup,      // missing address or a failed lookup
};

enum class TClientType { ctNonBlocking, ctBlocking };

// How the connection object reports to its component.
enum class TSocketEvent {
  seLookup,
  seConnecting,
  seConnect,
  seDisconnect,
  seListen,
  seAccept,
  seWrite,
  seRead,
};

// The notifications a connection object asks the platform for.
enum TAsyncStyle : std::uint8_t {
  asRead = 1 << 0,
  asWrite = 1 << 1,
  asOOB = 1 << 2,
  asAccept = 1 << 3,
  asConnect = 1 << 4,
  asClose = 1 << 5,
};
using TAsyncStyles = std::uint8_t;
inline constexpr TAsyncStyles kNonBlockingStyles = asRead | asWrite | asConnect | asClose;

// One readiness notification, as it is queued for the user-interface thread.
enum class TNotificationKind { nkConnect, nkClose, nkRead, nkWrite, nkAccept, nkOutOfBand };

struct TSocketNotification {
  TSocketHandle socket = kInvalidSocket;
  TNotificationKind kind = TNotificationKind::nkRead;
  int errorCode = 0;  // the platform's error number; 0 for none
};

// The IPv4 peer a connection object dials, both fields in network byte order.
// Zero when reset.
struct TRemoteAddress {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
};

using TSocketNotifyEvent = std::function<void(TCustomSocket& sender, TCustomWinSocket& socket)>;
using TSocketErrorEvent = std::function<void(TCustomSocket& sender, TCustomWinSocket& socket,
                                             TErrorEvent errorEvent, int& errorCode)>;

}  // namespace tessaly
