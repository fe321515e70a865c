// The timeout field of both settings dialogs: whatever the user leaves in it,
// Ok never hands the timer less than 1 ms.
#include "tests/dialogs/settings_dialog_fixture.h"

#include <string>
#include <tuple>

namespace tessaly {
namespace {

class TimeoutField : public test::SettingsDialogTest,
                     public testing::WithParamInterface<std::tuple<bool, const char*>> {};

TEST_P(TimeoutField, BelowOneOrNoNumber_OkCorrectsFieldTo1_TimerGets1) {
  const auto [isSerial, typed] = GetParam();
  QDialog& dialog = isSerial ? static_cast<QDialog&>(serial) : tcp;
  IntervalField& field = isSerial ? *serial.seEnd : *tcp.seEnd;
  framer.SetInterval(12);
  Show(dialog);
  Type(field, QString::fromLatin1(typed));
  QTest::mouseClick(isSerial ? serial.okButton : tcp.okButton, Qt::LeftButton);

  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(field.text(), "1");
  EXPECT_EQ(framer.Interval(), 1);
}

INSTANTIATE_TEST_SUITE_P(Typed, TimeoutField,
                         testing::Combine(testing::Bool(), testing::Values("0", "-7", "", "-")),
                         [](const auto& info) {
                           const std::string typed = std::get<1>(info.param);
                           return std::string(std::get<0>(info.param) ? "Serial_" : "Tcp_") +
                                  (typed.empty() ? "Emptied" : typed == "-" ? "MinusOnly" : typed == "0" ? "Zero" : "Negative");
                         });

}  // namespace
}  // namespace tessaly
