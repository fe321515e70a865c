#include "panes/register_pane.h"

#include "log/log_feed.h"
#include "panes/register_model.h"
#include "panes/register_plot.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace tessaly {
namespace {

constexpr modbus::ValueType kTypes[] = {
    modbus::ValueType::kUnsigned16, modbus::ValueType::kSigned16,  modbus::ValueType::kHex16,
    modbus::ValueType::kBits16,     modbus::ValueType::kUnsigned32, modbus::ValueType::kSigned32,
    modbus::ValueType::kFloat32,    modbus::ValueType::kFloat64,   modbus::ValueType::kAscii};

bool IsBitTable(modbus::Table table) {
  return table == modbus::Table::kCoils || table == modbus::Table::kDiscreteInputs;
}

}  // namespace

RegisterPane::RegisterPane(const PacketLogModel& log, QWidget* parent)
    : QDockWidget(QStringLiteral("Registers"), parent) {
  setObjectName(QStringLiteral("RegisterPane"));
  auto* body = new QWidget(this);
  feed_ = new LogFeed(
      log,
      [this](const modbus::LoggedPacket& packet) {
        watch_.Add(packet);
        latest_ = packet.endedAt;
      },
      [this] {
        watch_.Clear();
        latest_ = 0;
      },
      this);
  model_ = new RegisterModel(watch_, this);

  type_ = new QComboBox(body);
  type_->setObjectName(QStringLiteral("RegisterType"));
  for (const modbus::ValueType type : kTypes) {
    type_->addItem(QString::fromLatin1(modbus::LongName(type)), static_cast<int>(type));
  }
  order_ = new QComboBox(body);
  order_->setObjectName(QStringLiteral("RegisterWordOrder"));
  order_->addItem(QStringLiteral("High word first"), static_cast<int>(modbus::WordOrder::kHighFirst));
  order_->addItem(QStringLiteral("Low word first"), static_cast<int>(modbus::WordOrder::kLowFirst));
  auto* apply = new QPushButton(QStringLiteral("Read selected as"), body);
  apply->setObjectName(QStringLiteral("RegisterApplyType"));
  status_ = new QLabel(body);
  status_->setObjectName(QStringLiteral("RegisterStatus"));

  table_ = new QTableView(body);
  table_->setObjectName(QStringLiteral("RegisterTable"));
  table_->setModel(model_);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setWordWrap(false);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
  table_->horizontalHeader()->setStretchLastSection(true);
  // Columns fit their texts when registers come, not at every refresh:
  // fitting measures every cell.
  connect(model_, &QAbstractItemModel::modelReset, table_, &QTableView::resizeColumnsToContents);
  plot_ = new RegisterPlot(body);

  auto* choices = new QHBoxLayout;
  choices->addWidget(apply);
  choices->addWidget(type_);
  choices->addWidget(order_);
  choices->addWidget(status_, 1);
  auto* split = new QSplitter(Qt::Vertical, body);
  split->addWidget(table_);
  split->addWidget(plot_);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);
  auto* layout = new QVBoxLayout(body);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addLayout(choices);
  layout->addWidget(split, 1);
  setWidget(body);

  refresh_ = new QTimer(this);
  refresh_->setInterval(kRefreshInterval);
  connect(feed_, &LogFeed::fed, this, [this] { changed_ = true; });
  connect(refresh_, &QTimer::timeout, this, [this] {
    if (changed_) Refresh();
  });
  connect(apply, &QPushButton::clicked, this, &RegisterPane::ApplyTypeToSelection);
  connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &RegisterPane::PlotCurrent);
  connect(model_, &QAbstractItemModel::modelReset, this, &RegisterPane::PlotCurrent);
  Refresh();
}

QString RegisterPane::Status() const { return status_->text(); }

void RegisterPane::SetStatus(const QString& text) { status_->setText(text); }

