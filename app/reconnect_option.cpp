#include "app/reconnect_option.h"

#include "presentation/error_report.h"
#include "session/capture_session.h"
#include "settings/program_key.h"
#include "settings/registry.h"

#include <QAction>
#include <QMenu>

namespace tessaly {

ReconnectOption::ReconnectOption(QMenu& options, QAction* after, CaptureSession& session,
                                 std::filesystem::path storeDirectory)
    : QObject(&options), session_(session), storeDirectory_(std::move(storeDirectory)) {
  item_ = new QAction(QStringLiteral("Re&connect when the link drops"), &options);
  item_->setObjectName(QStringLiteral("miReconnect"));
  item_->setCheckable(true);
  const QList<QAction*> actions = options.actions();
  const qsizetype at = actions.indexOf(after);
  options.insertAction(at >= 0 && at + 1 < actions.size() ? actions.at(at + 1) : nullptr, item_);
  item_->setChecked(Stored());
  session_.SetReconnect(item_->isChecked());
  connect(item_, &QAction::toggled, this, [this](bool on) {
    session_.SetReconnect(on);
    RunReportingErrors([this, on] { Store(on); });
  });
}

bool ReconnectOption::Stored() const {
  try {
    TRegistry store(storeDirectory_);
    store.SetRootKey(RegistryRoot::CurrentUser);
    return store.OpenKey(kProgramKeyPath, false) && store.ValueExists(kStoredValue) &&
           store.ReadInteger(kStoredValue) == 1;
  } catch (const ERegistryException&) {
    return false;  // a damaged value: the safe default
  }
}

void ReconnectOption::Store(bool on) const {
  TRegistry store(storeDirectory_);
  store.SetRootKey(RegistryRoot::CurrentUser);
  store.OpenKey(kProgramKeyPath, true);
  store.WriteInteger(kStoredValue, on ? 1 : 0);
}

}  // namespace tessaly
