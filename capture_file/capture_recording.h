#pragma once

#include "core/packet_framer.h"
#include "capture_file/capture_file_format.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessaly {

class CaptureFileWriter;

// One capture file written while the capture runs, by a thread of its own:
// the caller only queues what happened, so a slow or stalled disk never
// holds up the thread that frames the bytes. The queue reaches the file
// every kFlushInterval and the disk every kSyncInterval, so a kill or a
// power cut loses at most about a second and leaves whole blocks.
//
// Beside the file, while it is open, lies a marker (UnfinishedMarkerOf)
// holding the writing process's id; a clean close removes it. A marker
// whose process is gone tells the next start that the capture was cut off.
//
// A write that fails (a full disk) ends the writing: the file keeps the
// blocks written whole before it, later packets are dropped, and onFailure
// hears the writer's message once, on the writing thread.
class CaptureRecording {
 public:
  static constexpr std::chrono::milliseconds kFlushInterval{100};
  static constexpr std::chrono::milliseconds kSyncInterval{1000};

  // Creates the file (pcapng) and its marker. Throws CaptureFileError.
  CaptureRecording(const std::string& path, std::string application,
                   std::function<void(const std::string& message)> onFailure);
  // Finishes, and waits for the file to be closed.
  ~CaptureRecording();
  CaptureRecording(const CaptureRecording&) = delete;
  CaptureRecording& operator=(const CaptureRecording&) = delete;

  std::uint32_t AddInterface(const CaptureInterface& link);
  void AddPacket(std::uint32_t interfaceId, const std::uint8_t* bytes, int count, const PacketTiming& timing);
  void AddComment(std::string text);
  // Writes what is queued, closes the file and removes its marker, on the
  // writing thread; returns at once.
  void Finish();

  const std::string& Path() const { return path_; }
  std::uint64_t Packets() const { return packets_; }
  bool Failed() const { return failed_; }

 private:
  struct Entry {
    enum class Kind { kInterface, kPacket, kComment } kind;
    // Each kind fills only the fields it uses; the others stay empty.
    std::uint32_t interfaceId = 0;
    std::string data{};  // the packet's bytes, or the comment's text
    PacketTiming timing{};
    CaptureInterface link{};
  };

  void Queue(Entry entry);
  void Run();
  void Write(const std::vector<Entry>& batch);

  std::string path_;
  std::unique_ptr<CaptureFileWriter> writer_;  // the writing thread's alone
  std::function<void(const std::string&)> onFailure_;
  std::uint32_t interfaces_ = 0;
  std::uint64_t packets_ = 0;
  std::atomic<bool> failed_{false};

  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<Entry> queue_;
  bool finishing_ = false;
  std::thread thread_;
};

// "/x/a.pcapng.open": the marker of a capture file still being written.
std::string UnfinishedMarkerOf(const std::string& capturePath);

}  // namespace tessaly
