// Saving and restoring a port's settings in the settings store.
#include <string>

#include "links/serial/com_port.h"
#include "links/serial/com_text.h"
#include "settings/registry.h"

namespace tessaly {
namespace {

// "<root>\<path>": the root part chooses the store's root (the current
// user's unless it names the local machine), and the values live in the
// subkey named after the port object under <path>. Without a backslash no
// key is opened: writes then fail and reads give empty texts.
void OpenStoreKey(TRegistry& registry, const QString& location, const QString& subkey) {
  const qsizetype split = location.indexOf(u'\\');
  if (split < 0) return;
  const QString root = UpperCaseAscii(location.left(split));
  if (root == QLatin1String("HKEY_LOCAL_MACHINE")) {
    registry.SetRootKey(RegistryRoot::LocalMachine);
  } else if (root == QLatin1String("HKEY_CURRENT_USER")) {
    registry.SetRootKey(RegistryRoot::CurrentUser);
  }
  QString path = location.mid(split + 1);
  if (!path.endsWith(u'\\')) path += u'\\';
  path += subkey;
  // A key that cannot be opened shows up as failing writes and empty reads.
  (void)registry.OpenKey(path.toStdString(), true);
}

}  // namespace

std::filesystem::path TCustomComPort::StoreDirectory() const {
  return storeDirectory_ ? *storeDirectory_ : DefaultStoreDirectory();
}

void TCustomComPort::SaveSettings(TStoreType type, const QString& location) {
  // Only the store kind this program uses exists.
  if (type != skRegistry) throw EComPort(kComStoreFailed);
  try {
    TRegistry registry(StoreDirectory());
    // The key and every value together, in one rewrite of the store: a
    // crash never leaves old and new settings mixed.
    registry.BeginWrites();
    OpenStoreKey(registry, location, objectName());
    if (!storedGroups_.Contains(sgBasic)) {
      registry.CommitWrites();
      return;
    }
    registry.WriteString("Port", port_.toStdString());
    registry.WriteString("BaudRate", BaudRateText(baudRate_).toStdString());
    if (baudRate_ == brCustom) registry.WriteInteger("CustomBaudRate", customBaudRate_);
    registry.WriteString("StopBits", StopBitsText(stopBits_).toStdString());
    registry.WriteString("DataBits", DataBitsText(dataBits_).toStdString());
    registry.WriteString("Parity", ParityText(parity_.Bits()).toStdString());
    registry.WriteString("FlowControl", FlowControlText(flowControl_.FlowControlKind()).toStdString());
    // Beside the port's values: how its line is cut into packets.
    registry.WriteInteger(kCutAtSilencesValue, cutAtSilences_ ? 1 : 0);
    registry.CommitWrites();
  } catch (const std::exception&) {
    // Nothing of the group is written.
    throw EComPort(kComStoreFailed);
  }
}

void TCustomComPort::RestoreCutAtSilences(const TRegistry& registry) {
  // Missing (a store from before the choice) or damaged: the read grouping,
  // and the port's own values restore as ever.
  try {
    cutAtSilences_ = registry.ValueExists(kCutAtSilencesValue) && registry.ReadInteger(kCutAtSilencesValue) == 1;
  } catch (const std::exception&) {
    cutAtSilences_ = false;
  }
}

void TCustomComPort::RestoreSettings(TStoreType type, const QString& location) {
  if (type != skRegistry) throw EComPort(kComLoadFailed);
  SuspendApply();
  try {
    TRegistry registry(StoreDirectory());
    OpenStoreKey(registry, location, objectName());
    if (storedGroups_.Contains(sgBasic)) {
      // A missing text reads as empty and so gives its conversion's fallback.
      SetPort(QString::fromStdString(registry.ReadString("Port")));
      SetBaudRate(BaudRateFromText(QString::fromStdString(registry.ReadString("BaudRate"))));
      if (baudRate_ == brCustom) SetCustomBaudRate(registry.ReadInteger("CustomBaudRate"));
      SetStopBits(StopBitsFromText(QString::fromStdString(registry.ReadString("StopBits"))));
      SetDataBits(DataBitsFromText(QString::fromStdString(registry.ReadString("DataBits"))));
      parity_.SetBits(ParityFromText(QString::fromStdString(registry.ReadString("Parity"))));
      flowControl_.SetFlowControlKind(FlowControlFromText(QString::fromStdString(registry.ReadString("FlowControl"))));
      RestoreCutAtSilences(registry);
    }
  } catch (const std::exception&) {
    // Settings read before the failing value stay; the hold is lowered all
    // the same, and the load failure is what the caller hears of.
    try {
      ResumeApply();
    } catch (const std::exception&) {
    }
    throw EComPort(kComLoadFailed);
  }
  ResumeApply();
}

}  // namespace tessaly
