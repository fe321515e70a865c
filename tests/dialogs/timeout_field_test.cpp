// The timeout field of both settings dialogs: whatever the user leaves in it,
// Ok never hands the timer less than 1 ms.
#include "tests/dialogs/settings_dialog_fixture.h"

namespace tessaly {
namespace {

using TimeoutField = test::SettingsDialogTest;

TEST_F(TimeoutField, BelowOneOrNoNumber_OkCorrectsFieldTo1_TimerGets1) {
  const struct {
    QDialog* dialog;
    IntervalField* field;
    QPushButton* ok;
  } dialogs[] = {{&serial, serial.seEnd, serial.okButton}, {&tcp, tcp.seEnd, tcp.okButton}};
  for (const auto& [dialog, field, ok] : dialogs) {
    for (const char* typed : {"0", "-7", "", "-"}) {
      SCOPED_TRACE(dialog->objectName().toStdString() + " \"" + typed + '"');
      framer.SetInterval(12);
      Show(*dialog);
      Type(*field, QString::fromLatin1(typed));
      QTest::mouseClick(ok, Qt::LeftButton);
      EXPECT_FALSE(dialog->isVisible());
      EXPECT_EQ(field->text(), QStringLiteral("1"));
      EXPECT_EQ(framer.Interval(), 1);
    }
  }
}

}  // namespace
}  // namespace tessaly
