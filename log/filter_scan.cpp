#include "log/filter_scan.h"

#include "log/log_packets.h"

#include <algorithm>
#include <utility>

namespace tessaly {

FilterScan::FilterScan(PacketStore::Snapshot snapshot, modbus::RowFilter filter, int from, int end,
                       QObject& receiver, Found found, LogMarks marks)
    : snapshot_(std::move(snapshot)),
      marks_(std::move(marks)),
      filter_(std::move(filter)),
      from_(from),
      end_(std::min(end, snapshot_.Size())),
      receiver_(receiver),
      found_(std::move(found)) {}

FilterScan::~FilterScan() {
  cancel_ = true;
  if (thread_.joinable()) thread_.join();
}

void FilterScan::Start() {
  thread_ = std::thread([this] { Run(); });
}

void FilterScan::Run() {
  const SnapshotPackets packets(snapshot_, end_, marks_);
  for (int row = from_; row < end_ && !cancel_ && !stoppedEarly_;) {
    int pieceEnd = std::min(end_, row + kPieceRows);
    std::vector<int> rows;
    for (; row < pieceEnd; ++row) {
      const modbus::RowVerdict verdict = filter_.Judge(packets, row);
      if (verdict == modbus::RowVerdict::kNotYet) {
        stoppedEarly_ = true;
        pieceEnd = row;
        break;
      }
      if (verdict == modbus::RowVerdict::kShown) rows.push_back(row);
    }
    QMetaObject::invokeMethod(
        &receiver_,
        [alive = std::weak_ptr<int>(alive_), found = found_, rows = std::move(rows), pieceEnd]() mutable {
          if (!alive.expired()) found(std::move(rows), pieceEnd);
        },
        Qt::QueuedConnection);
  }
}

}  // namespace tessaly
