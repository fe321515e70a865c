#pragma once

#include "core/packet_time.h"

#include <QString>

namespace tessaly {

// What a capture session tells its owner without being asked: a window
// shows it in a box, a recorder without one writes it out. Called on the
// session's thread, from its event loop.
class CaptureReporter {
 public:
  virtual ~CaptureReporter() = default;

  // The open link went away by itself (a device unplugged or hung up, a
  // gateway gone) after every byte read from it reached the framing; the
  // session has closed it. message: the link's own failure text; detail:
  // what it concerns and what to do.
  virtual void LinkLost(const QString& message, const QString& detail) = 0;

  // Any link went away by itself (a serial device, a gateway that closed or
  // reset the connection), at the moment given, for the reason given; so
  // that a capture read later shows where it has a gap. retrying: the
  // session opens it again every second until it is back.
  virtual void LinkDropped(const QString& cause, PacketTime at, bool retrying) = 0;
  // A link that dropped is open again.
  virtual void LinkBack(const QString& where, PacketTime at) = 0;
};

}  // namespace tessaly
