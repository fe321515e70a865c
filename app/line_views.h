#pragma once

#include <QObject>

#include <filesystem>

class QAction;
class QDockWidget;
class QMainWindow;
class QMenu;

namespace tessaly {

class CaptureSession;
class FrameAnalysis;
class LineHealthPane;
class PacketLogModel;

// The line at a glance, beside the log: the line health pane, with its item
// in the "&View" menu. Whether it is shown is remembered for the user.
class LineViews : public QObject {
  Q_OBJECT

 public:
  // The current user's value that remembers the line health pane (1 shown).
  static constexpr const char* kHealthShownValue = "ShowLineHealth";

  LineViews(QMainWindow& window, PacketLogModel& log, FrameAnalysis& analysis,
            CaptureSession& session);

  LineHealthPane& Health() const { return *health_; }

  QAction* miLineHealth;

 private:
  bool RestoreShown(const char* value) const;
  void RememberShown(const char* value, bool shown) const;
  QAction* AddPaneItem(QMenu& menu, QDockWidget& pane, const char* objectName, const char* caption,
                       const char* shownValue);

  FrameAnalysis& analysis_;
  std::filesystem::path storeDirectory_;
  LineHealthPane* health_;
};

}  // namespace tessaly
