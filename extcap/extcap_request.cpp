#include "extcap/extcap_request.h"

#include "links/serial/port_names.h"

#include <algorithm>
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
    if (flag == "--help" || flag == "-h") {
      request.action = ExtcapAction::kHelp;
      return request;
    }
    if (flag == "--version") {
      request.action = ExtcapAction::kVersion;
      return request;
    }
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
  const std::vector<std::string>& options = request.captureOptions;
  for (std::size_t i = 0; i < options.size(); ++i) {
    // The gateway's address comes as an option of its interface.
    if (options[i] == "--gateway") {
      arguments.emplace_back("--tcp");
    } else if (options[i] == "--other-baud") {
      // A speed typed in stands for the one chosen from the list.
      if (i + 1 < options.size()) {
        arguments.insert(arguments.end(), {"--baud", options[++i]});
      }
    } else {
      arguments.push_back(options[i]);
    }
  }
  // Said in the words of Wireshark's dialog, where the user gives it.
  const bool hasAddress = std::find(options.begin(), options.end(), "--gateway") != options.end();
  if (name == kGatewayInterface && !hasAddress) {
    error = "the gateway's address is missing: give it in the interface's options in Wireshark "
            "(Gateway, as 10.0.0.5:502)";
    return std::nullopt;
  }
  arguments.insert(arguments.end(), {"-q", "-w", request.fifo});
  return arguments;
}

}  // namespace tessaly::extcap
