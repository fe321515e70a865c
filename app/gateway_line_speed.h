#pragma once

#include <QObject>

#include <filesystem>
#include <optional>

class QAction;
class QMenu;
class QWidget;

namespace tessaly {

class CaptureSession;

// The serial speed behind the TCP gateway, which the gateway's own
// connection cannot tell: Options > "Gateway line speed…". Without it a TCP
// capture's character times, silences and turnarounds by speed are
// unknown. Stored under the current user's root, applied to the session at
// start-up and whenever it is chosen.
class GatewayLineSpeed : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kStoredValue = "GatewayLineSpeed";

  // Adds the item to the menu, after `after`, and applies the stored speed.
  GatewayLineSpeed(QMenu& options, QAction* after, CaptureSession& session,
                   std::filesystem::path storeDirectory, QWidget& window);

  QAction* Item() const { return item_; }

  // The stored speed, if any; a damaged value reads as none.
  std::optional<int> Stored() const;

 private:
  void Choose();
  void Store(std::optional<int> bitsPerSecond) const;

  CaptureSession& session_;
  std::filesystem::path storeDirectory_;
  QWidget& window_;
  QAction* item_;
};

// The choice's text form and back: "Unknown" for none, else the rate.
QString LineSpeedText(std::optional<int> bitsPerSecond);
// Nothing for "Unknown", a text that is no positive whole number, or one
// beyond 4,000,000 bits per second.
std::optional<int> LineSpeedFromText(const QString& text);

}  // namespace tessaly
