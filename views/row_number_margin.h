#pragma once

#include <QWidget>

namespace tessaly {

class UniformRowTableView;

// The row header of a UniformRowTableView: each row's header text from the
// model (its vertical header data) on a header section, as a table view's
// row header draws it, made for the rows on screen only, so it keeps
// nothing per row either. Rows that are selected show highlighted.
class RowNumberMargin : public QWidget {
  Q_OBJECT

 public:
  explicit RowNumberMargin(UniformRowTableView& view);

  // The width the label of the table's last row needs (labels are taken to
  // grow with the row, as row numbers do).
  int NeededWidth() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  UniformRowTableView& view_;
};

}  // namespace tessaly
