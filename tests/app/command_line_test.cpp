// The programs' command lines as a user types them: a wrong one ends with the
// usage and code 2, Qt's own options are let through, and every option the
// help lists is in the manual page.
#include "app/command_line.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace tessaly {
namespace {

struct Ended {
  int exitCode;
  QString out;
  QString err;
};

Ended RunProgram(const char* program, const QStringList& arguments) {
  QProcess process;
  process.start(QString::fromLatin1(program), arguments);
  EXPECT_TRUE(process.waitForFinished(30'000)) << program;
  return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
          QString::fromLocal8Bit(process.readAllStandardError())};
}

TEST(CommandLine, UnknownOptionOrArgument_UsageOnStandardErrorAndCode2) {
  for (const QStringList& arguments : {QStringList{"--port", "/dev/ttyUSB0"}, QStringList{"-x"},
                                       QStringList{"a.pcapng", "b.pcapng"}}) {
    SCOPED_TRACE(arguments.join(u' ').toStdString());
    const Ended run = RunProgram(TESSALY_PROGRAM, arguments);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains(QStringLiteral("Usage:"))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("--help"))) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
  }
  EXPECT_TRUE(RunProgram(TESSALY_PROGRAM, {"--port", "x"}).err.startsWith("tessaly: unknown option '--port'"));

  const Ended help = RunProgram(TESSALY_PROGRAM, {"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(help.out.contains(QStringLiteral("Usage:")));
}

TEST(CommandLine, QtsOwnOptionsStartTheProgram) {
  const QStringList started[] = {
      {"tessaly"},
      {"tessaly", "-platform", "offscreen", "-style", "fusion", "-reverse"},
      {"tessaly", "-style=fusion", "--stylesheet", "a.qss", "-qwindowtitle", "T", "-display", ":1"},
  };
  for (const QStringList& arguments : started) {
    EXPECT_EQ(CommandLineMistake(arguments), QString()) << arguments.join(u' ').toStdString();
  }
  EXPECT_EQ(CommandLineMistake({"tessaly", "--port", "x"}), "unknown option '--port'");
  EXPECT_EQ(CommandLineMistake({"tessaly", "-style"}), "Missing value after '-style'.");
  // One file to open, and only one.
  EXPECT_EQ(CommandLineMistake({"tessaly", "x.pcapng"}), QString());
  EXPECT_EQ(CaptureFileArgument({"tessaly", "-style", "fusion", "x.pcapng"}), QStringLiteral("x.pcapng"));
  EXPECT_EQ(CaptureFileArgument({"tessaly"}), std::nullopt);
  EXPECT_EQ(CommandLineMistake({"tessaly", "x.pcapng", "y"}), "unexpected argument 'y'");
}

// Every option the help text lists (-h, --help, --count, ...) is in the
// manual page, where roff writes each dash as "\-".
void ExpectHelpInManualPage(const char* program, const QStringList& arguments, const char* page) {
  SCOPED_TRACE(page);
  const Ended help = RunProgram(program, arguments);
  ASSERT_EQ(help.exitCode, 0);
  QFile file(QStringLiteral(TESSALY_MAN_DIR "/") + QLatin1String(page));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString manual = QString::fromUtf8(file.readAll());
  static const QRegularExpression option(QStringLiteral(R"((?:^|[\s\[,])(--?[a-z][a-z-]*))"));
  int options = 0;
  for (const QRegularExpressionMatch& match : option.globalMatch(help.out)) {
    QString roff = match.captured(1);
    roff.replace(u'-', QStringLiteral("\\-"));
    EXPECT_TRUE(manual.contains(roff)) << match.captured(1).toStdString() << " is not in " << page;
    ++options;
  }
  EXPECT_GE(options, 3);
}

// And back: every option the manual page's OPTIONS sections ("OPTIONS",
// "LINK OPTIONS", ...) describe is one the help lists, so a page never
// promises an option the program lost.
void ExpectManualPageOptionsInHelp(const char* program, const char* page) {
  SCOPED_TRACE(page);
  const Ended help = RunProgram(program, {"--help"});
  QFile file(QStringLiteral(TESSALY_MAN_DIR "/") + QLatin1String(page));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString manual = QString::fromUtf8(file.readAll());
  static const QRegularExpression section(QStringLiteral(R"(\n\.SH [A-Z ]*OPTIONS\n(.*?)(?=\n\.SH ))"),
                                          QRegularExpression::DotMatchesEverythingOption);
  QString described;
  for (const QRegularExpressionMatch& match : section.globalMatch(manual)) described += u'\n' + match.captured(1);
  ASSERT_FALSE(described.isEmpty());
  // Each described option opens a ".TP" item: ".BR \\-h \", \" \\-\\-help".
  static const QRegularExpression item(QStringLiteral(R"(\n\.TP\n\.B[IR]? "?((?:\\-)+[a-z][a-z\\-]*))"));
  int options = 0;
  for (const QRegularExpressionMatch& match : item.globalMatch(described)) {
    const QString option = match.captured(1).remove(u'\\');
    EXPECT_TRUE(help.out.contains(option)) << option.toStdString() << " of " << page << " is not in the help";
    ++options;
  }
  EXPECT_GE(options, 3);
}

TEST(ManualPages, EveryOptionOfTheHelpIsDescribed) {
  ExpectHelpInManualPage(TESSALY_PROGRAM, {"--help"}, "tessaly.1");
  ExpectHelpInManualPage(TESSALY_RECORD_PROGRAM, {"--help"}, "tessaly-record.1");
  ExpectHelpInManualPage(TESSALY_TRAFFIC_PROGRAM, {"--help"}, "tessaly-traffic.1");
  ExpectManualPageOptionsInHelp(TESSALY_PROGRAM, "tessaly.1");
  ExpectManualPageOptionsInHelp(TESSALY_RECORD_PROGRAM, "tessaly-record.1");
}

// The window's page describes the program as it is, and leads to the
// recorder's.
TEST(ManualPages, TheWindowsPageCoversWhatTheProgramDoes) {
  QFile file(QStringLiteral(TESSALY_MAN_DIR "/tessaly.1"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString manual = QString::fromUtf8(file.readAll());
  for (const char* told : {"pcapng", "decoded fields", "File > Open capture", "Recent captures", ".I FILE",
                           "Options > Second line", "Reconnect when the link drops", "Options > Preferences",
                           "budget", "After a crash", "read and write access", ".BR tessaly-record (1)"}) {
    EXPECT_TRUE(manual.contains(QLatin1String(told))) << told;
  }
}

}  // namespace
}  // namespace tessaly
