#pragma once

#include <QBitArray>
#include <QHeaderView>

namespace tessaly {

// The log grid's column header. A header that highlights sections repaints
// itself whole whenever the selection changes, and a following log moves the
// selection to every new row; yet a section's look only depends on whether
// the selection touches its column and whether it holds the whole column,
// which a selected row moving down leaves as it was. This header repaints
// only when that changes.
class LogHeaderView : public QHeaderView {
  Q_OBJECT

 public:
  explicit LogHeaderView(Qt::Orientation orientation, QWidget* parent = nullptr);

 protected:
  void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  // Two bits a section: touched by the selection, wholly selected.
  QBitArray Highlights() const;

  QBitArray shown_;  // as last asked to be painted
};

}  // namespace tessaly
