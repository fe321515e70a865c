// File > Save log as remembers, for the user, the folder and type saved to
// last, lists the logs of every type whichever is chosen, and proposes a name
// from when and where the capture began.
#include "app/log_save_command.h"
#include "app/save_place.h"
#include "log/packet_log_model.h"
#include "settings/registry.h"
#include "tests/app/program_fixture.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QSignalSpy>

#include <filesystem>

namespace tessaly::test {
namespace {

class SavePlaceTest : public ProgramTest {
 protected:
  struct Shown {
    QString folder;
    QString name;
    QString type;
    QStringList filters;
  };

  // Opens File > Save log as, notes what the dialog proposes, and then saves
  // to path (or cancels when it is empty).
  Shown SaveLogAs(const QString& path, const QString& type = {}) {
    Shown shown;
    QTimer answerer;
    answerer.setInterval(10);
    QObject::connect(&answerer, &QTimer::timeout, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      answerer.stop();
      shown = {dialog->directory().absolutePath(),
               dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text(),
               dialog->selectedNameFilter(), dialog->nameFilters()};
      if (path.isEmpty()) return dialog->reject();
      if (!type.isEmpty()) dialog->selectNameFilter(type);
      dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
      static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides it
    });
    answerer.start();
    QSignalSpy ended(&Window().SaveCommand(), &LogSaveCommand::finished);
    Window().miSaveLogClick();
    if (!path.isEmpty()) {
      EXPECT_TRUE(ended.wait(30'000));
    }
    return shown;
  }

  std::string UserValue(const char* name) const {
    TRegistry store(StoreDirectory());
    if (!store.OpenKey(kProgramKeyPath, false) || !store.ValueExists(name)) return "(missing)";
    return store.ReadString(name);
  }
};

TEST_F(SavePlaceTest, FolderAndTypeRememberedForTheUser_NameFromCaptureStartAndLink) {
  StartProgram();
  Links().ComPort().SetPort(QStringLiteral("/dev/ttyUSB0"));
  const PacketTime start = QDateTime(QDate(2026, 12, 8), QTime(9, 5, 7)).toMSecsSinceEpoch() * 1000;
  const std::uint8_t bytes[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};
  Window().Log().AppendPacket(bytes, sizeof bytes, start);
  Window().Log().AnnouncePackets();

  const Shown first = SaveLogAs({});
  EXPECT_EQ(first.folder, QDir::homePath());
  EXPECT_EQ(first.name, QStringLiteral("tessaly-2026-12-08-090507-ttyUSB0.txt"));
  EXPECT_TRUE(first.type.startsWith(QStringLiteral("Text")));
  for (const QString& filter : first.filters) {
    for (const char* pattern : {"*.txt", "*.csv", "*.pcap"}) {
      EXPECT_TRUE(filter.contains(QLatin1String(pattern))) << filter.toStdString();
    }
  }

  const QString folder = QString::fromStdString((storeFolder_.Path() / "logs").string());
  ASSERT_TRUE(QDir().mkpath(folder));
  SaveLogAs(folder + QStringLiteral("/first"), first.filters.at(1));  // CSV
  EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/first.csv")));
  EXPECT_EQ(UserValue(SavePlace::kFolderValue), folder.toStdString());
  EXPECT_EQ(UserValue(SavePlace::kTypeValue), "csv");

  StartProgram();  // the next run
  const Shown again = SaveLogAs({});
  EXPECT_EQ(again.folder, folder);
  EXPECT_TRUE(again.type.startsWith(QStringLiteral("CSV")));
  EXPECT_TRUE(again.name.endsWith(QStringLiteral(".csv")));

  // A remembered folder that is gone: the home folder again.
  std::filesystem::remove_all(folder.toStdString());
  EXPECT_EQ(SaveLogAs({}).folder, QDir::homePath());
}

TEST(ProposedLogName, LinkNamesBecomeFileNameParts) {
  const PacketTime start = QDateTime(QDate(2026, 1, 2), QTime(23, 59, 58)).toMSecsSinceEpoch() * 1000;
  EXPECT_EQ(ProposedLogName(start, QStringLiteral("/dev/pts/4")), "tessaly-2026-01-02-235958-pts-4");
  EXPECT_EQ(ProposedLogName(start, QStringLiteral("192.168.0.1:502")),
            "tessaly-2026-01-02-235958-192.168.0.1-502");
  EXPECT_EQ(ProposedLogName(start, QStringLiteral("COM1")), "tessaly-2026-01-02-235958-COM1");
  EXPECT_EQ(ProposedLogName(start, {}), "tessaly-2026-01-02-235958");
}

}  // namespace
}  // namespace tessaly::test
