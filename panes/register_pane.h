#pragma once

#include "modbus/register_watch.h"

#include <QDockWidget>

class QComboBox;
class QLabel;
class QTableView;
class QTimer;

namespace tessaly {

class LogFeed;
class PacketLogModel;
class RegisterModel;
class RegisterPlot;

// A pane with every register and bit the log's reads and writes told: its
// last value, when it last changed and how often, read as the user chose
// per address range; the chosen register's value over time is plotted
// below. Like the line health pane it takes packets only while shown.
class RegisterPane : public QDockWidget {
  Q_OBJECT

 public:
  static constexpr int kRefreshInterval = 1000;

  explicit RegisterPane(const PacketLogModel& log, QWidget* parent = nullptr);

  RegisterModel& Model() const { return *model_; }
  const modbus::RegisterWatch& Watch() const { return watch_; }
  QTableView* Table() const { return table_; }
  QComboBox* TypeBox() const { return type_; }
  QComboBox* OrderBox() const { return order_; }
  RegisterPlot& Plot() const { return *plot_; }
  QString Status() const;
  void SetStatus(const QString& text);
  void Refresh();
  // Whether the pane follows the log (while it is open): a closed pane
  // takes nothing and catches up when it follows again.
  void SetFollowing(bool following);

  // Reads the selected registers (of one unit and table) as the chosen
  // type and word order; false, with the reason in the status line, when
  // the selection does not allow it.
  bool ApplyTypeToSelection();

 signals:
  // The types of a unit were chosen anew, to be remembered.
  void typesChanged(std::uint8_t unit);

 private:
  void PlotCurrent();

  modbus::RegisterWatch watch_;
  LogFeed* feed_;
  RegisterModel* model_;
  QComboBox* type_;
  QComboBox* order_;
  QLabel* status_;
  QTableView* table_;
  RegisterPlot* plot_;
  QTimer* refresh_;
  bool changed_ = false;
  std::int64_t latest_ = 0;  // the last packet's time, where plots end
};

}  // namespace tessaly
