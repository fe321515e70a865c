// The program's command line as a user types it: a wrong one ends with the
// usage and code 2, Qt's own options are let through.
#include "app/command_line.h"

#include <QProcess>

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
                                       QStringList{"/dev/ttyUSB0"}}) {
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
}

}  // namespace
}  // namespace tessaly
