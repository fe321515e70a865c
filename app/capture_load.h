#pragma once

#include "app/capture_batch.h"
#include "capture_file/capture_packet_stream.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace tessaly {

class CaptureLines;
class PacketLogModel;

// Reading a capture file into the log without stalling the window: the
// first packets are read at once (a file whose header or first blocks are
// bad is refused before the log is touched), the rest on a thread of its
// own and handed to the log in batches on the object's thread. Destroying
// it stops the reading.
class CaptureLoad : public QObject {
  Q_OBJECT

 public:
  // Packets read at once: more than any screen shows.
  static constexpr std::size_t kFirstPackets = 4096;
  // Packets per batch handed to the log, and batches read ahead at most:
  // what the reading keeps in memory stays small whatever the file's size.
  static constexpr std::size_t kBatchPackets = 16384;
  static constexpr std::size_t kBatchesAhead = 4;
  // The window's thread appends for at most this long at a time, so it
  // stays free for painting and input between pieces of a batch.
  static constexpr int kSliceMs = 8;
  static constexpr std::size_t kPiecePackets = 1024;

  // Opens the file and reads its first packets. Throws CaptureFileError
  // when the file cannot be shown.
  explicit CaptureLoad(const QString& path, QObject* parent = nullptr);
  ~CaptureLoad() override;

  const CaptureBatch& FirstPackets() const { return first_; }
  // The first interface, the one the file's first packets came on.
  const std::vector<CapturedInterface>& FirstInterfaces() const { return firstInterfaces_; }

  // Appends the first packets to the log, and hands it the rest as they
  // are read. finished() tells when all is in, or the reading stopped.
  // lines learns the file's interfaces and each row's as they come.
  void Start(PacketLogModel& log, CaptureLines& lines);

 signals:
  // Packets in the log so far, and how much of the file is read (0-100).
  void progress(quint64 packets, int percent);
  // All is read (or stopped at failure, a message naming the file and the
  // fault; empty when there was none).
  void finished(quint64 packets, bool torn, const QString& failure);

 private:
  void Run();
  // On the object's thread: appends the next piece of what was read, or
  // ends, and comes back while there is more.
  void Deliver();
  // From either thread: has Deliver run soon on the object's thread.
  void PostDelivery();
  // Appends packets [first, end) of batch; false when the reading had to
  // stop there (and has said why).
  bool Append(const CaptureBatch& batch, std::size_t first, std::size_t end);
  // Stops reading and reports what is in the log, with why it stopped.
  void Fail(const QString& failure);

  std::unique_ptr<CapturePacketStream> stream_;
  CaptureBatch first_;
  std::vector<CapturedInterface> firstInterfaces_;
  bool endedEarly_ = false;  // the whole file was in the first packets
  PacketLogModel* log_ = nullptr;
  CaptureLines* lines_ = nullptr;
  std::size_t interfacesSeen_ = 0;  // by the batches read
  quint64 packets_ = 0;
  PacketTime lastStamp_ = 0;  // where the file's closing notes go
  std::unique_ptr<CaptureBatch> appending_;  // the batch being appended
  std::size_t appended_ = 0;                 // of its packets
  std::atomic<bool> deliveryPending_{false};
  QTimer deliveryTimer_;
  bool reported_ = false;

  std::mutex mutex_;
  std::condition_variable room_;
  std::deque<std::unique_ptr<CaptureBatch>> ready_;
  bool cancelled_ = false;
  bool done_ = false;
  int percent_ = 0;
  QString failure_;
  std::thread reader_;
};

}  // namespace tessaly
