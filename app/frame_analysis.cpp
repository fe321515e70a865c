#include "app/frame_analysis.h"

#include "app/filter_pane_keys.h"
#include "app/interface_timing.h"
#include "log/frame_counter.h"
#include "views/frame_mark_delegate.h"
#include "log/find_scan.h"
#include "panes/log_filter_pane.h"
#include "log/log_packets.h"
#include "panes/packet_details_pane.h"
#include "log/packet_log_model.h"
#include "views/packet_log_view.h"
#include "session/link_holder.h"
#include "session/capture_session.h"
#include "presentation/error_report.h"
#include "presentation/ui_scale.h"
#include "settings/program_key.h"
#include "settings/registry.h"

#include <QAction>
#include <QCoreApplication>
#include <QResizeEvent>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

namespace tessaly {
namespace {

QAction* AddItem(QMenu& menu, const char* objectName, const char* caption,
                 const QKeySequence& shortcut) {
  QAction* item = menu.addAction(QString::fromLatin1(caption));
  item->setObjectName(QLatin1String(objectName));
  item->setMenuRole(QAction::NoRole);
  item->setShortcut(shortcut);
  return item;
}

}  // namespace

FrameAnalysis::FrameAnalysis(QMainWindow& window, PacketLogModel& log, PacketLogView& view,
                             QStatusBar& statusBar, CaptureSession& session)
    : QObject(&window),
      log_(log),
      view_(view),
      session_(session),
      storeDirectory_(session.Links().StoreDirectory()) {
  counter_ = new FrameCounter(log, this);
  countPanel_ = new CountLabel(counter_->Text(), Scaled(200), &statusBar);
  countPanel_->setObjectName(QStringLiteral("FrameCountPanel"));
  countPanel_->setFrameShape(QFrame::Panel);
  countPanel_->setFrameShadow(QFrame::Sunken);
  countPanel_->setAlignment(Qt::AlignCenter);
  statusBar.addWidget(countPanel_);
  connect(counter_, &FrameCounter::countsChanged, countPanel_,
          [this] { countPanel_->SetCount(counter_->Text()); });

  QAbstractItemDelegate* dataDelegate = view.itemDelegateForColumn(PacketLogModel::kDataColumn);
  marks_ = new FrameMarkDelegate(log, dataDelegate, &view);
  view.setItemDelegateForColumn(PacketLogModel::kDataColumn, marks_);

  details_ = new PacketDetailsPane(log, &window);
  details_->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
  window.addDockWidget(Qt::RightDockWidgetArea, details_);
  filter_ = new LogFilterPane(log, &window);
  filter_->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
  window.addDockWidget(Qt::BottomDockWidgetArea, filter_);
  filter_->hide();
  new FilterPaneKeys(*filter_, log, view);

  // Wide enough for a decoded line and a hex dump line of 16 bytes.
  window.resizeDocks({details_}, {Scaled(600)}, Qt::Horizontal);
  // Opening or closing a pane resizes the grid but not the window; the
  // window fits the log's columns on its own resize only.
  view.installEventFilter(this);

  BuildViewMenu(window);
  const bool detailsShown = RestoreDetailsShown();
  miPacketDetails->setChecked(detailsShown);
  details_->setVisible(detailsShown);

  connect(view.selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          &FrameAnalysis::ShowCurrentRow);
  // A request's answer may arrive after the request was chosen.
  connect(&log, &PacketLogModel::packetAppended, this, [this] {
    if (details_->isVisible()) ShowCurrentRow();
  });
  connect(&log, &QAbstractItemModel::modelReset, this, &FrameAnalysis::ShowCurrentRow);
  connect(filter_, &LogFilterPane::rowChosen, this, &FrameAnalysis::GoToRow);
  connect(details_, &PacketDetailsPane::rowLinkFollowed, this, &FrameAnalysis::GoToRow);
  connect(filter_, &LogFilterPane::findRequested, this, &FrameAnalysis::Find);
  ShowCurrentRow();
}

FrameAnalysis::~FrameAnalysis() = default;

bool FrameAnalysis::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &view_ && event->type() == QEvent::Resize) {
    QWidget& window = *view_.window();
    QResizeEvent resize(window.size(), window.size());
    QCoreApplication::sendEvent(&window, &resize);
  }
  return QObject::eventFilter(watched, event);
}

