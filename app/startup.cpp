#include "app/startup.h"

#include "presentation/error_report.h"
#include "resources/image_list.h"
#include "settings/registry.h"

#include <QApplication>

namespace tessaly {

Program::Program(const std::filesystem::path& storeDirectory)
    : data(storeDirectory),
      restored_((data.DataModuleCreate(), true)),
      fmMain(data),
      fmAboutBox(&fmMain),
      fmComSet(data.ComPort(), fmMain.Framer(), &fmMain),
      fmTCPset(data.Socket(), fmMain.Framer(), &fmMain) {
  fmMain.AttachDialogs(&fmAboutBox, &fmComSet, &fmTCPset);
}

int RunTessaly(int& argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
  QApplication::setWindowIcon(ApplicationIcon());

  Program program(DefaultStoreDirectory());
  program.fmMain.showMaximized();
  return QApplication::exec();
}

}  // namespace tessaly
