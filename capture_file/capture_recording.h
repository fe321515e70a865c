#pragma once

#include "core/packet_framer.h"
#include "capture_file/capture_file_format.h"
#include "capture_file/capture_file_writer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessaly {

// One capture file written while the capture runs, by a thread of its own:
// the caller only queues what happened, so a slow or stalled disk never
// holds up the thread that frames the bytes. The queue reaches the file
// every kFlushInterval and the disk every kSyncInterval, so a kill or a
// power cut loses at most about a second and leaves whole blocks.
//
// The file is made new (never over another, nor through a symbolic link)
// and readable by its owner alone. Beside it, while it is open, lies a
// marker (UnfinishedMarkerOf) that the writing process holds locked; a
// clean close removes it. A marker that nobody holds locked tells the next
// start that the capture was cut off: the lock goes with its process,
// whatever becomes of its process id (a reboot, an id used again).
//
// A write that fails (a full disk) ends the writing: the file keeps the
// blocks written whole before it, later packets are dropped, and onFailure
// hears the writer's message once, on the writing thread. A disk that falls
// so far behind that the queue reaches kQueueBoundBytes ends the recording
// too (Overflowed): what was queued before is still written, nothing after.
// Memory stays bounded whatever the disk does.
class CaptureRecording {
 public:
  static constexpr std::chrono::milliseconds kFlushInterval{100};
  static constexpr std::chrono::milliseconds kSyncInterval{1000};
  static constexpr std::size_t kQueueBoundBytes = 64 * 1024 * 1024;

  // Creates the file (pcapng) and its marker. Throws CaptureFileError.
  CaptureRecording(const std::string& path, std::string application,
                   std::function<void(const std::string& message)> onFailure,
                   CaptureFileWriter::Creation creation = CaptureFileWriter::Creation::kNew);
  // Finishes, and waits for the file to be closed.
  ~CaptureRecording();
  CaptureRecording(const CaptureRecording&) = delete;
  CaptureRecording& operator=(const CaptureRecording&) = delete;

  std::uint32_t AddInterface(const CaptureInterface& link);
  void AddPacket(std::uint32_t interfaceId, const std::uint8_t* bytes, int count, const PacketTiming& timing);
  void AddComment(std::string text);
  // Writes what is queued, closes the file and removes its marker, on the
  // writing thread; returns at once. Done() tells when it has.
  void Finish();
  bool Done() const { return done_; }
  // For a program that ends without waiting: the writing thread goes on
  // alone and the object must never be destroyed (release it). Its marker
  // stays if the process ends first, so the file is offered as cut off.
  void Abandon();

  const std::string& Path() const { return path_; }
  // Packets queued, and packets in the file (written, not just queued).
  std::uint64_t Packets() const { return packets_; }
  std::uint64_t Written() const { return written_; }
  bool Failed() const { return failed_; }
  // The queue reached kQueueBoundBytes: the recording took no more.
  bool Overflowed() const { return overflowed_; }
  // How long the oldest packet not yet in the file has waited for it.
  std::chrono::milliseconds Behind() const;

 private:
  // Compact: an interface's description, rare, lives apart.
  struct Entry {
    enum class Kind : std::uint8_t { kInterface, kPacket, kComment } kind;
    std::uint32_t interfaceId = 0;
    std::string data;  // the packet's bytes, or the comment's text
    PacketTiming timing;
    std::unique_ptr<CaptureInterface> link;
  };
  static std::size_t CostOf(const Entry& entry);

  void Queue(Entry entry);
  void Run();
  // On a clean close or a failure: the file counts as finished.
  void RemoveMarker();
  // Returns how many packets the batch held.
  std::uint64_t Write(const std::deque<Entry>& batch);

  std::string path_;
  int markerFd_ = -1;  // locked while the file is written
  std::unique_ptr<CaptureFileWriter> writer_;  // the writing thread's alone
  std::function<void(const std::string&)> onFailure_;
  std::uint32_t interfaces_ = 0;
  std::uint64_t packets_ = 0;
  std::atomic<std::uint64_t> written_{0};
  std::atomic<bool> failed_{false};
  std::atomic<bool> overflowed_{false};
  std::atomic<bool> done_{false};
  // Steady-clock nanoseconds since the oldest entry not yet written was
  // queued; 0 when everything queued is in the file.
  std::atomic<std::int64_t> behindSince_{0};

  std::mutex mutex_;
  std::condition_variable wake_;
  // A deque: it grows without copying what it holds, so its memory stays
  // near what CostOf counts.
  std::deque<Entry> queue_;
  std::size_t queuedBytes_ = 0;
  std::int64_t queueSince_ = 0;  // when queue_ last became non-empty
  bool finishing_ = false;
  std::thread thread_;
};

// "/x/a.pcapng.open": the marker of a capture file still being written.
std::string UnfinishedMarkerOf(const std::string& capturePath);
// Whether a live process holds the marker at markerPath locked: its
// capture is still being written.
bool UnfinishedMarkerHeld(const std::string& markerPath);

}  // namespace tessaly
