#include "app/startup.h"

#include "app/command_line.h"

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
  // A file named on the command line is what the user wants to see; else a
  // capture cut off by a crash is offered.
  if (const std::optional<QString> file = CaptureFileArgument(QApplication::arguments())) {
    program.fmMain.OpenCapture(*file);
  } else {
    program.fmMain.OfferUnfinishedCapture();
  }
  return QApplication::exec();
}

}  // namespace tessaly
