#include "tests/app/program_fixture.h"

#include "log/packet_log_model.h"
#include "settings/registry.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>

#include <utility>

namespace tessaly::test {

void ProgramTest::TearDown() { program_.reset(); }

void ProgramTest::StartProgram() {
  program_.reset();
  program_ = std::make_unique<Program>(StoreDirectory());
}

std::string ProgramTest::Stored(const std::string& name, const char* key) const {
  TRegistry store(StoreDirectory());
  store.SetRootKey(RegistryRoot::LocalMachine);
  if (!store.OpenKey(key, false)) return "(no key)";
  if (!store.ValueExists(name)) return "(missing)";
  try {
    return store.ReadString(name);
  } catch (const ERegistryException&) {
    return std::to_string(store.ReadInteger(name));
  }
}

QStringList ProgramTest::LoggedPackets() {
  Window().Log().AnnouncePackets();
  QStringList rows;
  const PacketLogModel& log = Window().Log();
  for (int row = 0; row < log.PacketCount(); ++row) {
    rows << log.data(log.index(row, PacketLogModel::kDataColumn)).toString();
  }
  return rows;
}

void ProgramTest::CloseModalBoxes(std::function<void()> whileShown) {
  boxCloser_ = std::make_unique<QTimer>();
  boxCloser_->setInterval(20);
  QObject::connect(boxCloser_.get(), &QTimer::timeout, [this, whileShown = std::move(whileShown)]() mutable {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    if (whileShown) std::exchange(whileShown, nullptr)();
    const auto* box = qobject_cast<QMessageBox*>(dialog);
    closedBoxes_ << (box != nullptr ? box->windowTitle() + u'|' + box->text() : dialog->objectName());
    dialog->reject();
  });
  boxCloser_->start();
}

}  // namespace tessaly::test