void FrameAnalysis::BuildViewMenu(QMainWindow& window) {
  QMenuBar& bar = *window.menuBar();
  auto* menu = new QMenu(QStringLiteral("&View"), &bar);
  menu->setObjectName(QStringLiteral("ViewMenu"));
  // Before "&Help", which stays the last menu.
  const QList<QAction*> menus = bar.actions();
  if (menus.isEmpty()) {
    bar.addMenu(menu);
  } else {
    bar.insertMenu(menus.last(), menu);
  }

  miPacketDetails = AddItem(*menu, "miPacketDetails", "Packet &details", QKeySequence(Qt::CTRL | Qt::Key_D));
  miPacketDetails->setCheckable(true);
  miMarkFrames = AddItem(*menu, "miMarkFrames", "&Mark bad frames", {});
  miMarkFrames->setCheckable(true);
  miMarkFrames->setChecked(true);
  menu->addSeparator();
  // The item shows and hides the pane; Ctrl+F always goes to the find
  // field, opening the pane when it is closed, and never closes it.
  miFilterFind = AddItem(*menu, "miFilterFind", "&Filter and find", {});
  miFilterFind->setCheckable(true);
  miFind = AddItem(*menu, "miFind", "F&ind...", QKeySequence(Qt::CTRL | Qt::Key_F));
  miFindNext = AddItem(*menu, "miFindNext", "Find &next", QKeySequence(Qt::Key_F3));
  miFindPrevious = AddItem(*menu, "miFindPrevious", "Find &previous", QKeySequence(Qt::SHIFT | Qt::Key_F3));

  connect(miPacketDetails, &QAction::toggled, this, [this](bool shown) {
    details_->setVisible(shown);
    if (shown) ShowCurrentRow();
    RunReportingErrors([this, shown] { RememberDetailsShown(shown); });
  });
  connect(miMarkFrames, &QAction::toggled, this, [this](bool marked) {
    marks_->SetEnabled(marked);
    view_.viewport()->update();
  });
  connect(miFilterFind, &QAction::toggled, this, [this](bool shown) {
    filter_->setVisible(shown);
    if (shown) filter_->FocusFind();
  });
  connect(miFind, &QAction::triggered, this, [this] {
    miFilterFind->setChecked(true);
    filter_->FocusFind();
  });
  connect(miFindNext, &QAction::triggered, this, [this] { Find(true); });
  connect(miFindPrevious, &QAction::triggered, this, [this] { Find(false); });
}

bool FrameAnalysis::RestoreDetailsShown() const {
  // A value that cannot be read leaves the pane off, as on a first run.
  try {
    TRegistry store(storeDirectory_);
    store.SetRootKey(RegistryRoot::CurrentUser);
    if (!store.OpenKey(kProgramKeyPath, false) || !store.ValueExists(kDetailsShownValue)) {
      return false;
    }
    return store.ReadInteger(kDetailsShownValue) != 0;
  } catch (const ERegistryException&) {
    return false;
  }
}

void FrameAnalysis::RememberDetailsShown(bool shown) const {
  TRegistry store(storeDirectory_);
  store.SetRootKey(RegistryRoot::CurrentUser);
  store.OpenKey(kProgramKeyPath, true);
  store.WriteInteger(kDetailsShownValue, shown ? 1 : 0);
}

modbus::LineTiming FrameAnalysis::Timing() const {
  return TimingOfRow(view_.currentIndex().isValid() ? view_.currentIndex().row() : -1);
}

modbus::LineTiming FrameAnalysis::TimingOfRow(int row) const {
  // An opened file is timed by the line each row was captured on.
  if (const std::optional<CaptureInterface> shown = shownLine_ ? shownLine_(row) : std::nullopt) {
    return LineTimingOf(*shown);
  }
  // The capture's own line, not the port as it is set now: a TCP capture,
  // or one made before the speed was changed, is timed as it was made; a
  // row of the second line by the second line.
  const bool secondLine = secondLine_ && log_.ShowsLines() && row >= 0 && row < log_.PacketCount() &&
                          log_.PacketAt(row).line == 1;
  return LineTimingOf(secondLine ? secondLine_() : session_.Line());
}

void FrameAnalysis::ShowCurrentRow() {
  // A hidden pane is brought up to date when it is shown.
  if (details_->isHidden()) return;
  const int row = view_.currentIndex().isValid() ? view_.currentIndex().row() : -1;
  details_->SetLineTiming(TimingOfRow(row));
  details_->ShowRow(row);
}

void FrameAnalysis::GoToRow(int row) {
  const int column = view_.currentIndex().isValid() ? view_.currentIndex().column()
                                                    : PacketLogModel::kDataColumn;
  const QModelIndex target = log_.index(row, column);
  view_.setCurrentIndex(target);
  view_.scrollTo(target);
}

void FrameAnalysis::Find(bool forward) {
  if (filter_->FindField()->text().trimmed().isEmpty()) {
    miFilterFind->setChecked(true);
    filter_->FocusFind();
    return;
  }
  const auto sequence = filter_->FindSequence();
  if (!sequence) return;
  const int current = view_.currentIndex().isValid() ? view_.currentIndex().row() : -1;
  const LogPackets packets(log_);
  findScan_.reset();  // a find still looking gives way to this one
  if (packets.Size() <= FindScan::kDirectRows) {
    ShowFound(modbus::FindRow(packets, current, *sequence, forward));
    return;
  }
  filter_->SetStatus(QStringLiteral("Finding..."));
  findScan_ = std::make_unique<FindScan>(SnapshotPackets(log_.TakeSnapshot(), packets.Size()), current,
                                         *sequence, forward, *this, [this](int row) {
                                           findScan_.reset();
                                           ShowFound(row);
                                         });
  findScan_->Start();
}

void FrameAnalysis::ShowFound(int row) {
  // The log may have been cleared while a find looked.
  if (row < 0 || row >= LogPackets(log_).Size()) {
    filter_->SetStatus(QStringLiteral("Not found"));
    return;
  }
  GoToRow(row);
  filter_->SetStatus(QStringLiteral("Found in row %1").arg(row + 1));
}

}  // namespace tessaly
