#pragma once

#include "log/log_export.h"
#include "views/uniform_row_table_view.h"

#include <vector>

class QAction;
class QLabel;

namespace tessaly {

class LogCopyCommand;
class PacketLogModel;

// The grid that shows the packet log ("sgLog"): rows of one height, so a log
// of millions of rows costs no more to lay out than a short one (see
// UniformRowTableView), read-only cells, the time
// column drawn like a header, and the current row following every new
// packet so the latest traffic is always in sight.
//
// Following pauses while the user reads elsewhere: scrolling up, or moving
// to or selecting an older row, leaves the view where the user put it while
// packets keep arriving, and a sign in the grid's corner says so. End,
// Ctrl+End or scrolling back to the bottom resumes.
//
// Rows can be selected as ranges and copied as text; a data cell that is cut
// off shows the whole packet as its tooltip (on hover, or Enter for the
// current row).
class PacketLogView : public UniformRowTableView {
  Q_OBJECT

 public:
  // The first column widths, in screen pixels; the main window fits the
  // columns to the grid afterwards.
  static constexpr int kTimeColumnWidth = 90;
  static constexpr int kDataColumnWidth = 40;
  // At 120 pixels per inch, scaled to the screen.
  static constexpr int kRowHeight = 20;

  explicit PacketLogView(QWidget* parent = nullptr);
  ~PacketLogView() override;

  // Shows the model (the view does not own it) and follows its new packets.
  void SetLogModel(PacketLogModel* model);
  PacketLogModel* LogModel() const { return logModel_; }

  // Writes the headers "Time" and "Packet data" and sets the first column
  // widths; the main window stretches the data column afterwards.
  void InitLog();

  // The selected rows (or the current one when none is selected), in order,
  // as ranges that do not overlap.
  std::vector<RowRange> SelectedRows() const;

  // Puts the selected rows on the clipboard: both cells as text lines, or
  // the bytes alone (see LogCopyCommand).
  void CopyRows(LogFileFormat format);
  LogCopyCommand& Copier() const { return *copier_; }

  // Shows the whole packet of the current row beside it.
  void ShowWholePacket();

  bool Following() const { return following_; }
  // Back to the newest row, and following it.
  void ResumeFollowing();

  QAction* CopyAction() const { return copyAction_; }
  QAction* CopyBytesAction() const { return copyBytesAction_; }
  QAction* SelectAllAction() const { return selectAllAction_; }
  QAction* WholePacketAction() const { return wholePacketAction_; }

 signals:
  void followingChanged(bool following);
  // A copy has reached the clipboard.
  void copied(int rows);
  // The user would rather save the log than copy that many rows.
  void saveRequested();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
  void doItemsLayout() override;

 private:
  void FollowPacket(int row);
  void SetFollowing(bool following);
  // After the user moved the current row or the selection.
  void UserMovedSelection();
  void UserScrolled();
  void PlacePausedSign();

  PacketLogModel* logModel_ = nullptr;
  bool following_ = true;
  bool moving_ = false;  // the view itself moves the current row
  QLabel* pausedSign_ = nullptr;
  QAction* copyAction_;
  QAction* copyBytesAction_;
  QAction* selectAllAction_;
  QAction* wholePacketAction_;
  LogCopyCommand* copier_;  // owned by the view
};

}  // namespace tessaly
