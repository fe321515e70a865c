#include "panes/line_health_pane.h"

#include "panes/line_health_model.h"
#include "log/log_feed.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace tessaly {

LineHealthPane::LineHealthPane(const PacketLogModel& log, QWidget* parent)
    : QDockWidget(QStringLiteral("Line health"), parent) {
  setObjectName(QStringLiteral("LineHealthPane"));
  auto* body = new QWidget(this);
  feed_ = new LogFeed(
      log, [this](const modbus::LoggedPacket& packet) { statistics_.Add(packet); },
      [this] { statistics_.Clear(); }, this);
  model_ = new LineHealthModel(statistics_, this);

  summary_ = new QLabel(body);
  summary_->setObjectName(QStringLiteral("LineSummary"));
  summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  table_ = new QTableView(body);
  table_->setObjectName(QStringLiteral("LineHealthTable"));
  table_->setModel(model_);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setWordWrap(false);
  table_->verticalHeader()->hide();

  auto* layout = new QVBoxLayout(body);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(summary_);
  layout->addWidget(table_, 1);
  setWidget(body);

  refresh_ = new QTimer(this);
  refresh_->setInterval(kRefreshInterval);
  connect(feed_, &LogFeed::fed, this, [this] { changed_ = true; });
  connect(refresh_, &QTimer::timeout, this, [this] {
    if (changed_) Refresh();
  });
  feed_->SetActive(true);
  connect(table_, &QAbstractItemView::clicked, this, &LineHealthPane::ChooseCell);
  connect(table_, &QAbstractItemView::activated, this, &LineHealthPane::ChooseCell);
  Refresh();
}

void LineHealthPane::SetLineTiming(std::function<modbus::LineTiming()> timing) {
  feed_->SetBeforeTaking([this, timing = std::move(timing)] { statistics_.SetTiming(timing()); });
}

QString LineHealthPane::SummaryText() const { return summary_->text(); }

void LineHealthPane::Refresh() {
  feed_->CatchUp();
  changed_ = false;
  model_->Refresh();
  // A row per unit and function: few enough to fit the columns to their
  // texts (exception counts grow) at every refresh.
  table_->resizeColumnsToContents();
  summary_->setText(model_->SummaryText());
}

void LineHealthPane::SetFollowing(bool following) {
  if (following) {
    refresh_->start();
    Refresh();
  } else {
    refresh_->stop();
  }
}

void LineHealthPane::ChooseCell(const QModelIndex& index) {
  if (!index.isValid()) return;
  if (model_->KeyAt(index.row()) == LineHealthModel::kBadFramesKey) {
    emit badFramesWanted();
    return;
  }
  using Kind = LogFilterPane::QuickFilter;
  Kind kind = Kind::kNone;
  switch (index.column()) {
    case LineHealthModel::kNoAnswer: kind = Kind::kNoAnswer; break;
    case LineHealthModel::kExceptions: kind = Kind::kExceptions; break;
    case LineHealthModel::kBadFrames: kind = Kind::kBadFrames; break;
    default: break;
  }
  const std::uint16_t key = model_->KeyAt(index.row());
  emit rowsWanted(static_cast<std::uint8_t>(key >> 8), static_cast<std::uint8_t>(key & 0xFF), kind);
}

}  // namespace tessaly
