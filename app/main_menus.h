#pragma once

class QAction;
class QMenu;
class QMenuBar;

namespace tessaly {

// The main window's menu items, built into its menu bar.
struct MainMenus {
  QMenu* file;
  QAction* miOpenCapture;
  QMenu* recentCaptures;  // filled by the window
  QAction* miSaveLog;
  QAction* miExit;
  QMenu* edit;  // the log grid's commands come first
  QAction* miClearLog;
  QMenu* options;  // additions go after the specified items
  QAction* miModbusASCII;
  QAction* miModbusRTU;
  QAction* miModbusTCP;
  QAction* miSerial;
  QAction* miTCP;
  QAction* miStartStop;
  QAction* miComunication;
  QAction* miIPSet;
  QAction* miAbout;
};

// Builds "&File" (with "Open capture…" on Ctrl+O and "Recent captures"), "&Edit", "&Options" (with the packet-type and transport
// submenus and the Start/Stop command on F5) and "&Help". Radio items tick
// themselves when chosen; choosing the ticked one unticks it and ticks nothing
// else. Alt+X anywhere in the window chooses Exit, as its caption promises.
MainMenus BuildMainMenus(QMenuBar& menuBar);

}  // namespace tessaly
