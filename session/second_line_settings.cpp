#include "session/second_line_settings.h"

#include "settings/registry.h"

#include <exception>

namespace tessaly {
namespace {

// The longest name kept: a name is a label for a narrow column.
constexpr int kMaxNameLength = 32;

QString ShownName(const QString& name, const char* fallback) {
  const QString trimmed = name.trimmed().left(kMaxNameLength);
  return trimmed.isEmpty() ? QString::fromLatin1(fallback) : trimmed;
}

// Each value on its own: one that cannot be read leaves the others.
template <class Read>
void ReadValue(Read&& read) {
  try {
    read();
  } catch (const std::exception&) {
    // A value of the wrong type or a damaged one: the default stays.
  }
}

}  // namespace

QString SecondLineSettings::FirstName() const { return ShownName(firstName, "A"); }
QString SecondLineSettings::SecondName() const { return ShownName(secondName, "B"); }

SecondLineSettings ReadSecondLineSettings(const std::filesystem::path& storeDirectory) {
  SecondLineSettings settings;
  try {
    TRegistry store(storeDirectory);
    store.SetRootKey(RegistryRoot::LocalMachine);
    if (!store.OpenKey(kSecondLineKeyPath, false)) return settings;
    ReadValue([&] {
      if (store.ValueExists("On")) settings.on = store.ReadInteger("On") != 0;
    });
    ReadValue([&] { settings.tcp = store.ReadString("Transport") == "TCP"; });
    ReadValue([&] {
      if (store.ValueExists("FirstName")) settings.firstName = QString::fromStdString(store.ReadString("FirstName"));
    });
    ReadValue([&] {
      if (store.ValueExists("SecondName")) {
        settings.secondName = QString::fromStdString(store.ReadString("SecondName"));
      }
    });
    ReadValue([&] {
      if (!store.ValueExists("MasterLine")) return;
      const int line = store.ReadInteger("MasterLine");
      settings.masterLine = line == 0 || line == 1 ? line : SecondLineSettings::kNoMasterSide;
    });
  } catch (const std::exception&) {
    // The store cannot be read at all: one line, as on a first run.
  }
  settings.firstName = settings.FirstName();
  settings.secondName = settings.SecondName();
  return settings;
}

void WriteSecondLineSettings(const std::filesystem::path& storeDirectory, const SecondLineSettings& settings) {
  TRegistry store(storeDirectory);
  store.SetRootKey(RegistryRoot::LocalMachine);
  // All or nothing: a half-written choice could name lines wrongly.
  store.BeginWrites();
  store.OpenKey(kSecondLineKeyPath, true);
  store.WriteInteger("On", settings.on ? 1 : 0);
  store.WriteString("Transport", settings.tcp ? "TCP" : "COM");
  store.WriteString("FirstName", settings.FirstName().toStdString());
  store.WriteString("SecondName", settings.SecondName().toStdString());
  store.WriteInteger("MasterLine", settings.masterLine);
  store.CommitWrites();
}

}  // namespace tessaly
