#pragma once

#include "app/count_label.h"
#include "modbus/conversation.h"
#include "capture_file/capture_file_format.h"
#include "session/line_description.h"

#include <QObject>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QLabel;
class QMainWindow;
class QMenu;
class QStatusBar;

namespace tessaly {

class CaptureSession;
class FrameCounter;
class FindScan;
class FrameMarkDelegate;
class LogFilterPane;
class PacketDetailsPane;
class PacketLogModel;
class PacketLogView;

// The Modbus reading of the log, beside the grid: marks on packets that are
// not good frames, a count of good and bad frames after the status panels,
// the packet details pane, and the filter and find pane, with their "&View"
// menu before "&Help". Whether the details pane is shown is remembered for
// the user.
class FrameAnalysis : public QObject {
  Q_OBJECT

 public:
  // The current user's value that remembers the details pane (1 shown).
  static constexpr const char* kDetailsShownValue = "ShowPacketDetails";

  FrameAnalysis(QMainWindow& window, PacketLogModel& log, PacketLogView& view,
                QStatusBar& statusBar, CaptureSession& session);
  ~FrameAnalysis() override;

  PacketDetailsPane& Details() const { return *details_; }
  LogFilterPane& FilterPane() const { return *filter_; }
  FrameCounter& Counter() const { return *counter_; }
  QLabel& CountPanel() const { return *countPanel_; }
  FrameMarkDelegate& Marks() const { return *marks_; }

  QAction* miPacketDetails;
  QAction* miFilterFind;
  QAction* miFind;
  QAction* miFindNext;
  QAction* miFindPrevious;
  QAction* miMarkFrames;

  // Makes the next (or previous) packet holding the find field's bytes the
  // log's current row; in a long log the row is looked for on a thread, and
  // becomes current when found.
  void Find(bool forward);

  // The line of the current row, for times on it.
  modbus::LineTiming Timing() const;
  // The line of a row, for times on it: of its own packet's interface when
  // the log shows a file; the second line's own where the row came on it.
  modbus::LineTiming TimingOfRow(int row) const;
  // The second line's description, while one is captured beside the first.
  void SetSecondLine(std::function<LineDescription()> line) { secondLine_ = std::move(line); }
  // The line a row of the capture file the log shows came on, if it shows
  // one (row -1: the file's first): it times the rows instead of the live
  // session's line.
  using ShownLine = std::function<std::optional<CaptureInterface>(int row)>;
  void SetShownLine(ShownLine shownLine) { shownLine_ = std::move(shownLine); }
  // Makes a log row the grid's current row and brings it into view.
  void GoToRow(int row);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildViewMenu(QMainWindow& window);
  bool RestoreDetailsShown() const;
  void RememberDetailsShown(bool shown) const;
  void ShowCurrentRow();
  void ShowFound(int row);

  PacketLogModel& log_;
  PacketLogView& view_;
  CaptureSession& session_;
  std::function<LineDescription()> secondLine_;
  std::filesystem::path storeDirectory_;
  FrameCounter* counter_;
  CountLabel* countPanel_;
  FrameMarkDelegate* marks_;
  PacketDetailsPane* details_;
  LogFilterPane* filter_;
  std::unique_ptr<FindScan> findScan_;
  ShownLine shownLine_;  // while a find looks on a thread
};

}  // namespace tessaly
