#pragma once

#include <QObject>

#include <filesystem>

class QAction;
class QMenu;

namespace tessaly {

class CaptureSession;

// Options > "Reconnect when the link drops": off unless the user turns it
// on, so that a link that goes away ends the capture as it always did.
// Stored under the current user's root and applied to the session at
// start-up and at each change.
class ReconnectOption : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kStoredValue = "ReconnectOnDrop";

  // Adds the item to the menu, after `after`.
  ReconnectOption(QMenu& options, QAction* after, CaptureSession& session, std::filesystem::path storeDirectory);

  QAction* Item() const { return item_; }

 private:
  bool Stored() const;
  void Store(bool on) const;

  CaptureSession& session_;
  std::filesystem::path storeDirectory_;
  QAction* item_;
};

}  // namespace tessaly
