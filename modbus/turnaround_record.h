#pragma once

#include <cstdint>
#include <map>

namespace tessaly::modbus {

// The turnarounds of one unit's function: smallest, largest, average and
// the 95th percentile. Each turnaround is counted in its tenth of a
// millisecond (the precision the details pane shows), so the memory stays
// bounded by the spread of the turnarounds, not by how many there were.
class TurnaroundRecord {
 public:
  void Add(std::int64_t microseconds);

  std::uint64_t Count() const { return count_; }
  std::int64_t Min() const { return min_; }
  std::int64_t Max() const { return max_; }
  double Average() const;
  // The nearest-rank 95th percentile, to the tenth of a millisecond (in
  // microseconds); 0 while nothing was added.
  std::int64_t Percentile95() const;

 private:
  std::map<std::int64_t, std::uint64_t> tenths_;  // tenth of a millisecond -> turnarounds
  std::uint64_t count_ = 0;
  std::int64_t min_ = 0;
  std::int64_t max_ = 0;
  double sum_ = 0;
};

}  // namespace tessaly::modbus
