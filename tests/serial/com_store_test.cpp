// Saving and restoring a port's settings in a settings store kept in a
// temporary folder.
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

#include "links/serial/com_port.h"
#include "settings/program_key.h"
#include "settings/registry.h"
#include "tests/serial/port_fixture.h"

namespace tessaly {
namespace {

using test::ExpectComFailure;

constexpr const char* kComPortKey = "SOFTWARE\\Verandel\\Tessaly\\ComPort";

class ComStoreTest : public testing::Test {
 protected:
  ComStoreTest() { Prepare(port_); }

  void Prepare(TComPort& port) const {
    port.setObjectName(QStringLiteral("ComPort"));
    port.SetStoreDirectory(Directory());
  }
  std::filesystem::path Directory() const { return std::filesystem::path(store_.path().toStdString()); }

  // The port's key as another reader of the store sees it.
  std::unique_ptr<TRegistry> Key(RegistryRoot root = RegistryRoot::LocalMachine,
                                 const std::string& path = kComPortKey) const {
    auto registry = std::make_unique<TRegistry>(Directory());
    registry->SetRootKey(root);
    registry->OpenKey(path, true);
    return registry;
  }
  void Save() { port_.SaveSettings(skRegistry, QString::fromLatin1(kSettingsLocation)); }
  void Restore() { port_.RestoreSettings(skRegistry, QString::fromLatin1(kSettingsLocation)); }

