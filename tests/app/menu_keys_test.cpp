// The window's menus as a keyboard user meets them: in every menu, each
// item has an access key and no two items share one.

#include "app/main_window.h"
#include "capture_file/capture_open.h"
#include "tests/app/program_fixture.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <map>

namespace tessaly::test {
namespace {

// The access key of a caption ("Sta&rt / Stop": r), or 0; "&&" is a shown "&".
QChar AccessKey(const QString& caption) {
  for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != u'&') continue;
    if (caption[i + 1] != u'&') return caption[i + 1].toLower();
    ++i;
  }
  return QChar();
}

// Captions the window's first design fixed without an access key; they
// stay as they were.
bool FixedWithoutKey(const QString& caption) {
  static const QStringList kFixed = {QStringLiteral("Modbus packet type"), QStringLiteral("Modbus/ASCII"),
                                     QStringLiteral("Modbus/RTU"),         QStringLiteral("Modbus/TCP"),
                                     QStringLiteral("Serial"),             QStringLiteral("TCP/IP ")};
  return kFixed.contains(caption);
}

// Walks a menu and its submenus, noting each fault in faults.
void CheckMenu(QMenu& menu, const QString& path, QStringList& faults) {
  menu.aboutToShow();  // fills menus made when opened (the recent captures)
  std::map<QChar, QString> taken;
  for (QAction* item : menu.actions()) {
    if (item->isSeparator() || !item->isVisible()) continue;
    const QString caption = item->text();
    const QChar key = AccessKey(caption);
    if (key.isNull()) {
      if (!FixedWithoutKey(caption)) faults << path + " > " + caption + ": no access key";
    } else if (const auto [other, added] = taken.emplace(key, caption); !added) {
      faults << path + ": \"" + caption + "\" and \"" + other->second + "\" share " + key;
    }
    if (QMenu* sub = item->menu()) CheckMenu(*sub, path + " > " + caption, faults);
  }
}

class MenuKeysTest : public ProgramTest {};

TEST_F(MenuKeysTest, EveryMenuItemHasAnAccessKeyOfItsOwn) {
  StartProgram();
  RememberRecentCapture(StoreDirectory(), QStringLiteral("/tmp/a&b.pcapng"));
  QMenuBar& bar = *Window().menuBar();
  QStringList faults;
  std::map<QChar, QString> menus;
  int walked = 0;
  for (QAction* top : bar.actions()) {
    QMenu* menu = top->menu();
    if (menu == nullptr) continue;
    ++walked;
    const QChar key = AccessKey(top->text());
    if (key.isNull()) faults << top->text() + ": no access key";
    if (const auto [other, added] = menus.emplace(key, top->text()); !added) {
      faults << "menu bar: \"" + top->text() + "\" and \"" + other->second + "\" share " + key;
    }
    CheckMenu(*menu, top->text(), faults);
  }
  EXPECT_GE(walked, 5);  // File, Edit, Options, View, Help
  EXPECT_TRUE(faults.isEmpty()) << faults.join(u'\n').toStdString();

  // A file name's "&" is shown, not taken for a key; the list is numbered.
  QMenu* recent = Window().findChild<QMenu*>(QStringLiteral("RecentCapturesMenu"));
  ASSERT_NE(recent, nullptr);
  recent->aboutToShow();
  ASSERT_FALSE(recent->actions().isEmpty());
  EXPECT_EQ(recent->actions().first()->text(), QStringLiteral("&1  /tmp/a&&b.pcapng"));
}

}  // namespace
}  // namespace tessaly::test
