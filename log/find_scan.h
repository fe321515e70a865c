#pragma once

#include "log/log_packets.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace tessaly {

// Finds the next (or previous) packet holding a byte sequence, as
// modbus::FindRow does, on a thread of its own, so that a find through
// millions of rows never holds the window up. The row found (-1 for none)
// is handed to the receiver's thread.
//
// Destroying the scan stops it; a result already on its way is dropped.
class FindScan {
 public:
  // Up to this many rows a find is quick enough to run on the window's
  // thread (a few milliseconds at most).
  static constexpr int kDirectRows = 10'000;

  using Found = std::function<void(int row)>;

  FindScan(SnapshotPackets packets, int from, std::vector<std::uint8_t> sequence, bool forward,
           QObject& receiver, Found found);
  ~FindScan();
  FindScan(const FindScan&) = delete;
  FindScan& operator=(const FindScan&) = delete;

  void Start();

 private:
  const SnapshotPackets packets_;
  const int from_;
  const std::vector<std::uint8_t> sequence_;
  const bool forward_;
  QObject& receiver_;
  const Found found_;
  const std::shared_ptr<int> alive_ = std::make_shared<int>();
  std::atomic<bool> stop_ = false;
  std::thread thread_;
};

}  // namespace tessaly
