#pragma once

#include "log/log_marks.h"
#include "modbus/row_filter.h"
#include "log/packet_store.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace tessaly {

// Looks for the log rows a filter lets through on a thread of its own, a
// piece at a time, so that filtering millions of rows never holds the window
// up. Each piece's rows are handed, in order, to the receiver's thread.
//
// Destroying the scan stops it: a piece already on its way is dropped.
class FilterScan {
 public:
  static constexpr int kPieceRows = 64 * 1024;

  // rows: the log rows found in a piece; scannedTo: every row before it has
  // been looked at. Called on the receiver's thread.
  using Found = std::function<void(std::vector<int> rows, int scannedTo)>;

  // Rows from to end (not included) of the snapshot; marks are the log's
  // notes, which no filter lets through.
  FilterScan(PacketStore::Snapshot snapshot, modbus::RowFilter filter, int from, int end,
             QObject& receiver, Found found, LogMarks marks = {});
  ~FilterScan();
  FilterScan(const FilterScan&) = delete;
  FilterScan& operator=(const FilterScan&) = delete;

  void Start();
  int End() const { return end_; }
  // The scan stopped at a row that cannot be judged yet (a request that
  // waits for its answer): the rows from there are judged as more come.
  bool StoppedEarly() const { return stoppedEarly_; }

 private:
  void Run();

  const PacketStore::Snapshot snapshot_;
  const LogMarks marks_;
  const modbus::RowFilter filter_;
  const int from_;
  const int end_;
  QObject& receiver_;
  const Found found_;
  // Pieces on their way hold it weakly: gone with the scan, they are dropped.
  const std::shared_ptr<int> alive_ = std::make_shared<int>();
  std::atomic<bool> cancel_ = false;
  std::atomic<bool> stoppedEarly_ = false;
  std::thread thread_;
};

}  // namespace tessaly
