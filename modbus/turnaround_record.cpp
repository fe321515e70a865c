#include "modbus/turnaround_record.h"

#include <algorithm>

namespace tessaly::modbus {

void TurnaroundRecord::Add(std::int64_t microseconds) {
  microseconds = std::max<std::int64_t>(0, microseconds);
  min_ = count_ == 0 ? microseconds : std::min(min_, microseconds);
  max_ = count_ == 0 ? microseconds : std::max(max_, microseconds);
  ++count_;
  sum_ += static_cast<double>(microseconds);
  ++tenths_[(microseconds + 50) / 100];
}

double TurnaroundRecord::Average() const {
  return count_ == 0 ? 0.0 : sum_ / static_cast<double>(count_);
}

std::int64_t TurnaroundRecord::Percentile95() const {
  if (count_ == 0) return 0;
  // Nearest rank: the smallest turnaround with at least 95 % at or below it.
  const std::uint64_t rank = (count_ * 95 + 99) / 100;
  std::uint64_t seen = 0;
  for (const auto& [tenth, count] : tenths_) {
    seen += count;
    if (seen >= rank) return tenth * 100;
  }
  return tenths_.rbegin()->first * 100;
}

}  // namespace tessaly::modbus
