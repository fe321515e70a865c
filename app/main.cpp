// The executable: answers --help and --version on the terminal, otherwise
// runs the program.
#include "app/startup.h"
#include "presentation/product.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QStringList>

namespace {

// "Version 1.5g", as the About box shows it, gives "1.5g".
QString VersionNumber() {
  return QString::fromLatin1(tessaly::kProductVersionText).section(QLatin1Char(' '), -1);
}

// --help and --version print and end the program before a window, and so a
// display, is needed. Any other command line starts the program as usual:
// options this parser does not know (Qt's own -platform, -style, ...) are
// left to the application object.
void AnswerHelpOrVersion(int& argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);

  QCommandLineParser parser;
  // "-reverse" is one of Qt's options, not -r -e -v.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.setApplicationDescription(QStringLiteral(
      "Watches the traffic on a Modbus RTU line, on a serial port or through a\n"
      "serial-to-Ethernet gateway, and logs each packet with its time."));
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
  // Listed by the help text, with Qt's options; process() prints it.
  const QString helpAll = QStringLiteral("help-all");
  (void)parser.parse(arguments);
  if (!parser.isSet(help) && !parser.isSet(version) && !parser.isSet(helpAll)) return;

  QCoreApplication application(argc, argv);
  if (parser.isSet(help)) parser.showHelp(0);
  if (parser.isSet(version)) parser.showVersion();
  parser.process(application);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication::setApplicationName(QString::fromLatin1(tessaly::kProductName));
  QCoreApplication::setApplicationVersion(VersionNumber());
  // Ties the windows to the installed desktop entry (its name without
  // ".desktop"), so desktops show its icon and name for them.
  QGuiApplication::setDesktopFileName(QStringLiteral(TESSALY_DESKTOP_ID));
  AnswerHelpOrVersion(argc, argv);
  return tessaly::RunTessaly(argc, argv);
}
