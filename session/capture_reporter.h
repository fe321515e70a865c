#pragma once

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
};

}  // namespace tessaly
