#pragma once

#include <QObject>

#include <QStringList>

#include <filesystem>
#include <functional>
#include <optional>

class QAction;
class QMenu;
class QWidget;

namespace tessaly {

class CaptureSession;

// The serial speed behind the TCP gateway, which the gateway's own
// connection cannot tell: Options > "Gateway line speed…". Without it a TCP
// capture's character times, silences and turnarounds by speed are
// unknown. Each line has its own: with a second line on, the item first
// asks which line it sets, and the question names that line. Stored under
// the current user's root, applied to the sessions at start-up and whenever
// chosen.
class GatewayLineSpeed : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kStoredValue = "GatewayLineSpeed";
  static constexpr const char* kSecondStoredValue = "GatewayLineSpeed2";

  // Adds the item to the menu, after `after`, and applies the stored speed.
  GatewayLineSpeed(QMenu& options, QAction* after, CaptureSession& session,
                   std::filesystem::path storeDirectory, QWidget& window);

  QAction* Item() const { return item_; }

  // The second line's session, and the names of both lines while it is on
  // (empty while it is off). Applies its stored speed.
  void SetSecondLine(CaptureSession& session, std::function<QStringList()> namesWhileOn);

  // The stored speed of a line (0 the first, 1 the second), if any; a
  // damaged value reads as none.
  std::optional<int> Stored(int line = 0) const;

  // The question for a line's speed, naming the line when two capture.
  static QString Question(const QStringList& names, int line);

 private:
  void Choose();
  void ChooseFor(int line, const QStringList& names);
  void Store(int line, std::optional<int> bitsPerSecond) const;
  CaptureSession& SessionOf(int line) const { return line == 0 ? session_ : *secondSession_; }

  CaptureSession& session_;
  CaptureSession* secondSession_ = nullptr;
  std::function<QStringList()> namesWhileOn_;
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
