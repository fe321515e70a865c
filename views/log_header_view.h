#pragma once

#include <QBitArray>
#include <QHeaderView>
#include <QPointer>

#include <vector>

namespace tessaly {

// The grid's column header. It shows the selection as a header that
// highlights sections does (the touched column raised, a wholly selected
// one sunken), but reads it from the selection's ranges: Qt's header asks
// the selection model section by section whether a column is wholly
// selected, which walks every row, for every section and its neighbours on
// every paint, a second and more with ten million rows selected.
//
// So Qt's header is handed a selection model that never holds anything
// (its own scan then finds nothing at once), and this one watches the
// view's. It repaints only when the selection's bearing on a section
// changes, not when a followed selection moves down to every new row.
class LogHeaderView : public QHeaderView {
  Q_OBJECT

 public:
  explicit LogHeaderView(Qt::Orientation orientation, QWidget* parent = nullptr);

  // The selection shown is this one; the base header is given a blank one.
  void setSelectionModel(QItemSelectionModel* selectionModel) override;
  QItemSelectionModel* ShownSelection() const { return shownSelection_; }

  // Two bits a section, as SectionHighlights() gives them, for the
  // selection as it is now.
  QBitArray Highlights() const;

 protected:
  void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void Watch(QItemSelectionModel* selection);
  // After the selection or the rows changed: repaints if the sections' look did.
  void Recheck();

  QPointer<QItemSelectionModel> shownSelection_;
  std::vector<QMetaObject::Connection> watching_;  // to the shown selection and its model
  QItemSelectionModel* blank_ = nullptr;  // given to the base header; owned by this
  QBitArray shown_;                       // as last painted
};

}  // namespace tessaly
