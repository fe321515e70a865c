#pragma once

#include "panes/log_filter_pane.h"
#include "modbus/line_statistics.h"

#include <QDockWidget>

#include <functional>

class QLabel;
class QTableView;
class QTimer;

namespace tessaly {

class LineHealthModel;
class LogFeed;
class PacketLogModel;

// A pane with the health of the line: per unit and function how requests
// fared and how fast units answered, and the line's load. The statistics
// take every packet as it comes, shown or not (about a tenth of a
// microsecond a packet, against the grid's tenths of a millisecond), so the
// pane opens at once on the longest capture; the table shows what came once
// a second while the pane is open. Choosing a count asks for its
// rows in the filter pane.
class LineHealthPane : public QDockWidget {
  Q_OBJECT

 public:
  // How often the table shows what came.
  static constexpr int kRefreshInterval = 1000;

  explicit LineHealthPane(const PacketLogModel& log, QWidget* parent = nullptr);

  // Where the line's speed and character size come from, asked before new
  // packets are taken: a capture may start on another line.
  void SetLineTiming(std::function<modbus::LineTiming()> timing);

  const modbus::LineStatistics& Statistics() const { return statistics_; }
  LineHealthModel& Model() const { return *model_; }
  QTableView* Table() const { return table_; }
  QString SummaryText() const;
  // Takes what came and shows it now.
  void Refresh();
  // Whether the table follows the statistics (while the pane is open).
  void SetFollowing(bool following);

 signals:
  void rowsWanted(std::uint8_t unit, std::uint8_t function, LogFilterPane::QuickFilter kind);
  // The bad frames' own row was chosen: every bad frame, whatever it begins with.
  void badFramesWanted();

 private:
  void ChooseCell(const QModelIndex& index);

  modbus::LineStatistics statistics_;
  LogFeed* feed_;
  LineHealthModel* model_;
  QLabel* summary_;
  QTableView* table_;
  QTimer* refresh_;
  bool changed_ = false;
};

}  // namespace tessaly
