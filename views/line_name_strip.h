#pragma once

#include "views/uniform_row_table_view.h"

#include <QWidget>

#include <functional>

namespace tessaly {

// A narrow column beside the log grid naming each row's line, for a log of
// two lines captured together. Like the row numbers it keeps nothing per
// row: each paint asks the grid which rows are in view and names those
// alone. Being beside the grid rather than a column of it, the grid's own
// columns (and whatever counts on them: copy, find, the filter, saving)
// stay the same with one line or two.
class LineNameStrip : public QWidget {
  Q_OBJECT

 public:
  // nameOf tells a row's line name (empty for none).
  LineNameStrip(UniformRowTableView& grid, std::function<QString(int row)> nameOf, QWidget* parent = nullptr);

  // Widens the strip to the longest of names (and the header).
  void FitNames(const QStringList& names);

  QSize sizeHint() const override;
  // The name painted at a height of the strip (for tests).
  QString NameAt(int y) const;

  static QString HeaderText() { return QStringLiteral("Line"); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int RowsTop() const;

  UniformRowTableView& grid_;
  std::function<QString(int)> nameOf_;
  int width_ = 0;
};

}  // namespace tessaly