  QTemporaryDir store_;
  TComPort port_;
};

TEST_F(ComStoreTest, SaveWithDesignValues_WritesTextFormsAndNoCustomRate) {
  port_.SetBaudRate(br4800);
  Save();
  const auto key = Key();
  EXPECT_EQ(key->ReadString("Port"), "COM1");
  EXPECT_EQ(key->ReadString("BaudRate"), "4800");
  EXPECT_EQ(key->ReadString("StopBits"), "1");
  EXPECT_EQ(key->ReadString("DataBits"), "8");
  EXPECT_EQ(key->ReadString("Parity"), "None");
  EXPECT_EQ(key->ReadString("FlowControl"), "None");
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
  Save();
  EXPECT_EQ(Key()->ReadInteger("CustomBaudRate"), 31250);

  TComPort restored;
  Prepare(restored);
  restored.RestoreSettings(skRegistry, QString::fromLatin1(kSettingsLocation));
  EXPECT_EQ(restored.Port(), QStringLiteral("ttyUSB0"));
  EXPECT_EQ(restored.BaudRate(), brCustom);
  EXPECT_EQ(restored.CustomBaudRate(), 31250);
  EXPECT_EQ(restored.StopBits(), sbTwoStopBits);
  EXPECT_EQ(restored.DataBits(), dbSeven);
  EXPECT_EQ(restored.Parity().Bits(), prMark);
  EXPECT_EQ(restored.FlowControl().FlowControlKind(), fcSoftware);
}

TEST_F(ComStoreTest, EmptyStore_RestoresFirstRunSettingsAndKeepsFlowDetails) {
  port_.SetBaudRate(br4800);
  port_.SetStopBits(sbTwoStopBits);
  port_.FlowControl().SetControlDTR(dtrEnable);
  port_.FlowControl().SetXonXoffIn(true);
  Restore();
  EXPECT_EQ(port_.Port(), QString());
  EXPECT_EQ(port_.BaudRate(), br9600);
  EXPECT_EQ(port_.StopBits(), sbOneStopBit);
  EXPECT_EQ(port_.DataBits(), dbEight);
  EXPECT_EQ(port_.Parity().Bits(), prNone);
  EXPECT_EQ(port_.FlowControl().ControlDTR(), dtrEnable);  // missing kind reads as Custom
  EXPECT_TRUE(port_.FlowControl().XonXoffIn());
}

TEST_F(ComStoreTest, UntrimmedRateAndLowerCaseParity_RestoreAsConversionsSay) {
  const auto key = Key();
  key->WriteString("BaudRate", "19200 ");
  key->WriteString("Parity", "even");
  Restore();
  EXPECT_EQ(port_.BaudRate(), br9600);
  EXPECT_EQ(port_.Parity().Bits(), prEven);
}

TEST_F(ComStoreTest, CustomRateMissing_FailsAfterPortAndRateKeepingTheRest) {
  const auto key = Key();
  key->WriteString("Port", "ttyS1");
  key->WriteString("BaudRate", "Custom");
  key->WriteString("StopBits", "2");
  key->WriteString("Parity", "Odd");
  port_.FlowControl().SetFlowControlKind(fcHardware);
  try {
    Restore();
    FAIL() << "restored without a custom rate";
  } catch (const EComPort& failure) {
    EXPECT_STREQ(failure.what(), "Failed to load settings");
    EXPECT_EQ(failure.PlatformCode(), EComPort::kNoPlatformCode);
  }
  EXPECT_EQ(port_.Port(), QStringLiteral("ttyS1"));
  EXPECT_EQ(port_.BaudRate(), brCustom);
  EXPECT_EQ(port_.StopBits(), sbOneStopBit);
  EXPECT_EQ(port_.Parity().Bits(), prNone);
  EXPECT_EQ(port_.FlowControl().FlowControlKind(), fcHardware);
}

TEST_F(ComStoreTest, ValueOfOtherType_FailsWithCode17AtThatValue) {
  const auto key = Key();
  key->WriteString("BaudRate", "38400");
  key->WriteInteger("StopBits", 2);
  key->WriteString("DataBits", "6");
  ExpectComFailure([&] { Restore(); }, kComLoadFailed, EComPort::kNoPlatformCode);
  EXPECT_EQ(port_.BaudRate(), br38400);
  EXPECT_EQ(port_.DataBits(), dbEight);
}

TEST_F(ComStoreTest, LocationWithoutBackslash_SaveFailsAndRestoreGivesFallbacks) {
  port_.SetBaudRate(br4800);
  ExpectComFailure([&] { port_.SaveSettings(skRegistry, QStringLiteral("HKEY_LOCAL_MACHINE")); }, kComStoreFailed,
                   EComPort::kNoPlatformCode);
  port_.RestoreSettings(skRegistry, QStringLiteral("Tessaly"));
  EXPECT_EQ(port_.Port(), QString());
  EXPECT_EQ(port_.BaudRate(), br9600);
}

TEST_F(ComStoreTest, IniFileKind_IsRefused) {
  ExpectComFailure([&] { port_.SaveSettings(skIniFile, QStringLiteral("tessaly.ini")); }, kComStoreFailed,
                   EComPort::kNoPlatformCode);
  ExpectComFailure([&] { port_.RestoreSettings(skIniFile, QStringLiteral("tessaly.ini")); }, kComLoadFailed,
                   EComPort::kNoPlatformCode);
}

struct LocationCase {
  const char* location;
  RegistryRoot root;
  const char* keyPath;
};

class ComStoreLocationTest : public ComStoreTest, public testing::WithParamInterface<LocationCase> {};

TEST_P(ComStoreLocationTest, RootPartChoosesRootAndObjectNameIsSubkey) {
  port_.SetPort(QStringLiteral("ttyACM0"));
  port_.SaveSettings(skRegistry, QString::fromLatin1(GetParam().location));
  EXPECT_EQ(Key(GetParam().root, GetParam().keyPath)->ReadString("Port"), "ttyACM0");
}

INSTANTIATE_TEST_SUITE_P(
    Locations, ComStoreLocationTest,
    testing::Values(LocationCase{"hkey_current_user\\SOFTWARE\\Other", RegistryRoot::CurrentUser,
                                 "SOFTWARE\\Other\\ComPort"},
                    LocationCase{"HKEY_USERS\\Elsewhere", RegistryRoot::CurrentUser, "Elsewhere\\ComPort"},
                    LocationCase{"hkey_local_machine\\SOFTWARE\\Tail\\", RegistryRoot::LocalMachine,
                                 "SOFTWARE\\Tail\\ComPort"}));

}  // namespace
}  // namespace tessaly
