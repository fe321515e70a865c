#include "views/packet_log_view.h"

#include "views/log_scroll_bar.h"
#include "views/text_cell_delegate.h"
#include "views/log_copy_command.h"
#include "log/packet_log_model.h"
#include "presentation/ui_scale.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>

namespace tessaly {

namespace {

// Paints the time column on the palette's button colour, as a fixed header
// column, so the eye separates the stamps from the data.
class HeaderStyledDelegate : public TextCellDelegate {
 public:
  using TextCellDelegate::TextCellDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->backgroundBrush = option->palette.button();
  }
};

// The width a data cell's whole text needs, with the cell's margins.
int TextWidth(const QStyleOptionViewItem& option, const QString& text) {
  return option.fontMetrics.horizontalAdvance(text) + 2 * option.fontMetrics.averageCharWidth();
}

// Hands the painter only as much of a long packet's text as the cell can
// show: a full packet is 3072 characters, of which a cell shows a few
// hundred, and laying out the rest only to elide it would cost most of the
// time spent painting a busy log. The whole packet is the tooltip of a cell
// that is cut off.
class PacketDataDelegate : public TextCellDelegate {
 public:
  using TextCellDelegate::TextCellDelegate;

  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override {
    if (event->type() == QEvent::ToolTip &&
        TextWidth(option, index.data().toString()) <= option.rect.width()) {
      // The cell shows all of it already.
      QToolTip::hideText();
      return true;
    }
    return TextCellDelegate::helpEvent(event, view, option, index);
  }

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    const int averageWidth = std::max(1, option->fontMetrics.averageCharWidth());
    // Twice what fits on average, so narrow glyphs still fill the cell; the
    // cut text stays longer than the cell and is still elided as usual.
    const qsizetype fits = 2 * (option->rect.width() / averageWidth) + 8;
    if (option->text.size() > fits) option->text.truncate(fits);
  }
};

QAction* NewAction(QWidget& owner, const char* objectName, const QString& text,
                   const QKeySequence& shortcut) {
  auto* action = new QAction(text, &owner);
  action->setObjectName(QLatin1String(objectName));
  action->setShortcut(shortcut);
  // Only while the grid has the focus: elsewhere the keys keep their
  // usual meaning.
  action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  owner.addAction(action);
  return action;
}

}  // namespace

PacketLogView::PacketLogView(QWidget* parent) : UniformRowTableView(parent) {
  setObjectName(QStringLiteral("sgLog"));
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setItemDelegateForColumn(PacketLogModel::kTimeColumn, new HeaderStyledDelegate(this));
  setItemDelegateForColumn(PacketLogModel::kDataColumn, new PacketDataDelegate(this));

  // One height for every row, scaled to the screen; the grid scrolls by
  // pixel, so a row appended below leaves what is on screen where it was and
  // the follow-up scroll moves the pixels already painted.
  SetRowHeight(Scaled(kRowHeight));
  // The bar moves with every batch of rows; this one repaints only what moved.
  // The view hears its bar as it heard the one it replaces.
  auto* bar = new LogScrollBar(Qt::Vertical, this);
  setVerticalScrollBar(bar);
  connect(bar, &QScrollBar::actionTriggered, this, &PacketLogView::verticalScrollbarAction);
  // On every scroll the view's handler asks the display where the pointer is
  // (a round trip to the display server) to find the row under it; that
  // only matters while the pointer is over the rows (the log never has more
  // rows to fetch, the handler's other task).
  connect(bar, &QScrollBar::valueChanged, this, [this](int value) {
    if (viewport()->underMouse()) verticalScrollbarValueChanged(value);
  });

  copyAction_ = NewAction(*this, "miCopy", QStringLiteral("&Copy"), QKeySequence::Copy);
  copyBytesAction_ = NewAction(*this, "miCopyBytes", QStringLiteral("Copy &bytes only"),
                               QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
  selectAllAction_ =
      NewAction(*this, "miSelectAll", QStringLiteral("Select &all"), QKeySequence::SelectAll);
  wholePacketAction_ = NewAction(*this, "miWholePacket", QStringLiteral("Show &whole packet"),
                                 QKeySequence(Qt::Key_Return));
  copier_ = new LogCopyCommand(*this);
  connect(copier_, &LogCopyCommand::copied, this, &PacketLogView::copied);
  connect(copier_, &LogCopyCommand::saveRequested, this, &PacketLogView::saveRequested);
  connect(copyAction_, &QAction::triggered, this, [this] { CopyRows(LogFileFormat::kText); });
  connect(copyBytesAction_, &QAction::triggered, this,
          [this] { CopyRows(LogFileFormat::kBytesOnly); });
  connect(selectAllAction_, &QAction::triggered, this, &QAbstractItemView::selectAll);
  connect(wholePacketAction_, &QAction::triggered, this, &PacketLogView::ShowWholePacket);

  pausedSign_ = new QLabel(QStringLiteral("Following paused: End resumes"), this);
  pausedSign_->setObjectName(QStringLiteral("FollowingPaused"));
  pausedSign_->setAutoFillBackground(true);
  pausedSign_->setBackgroundRole(QPalette::ToolTipBase);
  pausedSign_->setForegroundRole(QPalette::ToolTipText);
  pausedSign_->setFrameShape(QFrame::Box);
  pausedSign_->setMargin(3);
  pausedSign_->hide();

  connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, &PacketLogView::UserScrolled);
}

PacketLogView::~PacketLogView() = default;

