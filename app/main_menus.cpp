#include "app/main_menus.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>

namespace tessaly {
namespace {

QAction* AddItem(QMenu& menu, const char* objectName, const char* caption) {
  QAction* item = menu.addAction(QString::fromUtf8(caption));
  item->setObjectName(QLatin1String(objectName));
  item->setMenuRole(QAction::NoRole);
  return item;
}

QAction* AddRadioItem(QMenu& menu, QActionGroup& group, const char* objectName,
                      const char* caption, bool ticked) {
  QAction* item = AddItem(menu, objectName, caption);
  item->setCheckable(true);
  item->setChecked(ticked);
  group.addAction(item);
  return item;
}

// Optional exclusion: ticking one item unticks the others, and choosing the
// ticked item unticks it without ticking another.
QActionGroup* NewRadioGroup(QMenu& owner) {
  auto* group = new QActionGroup(&owner);
  group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  return group;
}

}  // namespace

MainMenus BuildMainMenus(QMenuBar& menuBar) {
  MainMenus items{};

  QMenu* file = menuBar.addMenu(QStringLiteral("&File"));
  items.file = file;
  items.miOpenCapture = AddItem(*file, "miOpenCapture", "&Open capture\u2026");
  items.miOpenCapture->setShortcut(QKeySequence::Open);
  items.recentCaptures = file->addMenu(QStringLiteral("&Recent captures"));
  items.recentCaptures->setObjectName(QStringLiteral("RecentCapturesMenu"));
  items.miSaveLog = AddItem(*file, "miSaveLog", "&Save log as\u2026");
  items.miSaveLog->setShortcut(QKeySequence::Save);
  file->addSeparator();
  // The caption names Alt-X itself; the key is a window shortcut rather than
  // the item's own, which would show it a second time.
  items.miExit = AddItem(*file, "miExit", "E&xit   Alt-X");
  auto* exitKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_X), &menuBar);
  exitKey->setObjectName(QStringLiteral("scExit"));
  QObject::connect(exitKey, &QShortcut::activated, items.miExit, &QAction::trigger);

  items.edit = menuBar.addMenu(QStringLiteral("&Edit"));
  items.edit->setObjectName(QStringLiteral("EditMenu"));
  items.miClearLog = AddItem(*items.edit, "miClearLog", "C&lear log");
  items.miClearLog->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));

  QMenu* options = menuBar.addMenu(QStringLiteral("&Options"));
  items.options = options;
  QMenu* packetType = options->addMenu(QStringLiteral("Modbus packet type"));
  QActionGroup* packetTypes = NewRadioGroup(*packetType);
  items.miModbusASCII = AddRadioItem(*packetType, *packetTypes, "miModbusASCII", "Modbus/ASCII", false);
  items.miModbusRTU = AddRadioItem(*packetType, *packetTypes, "miModbusRTU", "Modbus/RTU", true);
  items.miModbusTCP = AddRadioItem(*packetType, *packetTypes, "miModbusTCP", "Modbus/TCP", false);
  items.miModbusASCII->setEnabled(false);
  items.miModbusTCP->setEnabled(false);

  QMenu* transport = options->addMenu(QStringLiteral("&Transport"));
  QActionGroup* transports = NewRadioGroup(*transport);
  items.miSerial = AddRadioItem(*transport, *transports, "miSerial", "Serial", true);
  items.miTCP = AddRadioItem(*transport, *transports, "miTCP", "TCP/IP ", false);

  items.miStartStop = AddItem(*options, "miStartStop", "Sta&rt / Stop");
  items.miStartStop->setShortcut(QKeySequence(Qt::Key_F5));

  options->addSeparator();
  items.miComunication = AddItem(*options, "miComunication", "&Serial settings");
  items.miIPSet = AddItem(*options, "miIPSet", "TCP/&IP Settings");

  QMenu* help = menuBar.addMenu(QStringLiteral("&Help"));
  items.miAbout = AddItem(*help, "miAbout", "&About");
  return items;
}

}  // namespace tessaly
