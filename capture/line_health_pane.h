#pragma once

#include "capture/log_filter_pane.h"
#include "capture/modbus/line_statistics.h"

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
// fared and how fast units answered, and the line's load. It takes the
// log's packets only while shown, catching up when it is opened, and shows
// what came at most a few times a second. Choosing a count asks for its
// rows in the filter pane.
class LineHealthPane : public QDockWidget {
  Q_OBJECT

 public:
  // How often the table shows what came.
  static constexpr int kRefreshInterval = 500;

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
  // Whether the pane follows the log (while it is open): a closed pane
  // takes nothing and catches up when it follows again.
  void SetFollowing(bool following);

 signals:
  void rowsWanted(std::uint8_t unit, std::uint8_t function, LogFilterPane::QuickFilter kind);

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