void PacketLogView::SetLogModel(PacketLogModel* model) {
  if (logModel_ != nullptr) disconnect(logModel_, nullptr, this, nullptr);
  logModel_ = model;
  // A new model comes with a new selection model; the old one is left to the
  // caller of setModel().
  QItemSelectionModel* oldSelection = selectionModel();
  moving_ = true;
  setModel(model);
  moving_ = false;
  if (oldSelection != nullptr && selectionModel() != oldSelection) oldSelection->deleteLater();
  if (model != nullptr) {
    connect(model, &PacketLogModel::packetAppended, this, &PacketLogView::FollowPacket);
    // A cleared log starts over, followed.
    connect(model, &QAbstractItemModel::modelReset, this, [this] { SetFollowing(true); });
  }
}

void PacketLogView::InitLog() {
  if (logModel_ != nullptr) {
    logModel_->SetHeaders(QStringLiteral("Time"), QStringLiteral("Packet data"));
  }
  setColumnWidth(PacketLogModel::kTimeColumn, kTimeColumnWidth);
  setColumnWidth(PacketLogModel::kDataColumn, kDataColumnWidth);
}

void PacketLogView::FollowPacket(int row) {
  if (!following_) return;
  // The user may have moved to the time or the data column; keep it.
  const QModelIndex current = currentIndex();
  const int column = current.isValid() ? current.column() : PacketLogModel::kDataColumn;
  const QModelIndex target = logModel_->index(row, column);
  moving_ = true;
  setCurrentIndex(target);
  scrollTo(target);
  moving_ = false;
}

void PacketLogView::ResumeFollowing() {
  SetFollowing(true);
  if (logModel_ != nullptr) FollowPacket(logModel_->rowCount() - 1);
}

void PacketLogView::SetFollowing(bool following) {
  if (following == following_) return;
  following_ = following;
  pausedSign_->setVisible(!following);
  PlacePausedSign();
  emit followingChanged(following);
}

void PacketLogView::UserMovedSelection() {
  if (moving_ || logModel_ == nullptr) return;
  // Following goes on only while the newest row alone is current and
  // selected; anything else is the user reading.
  const int last = logModel_->rowCount() - 1;
  const QModelIndex current = currentIndex();
  const QItemSelection selection = selectionModel()->selection();
  const bool onlyNewest = (!current.isValid() || current.row() == last) &&
                          (selection.isEmpty() || (selection.size() == 1 && selection[0].top() == last));
  SetFollowing(onlyNewest);
}

void PacketLogView::UserScrolled() {
  if (moving_) return;
  // Called before the scroll bar takes its new position.
  QScrollBar* bar = verticalScrollBar();
  if (bar->sliderPosition() >= bar->maximum()) {
    ResumeFollowing();
  } else {
    SetFollowing(false);
  }
}

void PacketLogView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  UniformRowTableView::currentChanged(current, previous);
  UserMovedSelection();
}

void PacketLogView::selectionChanged(const QItemSelection& selected,
                                     const QItemSelection& deselected) {
  UniformRowTableView::selectionChanged(selected, deselected);
  UserMovedSelection();
}

void PacketLogView::keyPressEvent(QKeyEvent* event) {
  // End and Ctrl+End go back to the newest row; Shift+End still extends the
  // selection.
  if (event->key() == Qt::Key_End && !(event->modifiers() & Qt::ShiftModifier)) {
    ResumeFollowing();
    event->accept();
    return;
  }
  UniformRowTableView::keyPressEvent(event);
}

void PacketLogView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addAction(copyAction_);
  menu.addAction(copyBytesAction_);
  menu.addAction(selectAllAction_);
  menu.addSeparator();
  menu.addAction(wholePacketAction_);
  menu.exec(event->globalPos());
}

void PacketLogView::resizeEvent(QResizeEvent* event) {
  UniformRowTableView::resizeEvent(event);
  PlacePausedSign();
}

void PacketLogView::PlacePausedSign() {
  if (pausedSign_ == nullptr) return;  // laid out while being built
  pausedSign_->adjustSize();
  const QRect area = viewport()->geometry();
  pausedSign_->move(area.right() - pausedSign_->width() - 4,
                    area.bottom() - pausedSign_->height() - 4);
  pausedSign_->raise();
}

void PacketLogView::doItemsLayout() {
  UniformRowTableView::doItemsLayout();
  PlacePausedSign();
}

std::vector<RowRange> PacketLogView::SelectedRows() const {
  std::vector<RowRange> ranges;
  for (const QItemSelectionRange& range : selectionModel()->selection()) {
    ranges.push_back({range.top(), range.bottom()});
  }
  if (ranges.empty() && currentIndex().isValid()) {
    ranges.push_back({currentIndex().row(), currentIndex().row()});
  }
  std::sort(ranges.begin(), ranges.end(),
            [](const RowRange& a, const RowRange& b) { return a.first < b.first; });
  std::vector<RowRange> merged;
  for (const RowRange& range : ranges) {
    if (!merged.empty() && range.first <= merged.back().last + 1) {
      merged.back().last = std::max(merged.back().last, range.last);
    } else {
      merged.push_back(range);
    }
  }
  return merged;
}

void PacketLogView::CopyRows(LogFileFormat format) {
  if (logModel_ == nullptr) return;
  LogWriter writer(logModel_->TakeSnapshot(), format, SelectedRows());
  writer.SetMarks(logModel_->Marks());
  writer.SetLineNames({logModel_->LineNames().begin(), logModel_->LineNames().end()});
  copier_->Copy(std::move(writer));
}

void PacketLogView::ShowWholePacket() {
  const QModelIndex current = currentIndex();
  if (!current.isValid()) return;
  const QModelIndex data = current.siblingAtColumn(PacketLogModel::kDataColumn);
  scrollTo(data);
  const QRect cell = visualRect(data);
  QToolTip::showText(viewport()->mapToGlobal(cell.bottomLeft()),
                     data.data(Qt::ToolTipRole).toString(), viewport(), cell);
}

}  // namespace tessaly
