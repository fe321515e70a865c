#include "tools/traffic/traffic_options.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace tessaly::traffic {
namespace {

template <class Number>
bool ParseNumber(std::string_view text, Number low, Number high, Number& out) {
  Number value{};
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (status != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    return false;
  }
  out = value;
  return true;
}

}  // namespace

std::optional<TrafficOptions> ParseTrafficOptions(int argc, const char* const* argv,
                                                  std::string& error) {
  TrafficOptions options;
  if (argc < 1) {
    error = "say serial or tcp";
    return std::nullopt;
  }
  const std::string_view mode = argv[0];
  if (mode == "serial") {
    options.transport = Transport::Serial;
  } else if (mode == "tcp") {
    options.transport = Transport::Tcp;
  } else {
    error = "unknown transport '" + std::string(mode) + "'";
    return std::nullopt;
  }

  for (int i = 1; i < argc; ++i) {
    const std::string_view flag = argv[i];
    if (flag == "--quiet") {
      options.quiet = true;
      continue;
    }
    if (flag == "--floats") {
      options.floats = true;
      continue;
    }
    if (i + 1 >= argc) {
      error = "'" + std::string(flag) + "' needs a value";
      return std::nullopt;
    }
    const std::string_view value = argv[++i];
    bool ok = false;
    unsigned slave = 0;
    if (flag == "--count") {
      ok = ParseNumber<std::uint64_t>(value, 0, UINT64_MAX, options.count);
    } else if (flag == "--gap") {
      ok = ParseNumber(value, 0, 3'600'000, options.gapMs);
    } else if (flag == "--split") {
      ok = ParseNumber(value, 0, 3'600'000, options.splitMs);
    } else if (flag == "--size") {
      ok = ParseNumber<std::size_t>(value, 4, 65'536, options.frameSize);
    } else if (flag == "--slave") {
      ok = ParseNumber(value, 1U, 247U, slave);
      options.slave = static_cast<std::uint8_t>(slave);
    } else if (flag == "--absent" || flag == "--refusing") {
      ok = ParseNumber(value, 1U, 247U, slave);
      (flag == "--absent" ? options.absent : options.refusing) = static_cast<std::uint8_t>(slave);
    } else if (flag == "--corrupt") {
      ok = ParseNumber<std::uint64_t>(value, 1, UINT64_MAX, options.corruptEvery);
    } else if (flag == "--port") {
      ok = ParseNumber<std::uint16_t>(value, 0, 65535, options.tcpPort);
    } else {
      error = "unknown option '" + std::string(flag) + "'";
      return std::nullopt;
    }
    if (!ok) {
      error = "bad value '" + std::string(value) + "' for " + std::string(flag);
      return std::nullopt;
    }
  }
  return options;
}

}  // namespace tessaly::traffic
