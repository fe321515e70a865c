#pragma once

#include <QWidget>

#include <functional>

#include "views/uniform_row_table_view.h"


namespace tessaly {

// Row numbers beside the log grid, as the details pane names rows (from 1).
// It keeps nothing per row: each paint asks the grid which rows are in view
// and where, and numbers those alone, so it costs the same in a log of ten
// rows or ten million. The log's empty first row (before any packet) has no
// number.
class RowNumberStrip : public QWidget {
  Q_OBJECT

 public:
  // packetCount tells how many rows hold packets.
  RowNumberStrip(UniformRowTableView& grid, std::function<int()> packetCount, QWidget* parent = nullptr);

  QSize sizeHint() const override;
  // The number painted at a height of the strip, or 0 for none (for tests).
  int NumberAt(int y) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // The top of the grid's rows in the strip's coordinates.
  int RowsTop() const;
  void FitWidth();

  UniformRowTableView& grid_;
  std::function<int()> packetCount_;
  int digits_ = 0;
};

}  // namespace tessaly
