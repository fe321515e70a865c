#include "extcap/extcap_request.h"

#include "links/serial/port_names.h"

#include <string_view>

namespace tessaly::extcap {
namespace {

// Options whose value is taken and dropped: they ask for nothing this
// program does.
bool IsIgnoredWithValue(std::string_view flag) {
  return flag == "--extcap-capture-filter" || flag == "--debug-file" || flag == "--extcap-reload-option" ||
         flag == "--extcap-version";
}

}  // namespace

std::optional<ExtcapRequest> ParseExtcapRequest(const std::vector<std::string>& arguments, std::string& error) {
  ExtcapRequest request;
  std::optional<ExtcapAction> action;
  const auto ask = [&](ExtcapAction asked) {
    // A capture also names its interface; the questions stand alone.
    if (!action || asked == ExtcapAction::kCapture) action = asked;
  };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view flag = arguments[i];
    if (flag == "--extcap-interfaces") {
      ask(ExtcapAction::kInterfaces);
    } else if (flag == "--extcap-dlts") {
      ask(ExtcapAction::kDlts);
    } else if (flag == "--extcap-config") {
      ask(ExtcapAction::kConfig);
    } else if (flag == "--capture") {
      ask(ExtcapAction::kCapture);
    } else if (flag == "--debug" || flag.starts_with("--extcap-version=")) {
      // Nothing to do differently.
    } else if (flag == "--extcap-interface" || flag == "--fifo" || IsIgnoredWithValue(flag)) {
      if (i + 1 >= arguments.size()) {
        error = "'" + std::string(flag) + "' needs a value";
        return std::nullopt;
      }
      const std::string& value = arguments[++i];
      if (flag == "--extcap-interface") request.interface = value;
      if (flag == "--fifo") request.fifo = value;
    } else {
      request.captureOptions.emplace_back(flag);
    }
  }
  if (!action) {
    error = "say what Wireshark asks: --extcap-interfaces, --extcap-dlts, --extcap-config or --capture";
    return std::nullopt;
  }
  request.action = *action;
  if (request.action != ExtcapAction::kInterfaces && request.interface.empty()) {
    error = "--extcap-interface is needed";
    return std::nullopt;
  }
  if (request.action == ExtcapAction::kCapture && request.fifo.empty()) {
    error = "--capture needs --fifo";
    return std::nullopt;
  }
  return request;
}

std::optional<std::vector<std::string>> RecorderArgumentsFor(const ExtcapRequest& request, std::string& error) {
  std::vector<std::string> arguments;
  const std::string_view name = request.interface;
  if (name.starts_with(kSerialPrefix)) {
    const QString port = QString::fromStdString(std::string(name.substr(std::string_view(kSerialPrefix).size())));
    arguments = {"--serial", DevicePathForPort(port)};
  } else if (name != kGatewayInterface) {
    error = "unknown interface '" + request.interface + "'";
    return std::nullopt;
  }
  for (std::size_t i = 0; i < request.captureOptions.size(); ++i) {
    // The gateway's address comes as an option of its interface.
    if (request.captureOptions[i] == "--gateway") {
      arguments.emplace_back("--tcp");
    } else {
      arguments.push_back(request.captureOptions[i]);
    }
  }
  arguments.insert(arguments.end(), {"-q", "-w", request.fifo});
  return arguments;
}

}  // namespace tessaly::extcap
