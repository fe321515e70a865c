#include "panes/log_filter_pane.h"

#include "log/log_filter_model.h"
#include "log/log_packets.h"
#include "views/uniform_row_table_view.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tessaly {
namespace {

// A byte typed as decimal (17) or hex (0x11); nothing for an empty field.
// Sets ok to false when the text is not a byte.
std::optional<std::uint8_t> ReadByte(const QLineEdit& field, int largest, bool& ok) {
  const QString text = field.text().trimmed();
  if (text.isEmpty()) return std::nullopt;
  bool number = false;
  const int value = text.toInt(&number, 0);
  if (!number || value < 0 || value > largest) {
    ok = false;
    return std::nullopt;
  }
  return static_cast<std::uint8_t>(value);
}

QLineEdit* NewField(const char* objectName, const char* placeholder, QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(QLatin1String(objectName));
  field->setPlaceholderText(QString::fromLatin1(placeholder));
  // The clear button comes when the pane is first shown (see showEvent).
  return field;
}

}  // namespace

void LogFilterPane::showEvent(QShowEvent* event) {
  // A field's clear button looks its icon up in the desktop's icon theme,
  // a search through folders of icons that would delay the window's first
  // paint; the pane starts hidden, so its fields get them when it shows.
  if (!fieldsFinished_) {
    fieldsFinished_ = true;
    for (QLineEdit* field : {unit_, function_, bytes_, find_}) field->setClearButtonEnabled(true);
  }
  QDockWidget::showEvent(event);
}

LogFilterPane::LogFilterPane(const PacketLogModel& log, QWidget* parent)
    : QDockWidget(QStringLiteral("Filter and find"), parent), log_(log) {
  setObjectName(QStringLiteral("LogFilterPane"));
  auto* body = new QWidget(this);
  model_ = new LogFilterModel(log, this);

  unit_ = NewField("FilterUnit", "any", body);
  function_ = NewField("FilterFunction", "any", body);
  badFrames_ = new QCheckBox(QStringLiteral("Bad frames only"), body);
  badFrames_->setObjectName(QStringLiteral("FilterBadFrames"));
  noAnswer_ = new QCheckBox(QStringLiteral("No answer"), body);
  noAnswer_->setObjectName(QStringLiteral("FilterNoAnswer"));
  exceptions_ = new QCheckBox(QStringLiteral("Exceptions"), body);
  exceptions_->setObjectName(QStringLiteral("FilterExceptions"));
  bytes_ = NewField("FilterBytes", "e.g. 01 03", body);
  auto* apply = new QPushButton(QStringLiteral("Apply"), body);
  apply->setObjectName(QStringLiteral("FilterApply"));
  auto* showAll = new QPushButton(QStringLiteral("Show all"), body);
  showAll->setObjectName(QStringLiteral("FilterShowAll"));
  find_ = NewField("FindBytes", "bytes to find", body);
  auto* previous = new QPushButton(QStringLiteral("Previous"), body);
  previous->setObjectName(QStringLiteral("FindPrevious"));
  auto* next = new QPushButton(QStringLiteral("Next"), body);
  next->setObjectName(QStringLiteral("FindNext"));
  status_ = new QLabel(body);
  status_->setObjectName(QStringLiteral("FilterStatus"));
  count_ = new QLabel(body);
  count_->setObjectName(QStringLiteral("FilterCount"));
  stop_ = new QPushButton(QStringLiteral("Stop"), body);
  stop_->setObjectName(QStringLiteral("FilterStop"));
  stop_->hide();

  auto* fields = new QGridLayout;
  fields->addWidget(new QLabel(QStringLiteral("Unit"), body), 0, 0);
  fields->addWidget(unit_, 0, 1);
  fields->addWidget(new QLabel(QStringLiteral("Function"), body), 0, 2);
  fields->addWidget(function_, 0, 3);
  fields->addWidget(new QLabel(QStringLiteral("Bytes"), body), 0, 4);
  fields->addWidget(bytes_, 0, 5);
  fields->addWidget(badFrames_, 0, 6);
  fields->addWidget(noAnswer_, 0, 7);
  fields->addWidget(exceptions_, 0, 8);
  fields->addWidget(apply, 0, 9);
  fields->addWidget(showAll, 0, 10);
  fields->addWidget(stop_, 0, 11);
  fields->addWidget(new QLabel(QStringLiteral("Find"), body), 1, 0);
  fields->addWidget(find_, 1, 1, 1, 3);
  fields->addWidget(previous, 1, 4);
  fields->addWidget(next, 1, 5);
  fields->addWidget(status_, 1, 6, 1, 5);

  // Rows of one height with the log's row numbers beside them; nothing is
  // kept per row, however many the filter shows.
  table_ = new UniformRowTableView(body);
  table_->setObjectName(QStringLiteral("FilteredRows"));
  table_->setModel(model_);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->ShowRowNumbers(true);
  table_->SetRowHeight(table_->fontMetrics().height() + 4);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setColumnWidth(0, 90);

  auto* layout = new QVBoxLayout(body);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addLayout(fields);
  layout->addWidget(table_, 1);
  layout->addWidget(count_);
  setWidget(body);

  connect(apply, &QPushButton::clicked, this, &LogFilterPane::ApplyFilter);
  for (QLineEdit* field : {unit_, function_, bytes_}) {
    connect(field, &QLineEdit::returnPressed, this, &LogFilterPane::ApplyFilter);
  }
  connect(showAll, &QPushButton::clicked, this, &LogFilterPane::ShowAll);
  connect(next, &QPushButton::clicked, this, [this] { emit findRequested(true); });
  connect(previous, &QPushButton::clicked, this, [this] { emit findRequested(false); });
  connect(find_, &QLineEdit::returnPressed, this, [this] { emit findRequested(true); });
  connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) emit rowChosen(model_->SourceRow(current.row()));
          });
  connect(stop_, &QPushButton::clicked, this, &LogFilterPane::StopFilter);
  connect(model_, &LogFilterModel::scanProgress, this, &LogFilterPane::ShowCount);
  connect(model_, &LogFilterModel::scanEnded, this, &LogFilterPane::ShowCount);
  connect(model_, &QAbstractItemModel::modelReset, this, &LogFilterPane::ShowCount);
  connect(model_, &QAbstractItemModel::rowsInserted, this, &LogFilterPane::ShowCount);
  connect(&log, &QAbstractItemModel::rowsInserted, this, &LogFilterPane::ShowCount);
  ShowCount();
}