void RegisterPane::Refresh() {
  if (feed_->Active()) feed_->CatchUp();
  changed_ = false;
  // The current register survives a reset of the rows by its key.
  const QModelIndex current = table_->currentIndex();
  const std::optional<std::uint32_t> currentKey =
      current.isValid() ? std::optional(model_->KeyAt(current.row()).Packed()) : std::nullopt;
  const int rows = model_->rowCount();
  model_->Refresh();
  if (currentKey && model_->rowCount() != rows) {
    for (int row = 0; row < model_->rowCount(); ++row) {
      if (model_->KeyAt(row).Packed() == *currentKey) {
        table_->setCurrentIndex(model_->index(row, RegisterModel::kValue));
        break;
      }
    }
  }
  PlotCurrent();
}

bool RegisterPane::ApplyTypeToSelection() {
  const QModelIndexList rows = table_->selectionModel()->selectedRows();
  if (rows.isEmpty()) {
    SetStatus(QStringLiteral("Choose the registers to read first"));
    return false;
  }
  const modbus::RegisterKey first = model_->KeyAt(rows.front().row());
  std::uint16_t low = first.address;
  std::uint16_t high = first.address;
  for (const QModelIndex& row : rows) {
    const modbus::RegisterKey key = model_->KeyAt(row.row());
    if (key.unit != first.unit || key.table != first.table) {
      SetStatus(QStringLiteral("Choose registers of one unit and one table"));
      return false;
    }
    low = std::min(low, key.address);
    high = std::max(high, key.address);
  }
  if (IsBitTable(first.table)) {
    SetStatus(QStringLiteral("Coils and discrete inputs are single bits"));
    return false;
  }
  const auto type = static_cast<modbus::ValueType>(type_->currentData().toInt());
  const int words = modbus::WordsOf(type);
  // A single register chosen for a wide type starts a value there.
  if (high - low + 1 < words) high = static_cast<std::uint16_t>(std::min(0xFFFF, low + words - 1));
  modbus::RegisterTypes types = model_->TypesOf(first.unit);
  types.Set({first.table, low, high, type, static_cast<modbus::WordOrder>(order_->currentData().toInt())});
  std::map<std::uint8_t, modbus::RegisterTypes> all;
  for (int unit = 0; unit <= 255; ++unit) {
    const modbus::RegisterTypes& own = model_->TypesOf(static_cast<std::uint8_t>(unit));
    if (!own.Empty()) all[static_cast<std::uint8_t>(unit)] = own;
  }
  all[first.unit] = types;
  model_->SetTypes(std::move(all));
  SetStatus({});
  PlotCurrent();
  emit typesChanged(first.unit);
  return true;
}

void RegisterPane::PlotCurrent() {
  const QModelIndex current = table_->currentIndex();
  if (!current.isValid()) {
    plot_->SetSeries({}, {}, 0);
    return;
  }
  const modbus::RegisterKey key = model_->KeyAt(current.row());
  const modbus::RegisterTypes::Reading reading = model_->ReadingAt(current.row());
  const int words = modbus::WordsOf(reading.type);
  std::vector<RegisterPlot::Point> points;
  for (const auto& sample : watch_.History({key.unit, key.table, reading.valueStart}, words)) {
    if (const auto value = modbus::NumericValue(reading.type, reading.order, sample.words.data())) {
      points.push_back({sample.at, *value});
    }
  }
  const QString title = QStringLiteral("Unit %1, %2 %3 (%4)")
                            .arg(key.unit)
                            .arg(QString::fromLatin1(modbus::TableName(key.table)).toLower())
                            .arg(QString::fromStdString(
                                modbus::FormatAddress(key.table, reading.valueStart, model_->Notation())))
                            .arg(QString::fromLatin1(modbus::LongName(reading.type)));
  plot_->SetSeries(title, std::move(points), latest_);
}

void RegisterPane::SetFollowing(bool following) {
  feed_->SetActive(following);
  if (following) {
    refresh_->start();
    Refresh();
  } else {
    refresh_->stop();
  }
}

}  // namespace tessaly
