// The serial speed behind a TCP gateway: chosen texts, the stored value at
// start-up (a damaged one reads as unknown), and the capture's line using it.
#include "app/gateway_line_speed.h"
#include "session/capture_session.h"
#include "settings/registry.h"
#include "tests/app/program_fixture.h"

namespace tessaly::test {
namespace {

TEST(GatewayLineSpeedText, RatesAndUnknown) {
  EXPECT_EQ(LineSpeedFromText(QStringLiteral(" 19200 ")), 19200);
  for (const char* refused : {"Unknown", "", "0", "-9600", "fast", "4000001"}) {
    EXPECT_FALSE(LineSpeedFromText(QString::fromLatin1(refused)).has_value()) << refused;
  }
  EXPECT_EQ(LineSpeedText(std::nullopt), QStringLiteral("Unknown"));
  EXPECT_EQ(LineSpeedText(9600), QStringLiteral("9600"));
}

class GatewayLineSpeedTest : public ProgramTest {
 protected:
  void StoreValue(const std::function<void(TRegistry&)>& write) {
    TRegistry store(StoreDirectory());
    store.SetRootKey(RegistryRoot::CurrentUser);
    ASSERT_TRUE(store.OpenKey(kProgramKeyPath, true));
    write(store);
  }
  std::optional<int> GatewaySpeed() { return Window().Session().GatewayLineSpeed(); }
};

TEST_F(GatewayLineSpeedTest, StoredSpeedAppliedAtStartUp_DamagedOrAbsurdValuesReadAsUnknown) {
  StartProgram();
  EXPECT_FALSE(GatewaySpeed().has_value()) << "unknown unless the user gives it";
  StoreValue([](TRegistry& store) { store.WriteInteger(GatewayLineSpeed::kStoredValue, 19200); });
  StartProgram();
  EXPECT_EQ(GatewaySpeed(), 19200);
  StoreValue([](TRegistry& store) { store.WriteString(GatewayLineSpeed::kStoredValue, "fast"); });
  StartProgram();
  EXPECT_FALSE(GatewaySpeed().has_value());
  StoreValue([](TRegistry& store) { store.WriteInteger(GatewayLineSpeed::kStoredValue, -5); });
  StartProgram();
  EXPECT_FALSE(GatewaySpeed().has_value());
}

}  // namespace
}  // namespace tessaly::test
