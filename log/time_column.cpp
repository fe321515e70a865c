#include "log/time_column.h"

#include <cstdio>
#include <cstdlib>

namespace tessaly {
namespace {

QString Seconds(PacketTime microseconds, const char* sign) {
  // Stamps come from the wall clock, which may be set back: a negative
  // offset shows as such rather than wrapping.
  const char* minus = microseconds < 0 ? "-" : sign;
  const long long magnitude = std::llabs(microseconds);
  char text[40];
  std::snprintf(text, sizeof text, "%s%lld.%06lld", minus, magnitude / 1'000'000, magnitude % 1'000'000);
  return QString::fromLatin1(text);
}

}  // namespace

QString FormatTimeOffset(TimeColumn column, PacketTime time, std::optional<PacketTime> previous,
                         PacketTime start) {
  switch (column) {
    case TimeColumn::kSincePrevious:
      return previous ? Seconds(time - *previous, "+") : QString();
    case TimeColumn::kSinceStart:
      return Seconds(time - start, "");
    case TimeColumn::kTimeOfDay:
      break;
  }
  return {};
}

}  // namespace tessaly
