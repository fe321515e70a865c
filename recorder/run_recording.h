#pragma once

#include "recorder/record_options.h"

namespace tessaly::record {

// Records as the options say until a signal, an autostop or a failure ends
// it, in an event loop of its own; the exit status. argc and argv are the
// program's, for Qt.
int RunRecording(const RecordOptions& options, int argc, char** argv);

}  // namespace tessaly::record
