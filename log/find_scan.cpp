#include "log/find_scan.h"

#include "modbus/row_filter.h"

#include <utility>

namespace tessaly {

FindScan::FindScan(SnapshotPackets packets, int from, std::vector<std::uint8_t> sequence,
                   bool forward, QObject& receiver, Found found)
    : packets_(std::move(packets)),
      from_(from),
      sequence_(std::move(sequence)),
      forward_(forward),
      receiver_(receiver),
      found_(std::move(found)) {}

FindScan::~FindScan() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void FindScan::Start() {
  thread_ = std::thread([this] {
    const int row = modbus::FindRow(packets_, from_, sequence_, forward_, &stop_);
    if (stop_) return;
    QMetaObject::invokeMethod(
        &receiver_,
        [alive = std::weak_ptr<int>(alive_), found = found_, row] {
          if (!alive.expired()) found(row);
        },
        Qt::QueuedConnection);
  });
}

}  // namespace tessaly
