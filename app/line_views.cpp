#include "app/line_views.h"

#include "app/frame_analysis.h"
#include "capture/line_health_pane.h"
#include "capture/log_filter_pane.h"
#include "links/link_holder.h"
#include "presentation/error_report.h"
#include "session/capture_session.h"
#include "settings/program_key.h"
#include "settings/registry.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>

namespace tessaly {

LineViews::LineViews(QMainWindow& window, PacketLogModel& log, FrameAnalysis& analysis,
                     CaptureSession& session)
    : QObject(&window), analysis_(analysis), storeDirectory_(session.Links().StoreDirectory()) {
  health_ = new LineHealthPane(log, &window);
  health_->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
  health_->hide();
  window.addDockWidget(Qt::BottomDockWidgetArea, health_);
  // Times on the line are those of the capture's own line.
  health_->SetLineTiming([this] { return analysis_.Timing(); });

  QMenu* menu = window.findChild<QMenu*>(QStringLiteral("ViewMenu"));
  menu->addSeparator();
  miLineHealth = AddPaneItem(*menu, *health_, "miLineHealth", "Line &health", kHealthShownValue);

  connect(health_, &LineHealthPane::rowsWanted, this,
          [this](std::uint8_t unit, std::uint8_t function, LogFilterPane::QuickFilter kind) {
            analysis_.miFilterFind->setChecked(true);
            analysis_.FilterPane().ShowRowsOf(unit, function, kind);
          });
}

QAction* LineViews::AddPaneItem(QMenu& menu, QDockWidget& pane, const char* objectName,
                                const char* caption, const char* shownValue) {
  QAction* item = menu.addAction(QString::fromLatin1(caption));
  item->setObjectName(QLatin1String(objectName));
  item->setMenuRole(QAction::NoRole);
  item->setCheckable(true);
  connect(item, &QAction::toggled, this, [this, &pane, shownValue](bool shown) {
    pane.setVisible(shown);
    RunReportingErrors([this, shownValue, shown] { RememberShown(shownValue, shown); });
  });
  item->setChecked(RestoreShown(shownValue));
  return item;
}

bool LineViews::RestoreShown(const char* value) const {
  // A value that cannot be read leaves the pane off, as on a first run.
  try {
    TRegistry store(storeDirectory_);
    store.SetRootKey(RegistryRoot::CurrentUser);
    if (!store.OpenKey(kProgramKeyPath, false) || !store.ValueExists(value)) return false;
    return store.ReadInteger(value) != 0;
  } catch (const ERegistryException&) {
    return false;
  }
}

void LineViews::RememberShown(const char* value, bool shown) const {
  TRegistry store(storeDirectory_);
  store.SetRootKey(RegistryRoot::CurrentUser);
  store.OpenKey(kProgramKeyPath, true);
  store.WriteInteger(value, shown ? 1 : 0);
}

}  // namespace tessaly
