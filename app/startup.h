#pragma once

namespace tessaly {

// The program: builds the link holder, the main window and the dialogs in
// that order, runs the event loop until the main window closes, and takes
// them down in reverse order. Returns the exit code.
int RunTessaly(int& argc, char** argv);

}  // namespace tessaly
