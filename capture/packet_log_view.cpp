#include "capture/packet_log_view.h"

#include "presentation/ui_scale.h"
#include "capture/packet_log_model.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QStyledItemDelegate>

#include <algorithm>

namespace tessaly {

namespace {

// Paints the time column on the palette's button colour, as a fixed header
// column, so the eye separates the stamps from the data.
class HeaderStyledDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->backgroundBrush = option->palette.button();
  }
};

// Hands the painter only as much of a long packet's text as the cell can
// show: a full packet is 3072 characters, of which a cell shows a few
// hundred, and laying out the rest only to elide it would cost most of the
// time spent painting a busy log.
class PacketDataDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

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

}  // namespace

PacketLogView::PacketLogView(QWidget* parent) : QTableView(parent) {
  setObjectName(QStringLiteral("sgLog"));
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setWordWrap(false);
  setItemDelegateForColumn(PacketLogModel::kTimeColumn, new HeaderStyledDelegate(this));
  setItemDelegateForColumn(PacketLogModel::kDataColumn, new PacketDataDelegate(this));

  QHeaderView* rows = verticalHeader();
  rows->hide();
  // Fixed heights: the view never measures rows, whatever their number.
  rows->setSectionResizeMode(QHeaderView::Fixed);
  const int rowHeight = Scaled(kRowHeight);
  rows->setMinimumSectionSize(std::min(rows->minimumSectionSize(), rowHeight));
  rows->setDefaultSectionSize(rowHeight);
}

void PacketLogView::SetLogModel(PacketLogModel* model) {
  if (logModel_ != nullptr) disconnect(logModel_, nullptr, this, nullptr);
  logModel_ = model;
  // A new model comes with a new selection model; the old one is left to the
  // caller of setModel().
  QItemSelectionModel* oldSelection = selectionModel();
  setModel(model);
  if (oldSelection != nullptr && selectionModel() != oldSelection) oldSelection->deleteLater();
  if (model != nullptr) {
    connect(model, &PacketLogModel::packetAppended, this, &PacketLogView::FollowPacket);
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
  // The user may have moved to the time or the data column; keep it.
  const QModelIndex current = currentIndex();
  const int column = current.isValid() ? current.column() : PacketLogModel::kDataColumn;
  const QModelIndex target = logModel_->index(row, column);
  setCurrentIndex(target);
  scrollTo(target);
}

}  // namespace tessaly
