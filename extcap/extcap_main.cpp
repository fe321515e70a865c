// tessaly-extcap: Tessaly's capture as a Wireshark interface. Wireshark
// runs it to list the serial ports and a gateway as interfaces, to learn
// their link type and options, and to capture into a FIFO it reads.
#include "extcap/extcap_answers.h"
#include "extcap/extcap_request.h"
#include "links/serial/com_error.h"
#include "recorder/record_options.h"
#include "recorder/recorder.h"
#include "recorder/run_recording.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  using namespace tessaly;
  using namespace tessaly::extcap;
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  std::string error;
  const std::optional<ExtcapRequest> request = ParseExtcapRequest(arguments, error);
  if (!request) {
    std::fprintf(stderr, "tessaly-extcap: %s\n", error.c_str());
    return record::kExitBadArguments;
  }
  switch (request->action) {
    case ExtcapAction::kInterfaces: {
      std::vector<PortEntry> ports;
      try {
        ports = ListPorts(SystemRoots{});
      } catch (const EComPort& failure) {
        // The gateway stays offered; the ports' absence is said.
        std::fprintf(stderr, "tessaly-extcap: %s\n", failure.what());
      }
      std::fputs(InterfacesAnswer(ports).c_str(), stdout);
      return record::kExitStopped;
    }
    case ExtcapAction::kDlts:
      std::fputs(DltsAnswer(request->interface).c_str(), stdout);
      return record::kExitStopped;
    case ExtcapAction::kConfig:
      std::fputs(ConfigAnswer(request->interface).c_str(), stdout);
      return record::kExitStopped;
    case ExtcapAction::kHelp:
      std::fputs(HelpText().c_str(), stdout);
      return record::kExitStopped;
    case ExtcapAction::kVersion:
      std::fputs(VersionAnswer().c_str(), stdout);
      return record::kExitStopped;
    case ExtcapAction::kCapture:
      break;
  }
  const std::optional<std::vector<std::string>> recorderArguments = RecorderArgumentsFor(*request, error);
  const std::optional<record::RecordOptions> options =
      recorderArguments ? record::ParseRecordOptions(*recorderArguments, error) : std::nullopt;
  if (!options) {
    std::fprintf(stderr, "tessaly-extcap: %s\n", error.c_str());
    return record::kExitBadArguments;
  }
  return record::RunRecording(*options, argc, argv);
}
