#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace tessaly::record {

// What the recorder has seen so far, for the status line.
struct RecordCounts {
  std::uint64_t rows = 0;
  std::uint64_t bytes = 0;
  std::uint64_t badFrames = 0;  // packets that are no good frame: a bad CRC, too short
  // Packets of two lines placed after later ones of the other line (a
  // line's reader held up for longer than the merge waits).
  std::uint64_t outOfOrder = 0;
};

// The one line on a terminal's standard error that tells a recorder is
// alive: "1234 rows, 9876 bytes, 2 bad frames, 20.0 rows/s", redrawn in
// place once a second, with ", 3 out of order" once rows of two lines had
// to be placed out of order. The rate is over the last redraw's second.
class StatusLine {
 public:
  using Clock = std::chrono::steady_clock;

  // The text to write for the counts now; empty when less than a second
  // passed since the last.
  std::string Redraw(const RecordCounts& counts, Clock::time_point now);
  // Clears the line so that other output starts at its left; empty when
  // nothing is shown.
  std::string Clear() const;
  // Leaves the last line standing, for the end of the run.
  std::string Finish(const RecordCounts& counts, Clock::time_point now);

 private:
  std::string Text(const RecordCounts& counts, Clock::time_point now);

  bool shown_ = false;
  Clock::time_point last_{};
  std::uint64_t lastRows_ = 0;
  double rate_ = 0;
};

}  // namespace tessaly::record
