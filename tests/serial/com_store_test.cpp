// Saving and restoring a port's settings in a store kept in a temporary
// folder.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "links/serial/com_text.h"
#include "settings/program_key.h"
#include "settings/registry.h"
#include "tests/serial/port_fixture.h"

namespace tessaly {
namespace {

using test::ExpectComFailure;

// The settings the store keeps, as text.
QString Stored(const TCustomComPort& port) {
  return QStringList{port.Port(), BaudRateText(port.BaudRate()), QString::number(port.CustomBaudRate()),
                     StopBitsText(port.StopBits()), DataBitsText(port.DataBits()), ParityText(port.Parity().Bits()),
                     FlowControlText(port.FlowControl().FlowControlKind())}
      .join(u' ');
}

class ComStoreTest : public testing::Test {
 protected:
  ComStoreTest() { Prepare(port_); }

  void Prepare(TComPort& port) const {
    port.setObjectName(QStringLiteral("ComPort"));
    port.SetStoreDirectory(store_.Path());
  }
  // The port's key as another reader of the store sees it.
  std::unique_ptr<TRegistry> Key(RegistryRoot root = RegistryRoot::LocalMachine) const {
    auto registry = std::make_unique<TRegistry>(store_.Path());
    registry->SetRootKey(root);
    registry->OpenKey("SOFTWARE\\Verandel\\Tessaly\\ComPort", true);
    return registry;
  }
  void Save(TComPort& port) { port.SaveSettings(skRegistry, QString::fromLatin1(kSettingsLocation)); }
  void Restore(TComPort& port) { port.RestoreSettings(skRegistry, QString::fromLatin1(kSettingsLocation)); }

  test::TemporaryFolder store_;
  TComPort port_;
};

TEST_F(ComStoreTest, SaveWithDesignValues_WritesTextFormsAndNoCustomRate) {
  port_.SetBaudRate(br4800);
  Save(port_);
  const auto key = Key();
  EXPECT_EQ(key->ReadString("Port") + key->ReadString("BaudRate") + key->ReadString("StopBits") +
                key->ReadString("DataBits") + key->ReadString("Parity") + key->ReadString("FlowControl"),
            "COM1" "4800" "1" "8" "None" "None");
  EXPECT_FALSE(key->ValueExists("CustomBaudRate"));
  EXPECT_FALSE(Key(RegistryRoot::CurrentUser)->ValueExists("Port"));
}

TEST_F(ComStoreTest, SavedSettings_RestoreIntoAnotherPort) {
  port_.SetPort(QStringLiteral("ttyUSB0"));
  port_.SetBaudRate(brCustom);
  port_.SetCustomBaudRate(31250);
  port_.SetStopBits(sbTwoStopBits);
  port_.SetDataBits(dbSeven);
  port_.Parity().SetBits(prMark);
  port_.FlowControl().SetFlowControlKind(fcSoftware);
  Save(port_);

  TComPort restored;
  Prepare(restored);
  Restore(restored);
  EXPECT_EQ(Stored(restored), "ttyUSB0 Custom 31250 2 7 Mark Software");
}

// How the line is cut is kept beside the port's values: off unless chosen,
// and a store from before the choice, or a damaged value, restores the
// port's values as ever with the choice off.
TEST_F(ComStoreTest, CutAtSilences_KeptBesideThePortValues_OffWhenMissingOrDamaged) {
  EXPECT_FALSE(port_.CutAtSilences());
  TComPort restored;
  Prepare(restored);
  restored.SetCutAtSilences(true);
  Key()->WriteString("Port", "ttyS3");  // a store from before the choice
  Restore(restored);
  EXPECT_FALSE(restored.CutAtSilences());
  EXPECT_EQ(restored.Port(), "ttyS3");

  port_.SetCutAtSilences(true);
  Save(port_);
  EXPECT_EQ(Key()->ReadInteger(TCustomComPort::kCutAtSilencesValue), 1);
  Restore(restored);
  EXPECT_TRUE(restored.CutAtSilences());

  Key()->WriteString(TCustomComPort::kCutAtSilencesValue, "yes");
  Restore(restored);
  EXPECT_FALSE(restored.CutAtSilences());
  EXPECT_EQ(restored.Port(), "COM1");
}

TEST_F(ComStoreTest, EmptyStore_GivesFirstRunSettingsAndKeepsFlowDetails) {
  port_.SetBaudRate(br4800);
  port_.SetStopBits(sbTwoStopBits);
  port_.FlowControl().SetXonXoffIn(true);
  Restore(port_);
  EXPECT_EQ(port_.Port(), QString());
  EXPECT_EQ(port_.BaudRate(), br9600);
  EXPECT_EQ(port_.StopBits(), sbOneStopBit);
  EXPECT_TRUE(port_.FlowControl().XonXoffIn());  // a missing kind reads as Custom
}

TEST_F(ComStoreTest, FailingRead_EndsRestoreWithCode17KeepingEarlierValues) {
  const auto key = Key();
  key->WriteString("Port", "ttyS1");
  key->WriteString("BaudRate", "Custom");  // and no CustomBaudRate
  key->WriteString("StopBits", "2");
  ExpectComFailure([&] { Restore(port_); }, kComLoadFailed, EComPort::kNoPlatformCode);
  EXPECT_EQ(port_.Port(), QStringLiteral("ttyS1"));
  EXPECT_EQ(port_.BaudRate(), brCustom);
  EXPECT_EQ(port_.StopBits(), sbOneStopBit);

  key->WriteString("BaudRate", "38400");
  key->WriteInteger("StopBits", 2);  // of the wrong type
  ExpectComFailure([&] { Restore(port_); }, kComLoadFailed, EComPort::kNoPlatformCode);
  EXPECT_EQ(port_.BaudRate(), br38400);

  // The update hold was lowered both times: the port configures its device.
  test::PtyPair pty;
  port_.SetPort(pty.SlavePath());
  port_.SetBaudRate(br19200);
  port_.Open();
  EXPECT_EQ(test::LineConfiguration(pty.Master()), "19200");
}

TEST_F(ComStoreTest, LocationWithoutKey_SaveFailsNamingNoPlatformNumber) {
  EXPECT_EQ(test::FailureText([&] { port_.SaveSettings(skRegistry, QStringLiteral("HKEY_LOCAL_MACHINE")); }),
            "Failed to store settings");
}

}  // namespace
}  // namespace tessaly
