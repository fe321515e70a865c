// tessaly-record: records a Modbus RTU line with no window, to a capture
// file or as lines on standard output, until it is stopped.
#include "presentation/product.h"
#include "recorder/record_options.h"
#include "recorder/recorder.h"
#include "recorder/run_recording.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  using namespace tessaly::record;
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  std::string error;
  const std::optional<RecordOptions> options = ParseRecordOptions(arguments, error);
  if (!options) {
    std::fprintf(stderr, "tessaly-record: %s\n%s", error.c_str(), kRecordUsage);
    return kExitBadArguments;
  }
  if (options->help) {
    std::fputs(kRecordUsage, stdout);
    return kExitStopped;
  }
  if (options->version) {
    const std::string version = tessaly::kProductVersionText;
    std::printf("tessaly-record %s\n", version.substr(version.rfind(' ') + 1).c_str());
    return kExitStopped;
  }
  return RunRecording(*options, argc, argv);
}
