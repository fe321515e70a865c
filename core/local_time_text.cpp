#include "core/local_time_text.h"

#include <chrono>
#include <cstdlib>

namespace tessaly {
namespace {

constexpr std::int64_t kDayMilliseconds = 24 * 60 * 60 * 1000;

std::int64_t FloorDivide(std::int64_t value, std::int64_t divisor) {
  const std::int64_t quotient = value / divisor;
  return (value % divisor < 0) ? quotient - 1 : quotient;
}

char* WriteDigits(int value, int width, char* out) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return out + width;
}

char* WritePlain(int value, char* out) {
  char digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  while (n > 0) *out++ = digits[--n];
  return out;
}

}  // namespace

char* WriteIsoDateTime(PacketTime time, char* out) {
  const int offsetMs = LocalOffsetMilliseconds(time);
  const std::int64_t local = FloorDivide(time, 1000) + offsetMs;
  const std::int64_t days = FloorDivide(local, kDayMilliseconds);
  const int ofDay = static_cast<int>(local - days * kDayMilliseconds);
  const std::chrono::year_month_day date{std::chrono::sys_days{std::chrono::days{days}}};
  out = WriteDigits(static_cast<int>(date.year()), 4, out);
  *out++ = '-';
  out = WriteDigits(static_cast<int>(static_cast<unsigned>(date.month())), 2, out);
  *out++ = '-';
  out = WriteDigits(static_cast<int>(static_cast<unsigned>(date.day())), 2, out);
  *out++ = 'T';
  out = WriteDigits(ofDay / 3'600'000, 2, out);
  *out++ = ':';
  out = WriteDigits(ofDay / 60'000 % 60, 2, out);
  *out++ = ':';
  out = WriteDigits(ofDay / 1000 % 60, 2, out);
  *out++ = '.';
  out = WriteDigits(ofDay % 1000, 3, out);
  *out++ = offsetMs < 0 ? '-' : '+';
  const int minutes = std::abs(offsetMs) / 60'000;
  out = WriteDigits(minutes / 60, 2, out);
  *out++ = ':';
  return WriteDigits(minutes % 60, 2, out);
}

char* WriteTimeOfDay(PacketTime time, char* out) {
  const int ofDay = LocalMillisecondsOfDay(time);
  out = WritePlain(ofDay / 3'600'000, out);
  *out++ = ':';
  out = WritePlain(ofDay / 60'000 % 60, out);
  *out++ = ':';
  out = WritePlain(ofDay / 1000 % 60, out);
  *out++ = ':';
  return WritePlain(ofDay % 1000, out);
}

}  // namespace tessaly
