// The executable: answers --help, --version and a wrong command line on the
// terminal, otherwise runs the program.
#include "app/command_line.h"
#include "app/startup.h"
#include "presentation/product.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <csignal>
#include <optional>

namespace {

// "Version 1.5g", as the About box shows it, gives "1.5g".
QString VersionNumber() {
  return QString::fromLatin1(tessaly::kProductVersionText).section(QLatin1Char(' '), -1);
}

}  // namespace

int main(int argc, char** argv) {
  // A capture file or the log's file grown past the user's size limit
  // (ulimit -f) is a write that fails with EFBIG, reported as a full disk
  // is, rather than a kill that loses the capture.
  std::signal(SIGXFSZ, SIG_IGN);
  QCoreApplication::setApplicationName(QString::fromLatin1(tessaly::kProductName));
  QCoreApplication::setApplicationVersion(VersionNumber());
  // Ties the windows to the installed desktop entry (its name without
  // ".desktop"), so desktops show its icon and name for them.
  QGuiApplication::setDesktopFileName(QStringLiteral(TESSALY_DESKTOP_ID));
  if (const std::optional<int> exitCode = tessaly::AnswerCommandLine(argc, argv)) return *exitCode;
  return tessaly::RunTessaly(argc, argv);
}
