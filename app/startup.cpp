#include "app/startup.h"

#include "presentation/error_report.h"
#include "app/main_window.h"
#include "dialogs/about_dialog.h"
#include "dialogs/serial_settings_dialog.h"
#include "dialogs/tcp_settings_dialog.h"
#include "links/link_holder.h"
#include "resources/image_list.h"
#include "settings/registry.h"

#include <QApplication>

namespace tessaly {

int RunTessaly(int& argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
  QApplication::setWindowIcon(ApplicationIcon());

  Data data(DefaultStoreDirectory());
  data.DataModuleCreate();

  MainWindow fmMain(data);
  AboutDialog fmAboutBox(&fmMain);
  SerialSettingsDialog fmComSet(data.ComPort(), fmMain.Framer(), &fmMain);
  TcpSettingsDialog fmTCPset(data.Socket(), fmMain.Framer(), &fmMain);
  fmMain.AttachDialogs(&fmAboutBox, &fmComSet, &fmTCPset);

  fmMain.showMaximized();
  return QApplication::exec();
}

}  // namespace tessaly
