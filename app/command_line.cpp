#include "app/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace tessaly {
namespace {

// The options QGuiApplication, QApplication and the X11 platform take out of
// the command line themselves; the first group takes a value.
constexpr const char* kQtValueOptions[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qmljsdebugger",
    "qwindowgeometry", "geometry", "qwindowicon", "icon", "qwindowtitle", "title",
    "session", "display", "name", "style", "stylesheet",
};
constexpr const char* kQtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync",
                                          "testability"};

struct Options {
  QCommandLineOption help;
  QCommandLineOption version;
};

Options Describe(QCommandLineParser& parser) {
  // "-reverse" is one of Qt's options, not -r -e -v.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.setApplicationDescription(QStringLiteral(
      "Watches the traffic on a Modbus RTU line, on a serial port or through a\n"
      "serial-to-Ethernet gateway, and logs each packet with its time."));
  Options options{parser.addHelpOption(), parser.addVersionOption()};
  parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("A capture file (pcapng or pcap) to open."),
                               QStringLiteral("[FILE]"));
  for (const char* name : kQtValueOptions) {
    QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
  for (const char* name : kQtFlagOptions) {
    QCommandLineOption option(QString::fromLatin1(name));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
  return options;
}

QString Mistake(const QCommandLineParser& parser, bool parsed) {
  if (!parser.unknownOptionNames().isEmpty()) {
    const QString name = parser.unknownOptionNames().front();
    return QStringLiteral("unknown option '%1%2'")
        .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name);
  }
  if (!parsed) return parser.errorText();
  // One argument: the capture file to open.
  if (parser.positionalArguments().size() > 1) {
    return QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().at(1));
  }
  return {};
}

}  // namespace

QString CommandLineMistake(const QStringList& arguments) {
  QCommandLineParser parser;
  Describe(parser);
  const bool parsed = parser.parse(arguments);
  return Mistake(parser, parsed);
}

std::optional<QString> CaptureFileArgument(const QStringList& arguments) {
  QCommandLineParser parser;
  Describe(parser);
  if (!parser.parse(arguments) || parser.positionalArguments().isEmpty()) return std::nullopt;
  return parser.positionalArguments().front();
}

std::optional<int> AnswerCommandLine(int& argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);

  QCommandLineParser parser;
  const Options options = Describe(parser);
  // Listed by the help text, with Qt's options; process() prints it.
  const QString helpAll = QStringLiteral("help-all");
  const bool parsed = parser.parse(arguments);
  if (parsed && (parser.isSet(options.help) || parser.isSet(options.version) ||
                 parser.isSet(helpAll))) {
    QCoreApplication application(argc, argv);
    if (parser.isSet(options.help)) parser.showHelp(0);
    if (parser.isSet(options.version)) parser.showVersion();
    parser.process(application);
    return 0;
  }
  const QString mistake = Mistake(parser, parsed);
  if (mistake.isEmpty()) return std::nullopt;
  // The usage names the program as it was started.
  const QCoreApplication application(argc, argv);
  std::fprintf(stderr, "%s: %s\n\n%s", qPrintable(QCoreApplication::applicationName().toLower()),
               qPrintable(mistake), qPrintable(parser.helpText()));
  return 2;
}

}  // namespace tessaly
