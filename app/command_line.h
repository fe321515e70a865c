#pragma once

#include <QStringList>

#include <optional>

namespace tessaly {

// The command line, read before the application object exists so that
// --help, --version and a wrong command line need no display. Qt's own
// options (-platform, -style, -display, ...) are left to the application
// object; any other option, or a second argument, is a mistake: the usage goes
// to standard error and the program ends with code 2, rather than starting
// as if nothing had been said.
//
// One argument is taken: a capture file to open.
//
// Returns the exit code when the program ends here, or nothing when it is
// to start.
std::optional<int> AnswerCommandLine(int& argc, char** argv);

// What is wrong with the arguments (the program's name first), or the empty
// text when the program may start with them.
QString CommandLineMistake(const QStringList& arguments);

// The capture file the command line names, if any (arguments as the
// application object left them).
std::optional<QString> CaptureFileArgument(const QStringList& arguments);

}  // namespace tessaly
