#pragma once

// The platform's socket calls, in one place, so that the connection logic
// above them stays the same on every platform. Calls that can fail return 0
// or the platform's error number (errno here) and give their result through
// an out parameter.

#include "links/tcp/socket_types.h"

#include <QString>

#include <cstdint>

namespace tessaly::socket_api {

// A non-blocking IPv4 stream socket that is not inherited by child processes,
// whose received bytes carry the kernel's receive time where it keeps one.
int CreateStreamSocket(TSocketHandle& socket);

// Starts connecting; the would-block answers (IsWouldBlock) are the normal
// result and are returned like any other error number.
int StartConnect(TSocketHandle socket, const TRemoteAddress& remote);

// The outcome of a finished connection attempt: 0 for success.
int PendingError(TSocketHandle socket, int& pendingError);

// How many bytes can be read without waiting.
int BytesWaiting(TSocketHandle socket, int& count);

// Reads at most count bytes without waiting; received is 0 when the peer has
// closed its side. With receivedAtNs, also gives when the kernel received the
// last of those bytes, in wall-clock nanoseconds since the epoch, or 0 when
// it kept no time.
int Receive(TSocketHandle socket, void* buffer, int count, int& received,
            std::int64_t* receivedAtNs = nullptr);

int CloseSocket(TSocketHandle socket);

// The answers by which a non-blocking call says "not yet".
bool IsWouldBlock(int errorCode);

// The platform's IPv4 text conversion, in network byte order: dotted
// numbers in its forms ("127.0.0.1", "127.1", "0x7f.1"); any other text,
// a host name for one, gives the all-ones address 255.255.255.255.
std::uint32_t ConvertIPv4Text(const QString& text);

// The platform's description of an error number.
QString ErrorText(int errorCode);

}  // namespace tessaly::socket_api