QString LogFilterPane::Status() const { return status_->text(); }

QString LogFilterPane::Count() const { return count_->text(); }

void LogFilterPane::SetStatus(const QString& text) { status_->setText(text); }

void LogFilterPane::FocusFind() {
  find_->setFocus();
  find_->selectAll();
}

bool LogFilterPane::ApplyFilter() {
  bool ok = true;
  modbus::RowFilter filter;
  filter.unit = ReadByte(*unit_, 255, ok);
  if (!ok) {
    SetStatus(QStringLiteral("Unit: a number from 0 to 255 (or 0x00 to 0xFF)"));
    return false;
  }
  filter.function = ReadByte(*function_, 127, ok);
  if (!ok) {
    SetStatus(QStringLiteral("Function: a number from 1 to 127 (or 0x01 to 0x7F)"));
    return false;
  }
  filter.badFramesOnly = badFrames_->isChecked();
  filter.noAnswerOnly = noAnswer_->isChecked();
  filter.exceptionsOnly = exceptions_->isChecked();
  if (!bytes_->text().trimmed().isEmpty()) {
    const auto sequence = modbus::ParseHexSequence(bytes_->text().toStdString());
    if (!sequence) {
      SetStatus(QStringLiteral("Bytes: hex bytes such as 01 03 or 0103"));
      return false;
    }
    filter.sequence = *sequence;
  }
  model_->SetFilter(std::move(filter));
  SetStatus({});
  return true;
}

void LogFilterPane::ShowAll() {
  unit_->clear();
  function_->clear();
  bytes_->clear();
  badFrames_->setChecked(false);
  noAnswer_->setChecked(false);
  exceptions_->setChecked(false);
  ApplyFilter();
}

void LogFilterPane::ShowRowsOf(std::uint8_t unit, std::uint8_t function, QuickFilter kind) {
  unit_->setText(QString::number(unit));
  function_->setText(QString::number(function));
  bytes_->clear();
  badFrames_->setChecked(kind == QuickFilter::kBadFrames);
  noAnswer_->setChecked(kind == QuickFilter::kNoAnswer);
  exceptions_->setChecked(kind == QuickFilter::kExceptions);
  ApplyFilter();
}

void LogFilterPane::ShowBadFrames() {
  unit_->clear();
  function_->clear();
  bytes_->clear();
  badFrames_->setChecked(true);
  noAnswer_->setChecked(false);
  exceptions_->setChecked(false);
  ApplyFilter();
}

void LogFilterPane::StopFilter() {
  if (!model_->Scanning()) return;
  model_->StopScan();
  SetStatus(QStringLiteral("Filter stopped: all rows shown"));
}

std::optional<std::vector<std::uint8_t>> LogFilterPane::FindSequence() {
  const auto sequence = modbus::ParseHexSequence(find_->text().toStdString());
  if (!sequence) SetStatus(QStringLiteral("Find: hex bytes such as 01 03 or 0103"));
  return sequence;
}

void LogFilterPane::ShowCount() {
  const int rows = LogPackets(log_).Size();
  QString text = QStringLiteral("%1 of %2 rows shown").arg(model_->rowCount()).arg(rows);
  if (model_->Scanning()) {
    // How far the filter has looked through a long log.
    const int percent = static_cast<int>(100LL * model_->RowsLookedAt() / std::max(rows, 1));
    text += QStringLiteral(", looking through the log: %1 %").arg(percent);
  }
  count_->setText(text);
  stop_->setVisible(model_->Scanning());
}

}  // namespace tessaly
