#include "app/filter_pane_keys.h"

#include "log/log_export.h"
#include "log/log_filter_model.h"
#include "panes/log_filter_pane.h"
#include "log/packet_log_model.h"

#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QAbstractItemView>

#include <algorithm>
#include <vector>

namespace tessaly {
namespace {

bool IsCopyKey(QEvent* event) {
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) return false;
  return static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy);
}

}  // namespace

FilterPaneKeys::FilterPaneKeys(LogFilterPane& pane, const PacketLogModel& log, QWidget& grid)
    : QObject(&pane),
      pane_(pane),
      log_(log),
      grid_(grid),
      rows_(pane.findChild<QAbstractItemView*>(QStringLiteral("FilteredRows"))) {
  // Keys a child leaves unused (Escape in a field or the list) come up to
  // the pane.
  pane.installEventFilter(this);
  if (rows_ != nullptr) {
    rows_->setTabKeyNavigation(false);
    rows_->installEventFilter(this);
  }
}

void FilterPaneKeys::CopyChosenRows() const {
  if (rows_ == nullptr || rows_->selectionModel() == nullptr) return;
  QModelIndexList chosen = rows_->selectionModel()->selectedRows();
  if (chosen.isEmpty() && rows_->currentIndex().isValid()) chosen << rows_->currentIndex();
  std::vector<int> logRows;
  for (const QModelIndex& index : chosen) logRows.push_back(pane_.Model().SourceRow(index.row()));
  std::sort(logRows.begin(), logRows.end());
  logRows.erase(std::unique(logRows.begin(), logRows.end()), logRows.end());
  if (logRows.empty()) return;
  std::vector<RowRange> ranges;
  for (int row : logRows) ranges.push_back({row, row});
  LogWriter writer(log_.TakeSnapshot(), LogFileFormat::kText, std::move(ranges));
  writer.SetMarks(log_.Marks());
  writer.SetLineNames({log_.LineNames().begin(), log_.LineNames().end()});
  QByteArray text;
  while (writer.WriteNext(text)) {
  }
  QApplication::clipboard()->setText(QString::fromLatin1(text));
}

bool FilterPaneKeys::eventFilter(QObject* watched, QEvent* event) {
  if (watched == rows_ && IsCopyKey(event)) {
    // Claimed before the grid's Copy shortcut or the list's own cell copy
    // can take it.
    event->accept();
    if (event->type() == QEvent::KeyPress) CopyChosenRows();
    return true;
  }
  if (watched == &pane_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    grid_.setFocus(Qt::OtherFocusReason);
    return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace tessaly
