#pragma once

#include <QObject>

class QAbstractItemView;
class QWidget;

namespace tessaly {

class LogFilterPane;
class PacketLogModel;

// The keyboard in the filter pane, so that it is no trap: Tab and Shift+Tab
// leave its row list for the next or previous control instead of walking
// the cells, Escape anywhere in the pane goes back to the log grid, and
// Ctrl+C in the row list copies the listed rows chosen, as the grid copies
// its rows (the time and the data cell, a tab between them), rather than one
// cell's text.
class FilterPaneKeys : public QObject {
  Q_OBJECT

 public:
  FilterPaneKeys(LogFilterPane& pane, const PacketLogModel& log, QWidget& grid);

  // Puts the chosen listed rows on the clipboard.
  void CopyChosenRows() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  LogFilterPane& pane_;
  const PacketLogModel& log_;
  QWidget& grid_;
  QAbstractItemView* rows_;
};

}  // namespace tessaly
