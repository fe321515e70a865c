#include "recorder/status_line.h"

#include <cstdio>

namespace tessaly::record {

std::string StatusLine::Redraw(const RecordCounts& counts, Clock::time_point now) {
  if (shown_ && now - last_ < std::chrono::seconds(1)) return {};
  return Text(counts, now);
}

std::string StatusLine::Clear() const { return shown_ ? "\r\033[K" : ""; }

std::string StatusLine::Finish(const RecordCounts& counts, Clock::time_point now) {
  return Text(counts, now) + "\n";
}

std::string StatusLine::Text(const RecordCounts& counts, Clock::time_point now) {
  if (shown_) {
    const double seconds = std::chrono::duration<double>(now - last_).count();
    if (seconds > 0.2) rate_ = static_cast<double>(counts.rows - lastRows_) / seconds;
  }
  shown_ = true;
  last_ = now;
  lastRows_ = counts.rows;
  char text[160];
  std::snprintf(text, sizeof text, "\r\033[K%llu rows, %llu bytes, %llu bad frames, %.1f rows/s",
                static_cast<unsigned long long>(counts.rows), static_cast<unsigned long long>(counts.bytes),
                static_cast<unsigned long long>(counts.badFrames), rate_);
  std::string line = text;
  if (counts.outOfOrder > 0) line += ", " + std::to_string(counts.outOfOrder) + " out of order";
  return line;
}

}  // namespace tessaly::record
