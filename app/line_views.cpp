#include "app/line_views.h"

#include "app/frame_analysis.h"
#include "panes/line_health_pane.h"
#include "panes/log_filter_pane.h"
#include "panes/packet_details_pane.h"
#include "log/packet_log_model.h"
#include "panes/register_model.h"
#include "panes/register_pane.h"
#include "views/packet_log_view.h"
#include "views/line_name_strip.h"
#include "views/row_number_strip.h"
#include "session/link_holder.h"
#include "presentation/error_report.h"
#include "session/capture_session.h"
#include "settings/program_key.h"
#include "settings/registry.h"

#include <QAction>
#include <QActionGroup>
#include <QHBoxLayout>
#include <QMainWindow>
#include <QMenu>

namespace tessaly {

LineViews::LineViews(QMainWindow& window, PacketLogModel& log, PacketLogView& grid, FrameAnalysis& analysis,
                     CaptureSession& session)
    : QObject(&window), log_(log), analysis_(analysis), storeDirectory_(session.Links().StoreDirectory()) {
  // The row numbers stand beside the grid, outside it: hidden, the grid
  // fills the window's middle exactly as before.
  QWidget* middle = window.takeCentralWidget();
  auto* beside = new QWidget(&window);
  beside->setObjectName(QStringLiteral("GridWithRowNumbers"));
  auto* row = new QHBoxLayout(beside);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  rowNumbers_ = new RowNumberStrip(grid, [&log] { return log.PacketCount(); }, beside);
  rowNumbers_->hide();
  row->addWidget(rowNumbers_);
  // The line of each row, shown only while the log holds two lines.
  lineNames_ = new LineNameStrip(grid, [&log](int row) { return log.LineNameAt(row); }, beside);
  lineNames_->hide();
  row->addWidget(lineNames_);
  connect(&log, &PacketLogModel::lineNamesChanged, this, [this, &log] {
    lineNames_->FitNames(log.LineNames());
    lineNames_->setVisible(log.ShowsLines());
  });
  row->addWidget(middle);
  window.setCentralWidget(beside);

  health_ = new LineHealthPane(log, &window);
  health_->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
  health_->hide();
  window.addDockWidget(Qt::BottomDockWidgetArea, health_);
  // Times on the line are those of the capture's own line.
  health_->SetLineTiming([this] { return analysis_.Timing(); });

  registers_ = new RegisterPane(log, &window);
  registers_->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
  registers_->hide();
  window.addDockWidget(Qt::RightDockWidgetArea, registers_);
  RestoreRegisterTypes();

  QMenu* menu = window.findChild<QMenu*>(QStringLiteral("ViewMenu"));
  menu->addSeparator();
  miRowNumbers = AddPaneItem(*menu, *rowNumbers_, "miRowNumbers", "Row n&umbers", kRowNumbersShownValue,
                             [](bool) {});
  BuildTimeColumnMenu(*menu, log);
  menu->addSeparator();
  miLineHealth = AddPaneItem(*menu, *health_, "miLineHealth", "Line &health", kHealthShownValue,
                             [this](bool shown) { health_->SetFollowing(shown); });
  miRegisters = AddPaneItem(*menu, *registers_, "miRegisters", "&Registers", kRegistersShownValue,
                            [this](bool shown) { registers_->SetFollowing(shown); });
  BuildNotationMenu(*menu);

  connect(registers_, &RegisterPane::typesChanged, this, [this](std::uint8_t unit) {
    RunReportingErrors([this, unit] { RememberRegisterTypes(unit); });
  });

  connect(health_, &LineHealthPane::rowsWanted, this,
          [this](std::uint8_t unit, std::uint8_t function, LogFilterPane::QuickFilter kind) {
            analysis_.miFilterFind->setChecked(true);
            analysis_.FilterPane().ShowRowsOf(unit, function, kind);
          });
  connect(health_, &LineHealthPane::badFramesWanted, this, [this] {
    analysis_.miFilterFind->setChecked(true);
    analysis_.FilterPane().ShowBadFrames();
  });
}

QAction* LineViews::AddPaneItem(QMenu& menu, QWidget& pane, const char* objectName,
                                const char* caption, const char* shownValue,
                                std::function<void(bool)> follow) {
  QAction* item = menu.addAction(QString::fromLatin1(caption));
  item->setObjectName(QLatin1String(objectName));
  item->setMenuRole(QAction::NoRole);
  item->setCheckable(true);
  connect(item, &QAction::toggled, this, [this, &pane, shownValue, follow](bool shown) {
    pane.setVisible(shown);
    follow(shown);
    RunReportingErrors([this, shownValue, shown] { RememberInteger(shownValue, shown ? 1 : 0); });
  });
  // A value that cannot be read leaves the pane off, as on a first run.
  item->setChecked(RestoreInteger(shownValue, 0) != 0);
  return item;
}

modbus::DecodingChoices LineViews::Decoding() const {
  return {analysis_.Timing(), registers_->Model().Types(), registers_->Model().Notation(), log_.MasterLine()};
}

void LineViews::BuildTimeColumnMenu(QMenu& menu, PacketLogModel& log) {
  QMenu* times = menu.addMenu(QStringLiteral("&Time column"));
  times->setObjectName(QStringLiteral("TimeColumnMenu"));
  auto* group = new QActionGroup(times);
  const auto add = [&](const char* objectName, const char* caption, TimeColumn column) {
    QAction* item = times->addAction(QString::fromLatin1(caption));
    item->setObjectName(QLatin1String(objectName));
    item->setCheckable(true);
    group->addAction(item);
    connect(item, &QAction::triggered, this, [this, &log, column] {
      log.SetTimeColumn(column);
      RunReportingErrors([this, column] { RememberInteger(kTimeColumnValue, static_cast<int>(column)); });
    });
    return item;
  };
  miTimeOfDay = add("miTimeOfDay", "Time of &day", TimeColumn::kTimeOfDay);
  miTimeSincePrevious = add("miTimeSincePrevious", "Since the &previous row", TimeColumn::kSincePrevious);
  miTimeSinceStart = add("miTimeSinceStart", "Since the capture's &start", TimeColumn::kSinceStart);
  const int stored = RestoreInteger(kTimeColumnValue, 0);
  QAction* chosen = stored == 1 ? miTimeSincePrevious : stored == 2 ? miTimeSinceStart : miTimeOfDay;
  chosen->setChecked(true);
  log.SetTimeColumn(static_cast<TimeColumn>(stored == 1 || stored == 2 ? stored : 0));
}

int LineViews::RestoreInteger(const char* value, int fallback) const {
  try {
    TRegistry store(storeDirectory_);
    store.SetRootKey(RegistryRoot::CurrentUser);
    if (store.OpenKey(kProgramKeyPath, false) && store.ValueExists(value)) return store.ReadInteger(value);
  } catch (const ERegistryException&) {
  }
  return fallback;
}

void LineViews::RememberInteger(const char* value, int number) const {
  TRegistry store(storeDirectory_);
  store.SetRootKey(RegistryRoot::CurrentUser);
  store.OpenKey(kProgramKeyPath, true);
  store.WriteInteger(value, number);
}

void LineViews::BuildNotationMenu(QMenu& menu) {
  QMenu* addresses = menu.addMenu(QStringLiteral("Register &addresses"));
  addresses->setObjectName(QStringLiteral("AddressesMenu"));
  auto* group = new QActionGroup(addresses);
  const auto add = [&](const char* objectName, const char* caption, modbus::AddressNotation notation) {
    QAction* item = addresses->addAction(QString::fromLatin1(caption));
    item->setObjectName(QLatin1String(objectName));
    item->setCheckable(true);
    group->addAction(item);
    connect(item, &QAction::triggered, this, [this, notation] {
      registers_->Model().SetNotation(notation);
      analysis_.Details().SetNotation(notation);
      RunReportingErrors([this, notation] { RememberInteger(kNotationValue, static_cast<int>(notation)); });
    });
    return item;
  };
  miAddressesZeroBased = add("miAddressesZeroBased", "&0-based (0 to 65535)", modbus::AddressNotation::kZeroBased);
  miAddressesOneBased = add("miAddressesOneBased", "&1-based (1 to 65536)", modbus::AddressNotation::kOneBased);
  miAddressesTableDigit =
      add("miAddressesTableDigit", "&Table digit (40001, 30001, 00001, 10001)", modbus::AddressNotation::kTableDigit);

  // A value that cannot be read leaves the addresses 0-based.
  const int stored = RestoreInteger(kNotationValue, 0);
  QAction* chosen = stored == 1 ? miAddressesOneBased : stored == 2 ? miAddressesTableDigit : miAddressesZeroBased;
  chosen->setChecked(true);
  const auto notation = static_cast<modbus::AddressNotation>(stored == 1 || stored == 2 ? stored : 0);
  registers_->Model().SetNotation(notation);
  analysis_.Details().SetNotation(notation);
}

void LineViews::RestoreRegisterTypes() {
  std::map<std::uint8_t, modbus::RegisterTypes> types;
  QStringList damaged;
  try {
    TRegistry store(storeDirectory_);
    store.SetRootKey(RegistryRoot::CurrentUser);
    if (store.OpenKey(std::string(kProgramKeyPath) + "\\" + kRegisterTypesKey, false)) {
      for (int unit = 0; unit <= 255; ++unit) {
        const std::string name = "Unit " + std::to_string(unit);
        if (!store.ValueExists(name)) continue;
        bool ok = true;
        std::string text;
        try {
          text = store.ReadString(name);
        } catch (const ERegistryException&) {
          ok = false;
        }
        modbus::RegisterTypes read = modbus::RegisterTypes::FromText(text, ok);
        if (!ok) damaged << QString::number(unit);
        if (!read.Empty()) types[static_cast<std::uint8_t>(unit)] = std::move(read);
      }
    }
  } catch (const ERegistryException&) {
    damaged << QStringLiteral("all");
  }
  registers_->Model().SetTypes(std::move(types));
  // Not silent: what could not be read is named where the types are chosen.
  if (!damaged.isEmpty()) {
    registers_->SetStatus(QStringLiteral("Register types of unit %1 could not be read in full").arg(damaged.join(u',')));
  }
}

void LineViews::RememberRegisterTypes(std::uint8_t unit) const {
  TRegistry store(storeDirectory_);
  store.SetRootKey(RegistryRoot::CurrentUser);
  store.BeginWrites();
  store.OpenKey(std::string(kProgramKeyPath) + "\\" + kRegisterTypesKey, true);
  store.WriteString("Unit " + std::to_string(unit), registers_->Model().TypesOf(unit).ToText());
  store.CommitWrites();
}

}  // namespace tessaly
