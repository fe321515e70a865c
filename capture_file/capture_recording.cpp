#include "capture_file/capture_recording.h"

#include "capture_file/capture_file_writer.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

namespace tessaly {

std::string UnfinishedMarkerOf(const std::string& capturePath) { return capturePath + ".open"; }

namespace {

std::int64_t SteadyNow() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

CaptureRecording::CaptureRecording(const std::string& path, std::string application,
                                   std::function<void(const std::string&)> onFailure,
                                   CaptureFileWriter::Creation creation)
    : path_(path),
      writer_(std::make_unique<CaptureFileWriter>(path, CaptureFileFormat::kPcapng, std::move(application), creation)),
      onFailure_(std::move(onFailure)) {
  // The marker first says "unfinished"; only a clean close takes it away.
  // Its lock says "still being written" for as long as this process lives.
  markerFd_ = ::open(UnfinishedMarkerOf(path_).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (markerFd_ >= 0) (void)::flock(markerFd_, LOCK_EX | LOCK_NB);
  thread_ = std::thread([this] { Run(); });
}

void CaptureRecording::RemoveMarker() {
  std::remove(UnfinishedMarkerOf(path_).c_str());
  if (markerFd_ >= 0) ::close(markerFd_);
  markerFd_ = -1;
}

bool UnfinishedMarkerHeld(const std::string& markerPath) {
  const int fd = ::open(markerPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}

CaptureRecording::~CaptureRecording() {
  Finish();
  if (thread_.joinable()) thread_.join();
  if (markerFd_ >= 0) ::close(markerFd_);
}

void CaptureRecording::Abandon() {
  Finish();
  if (thread_.joinable()) thread_.detach();
}

std::uint32_t CaptureRecording::AddInterface(const CaptureInterface& link) {
  Entry entry{Entry::Kind::kInterface};
  entry.link = std::make_unique<CaptureInterface>(link);
  Queue(std::move(entry));
  return interfaces_++;
}

void CaptureRecording::AddPacket(std::uint32_t interfaceId, const std::uint8_t* bytes, int count,
                                 const PacketTiming& timing) {
  if (failed_ || overflowed_) return;
  Entry entry{Entry::Kind::kPacket, interfaceId};
  if (count > 0) entry.data.assign(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count));
  entry.timing = timing;
  Queue(std::move(entry));
  if (!overflowed_) ++packets_;
}

void CaptureRecording::AddComment(std::string text) {
  Entry entry{Entry::Kind::kComment};
  entry.data = std::move(text);
  Queue(std::move(entry));
}

void CaptureRecording::Finish() {
  {
    std::lock_guard lock(mutex_);
    finishing_ = true;
  }
  wake_.notify_one();
}

std::chrono::milliseconds CaptureRecording::Behind() const {
  const std::int64_t since = behindSince_;
  if (since == 0) return std::chrono::milliseconds(0);
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::nanoseconds(SteadyNow() - since));
}

std::size_t CaptureRecording::CostOf(const Entry& entry) {
  // What the entry holds in memory: itself, and its bytes where they do
  // not fit inside the string.
  std::size_t cost = sizeof(Entry) + (entry.data.size() > 15 ? entry.data.capacity() : 0);
  if (entry.link) cost += sizeof(CaptureInterface) + entry.link->name.size() + entry.link->description.size();
  return cost;
}

void CaptureRecording::Queue(Entry entry) {
  if (failed_ || overflowed_) return;
  const std::size_t cost = CostOf(entry);
  std::lock_guard lock(mutex_);
  if (finishing_) return;
  if (queuedBytes_ + cost > kQueueBoundBytes) {
    // The disk has fallen too far behind: what is queued still goes to the
    // file, nothing more does, and memory stays where it is.
    overflowed_ = true;
    return;
  }
  if (queue_.empty()) {
    queueSince_ = SteadyNow();
    if (behindSince_ == 0) behindSince_ = queueSince_;
  }
  queuedBytes_ += cost;
  queue_.push_back(std::move(entry));
}

void CaptureRecording::Run() {
  auto lastSync = std::chrono::steady_clock::now();
  std::deque<Entry> batch;
  for (;;) {
    bool finishing = false;
    {
      std::unique_lock lock(mutex_);
      wake_.wait_for(lock, kFlushInterval, [this] { return finishing_; });
      batch.swap(queue_);
      queuedBytes_ = 0;
      // While this batch is written, the oldest waiting entry is its first.
      if (!batch.empty()) behindSince_ = queueSince_;
      finishing = finishing_;
    }
    try {
      const std::uint64_t packets = Write(batch);
      batch.clear();
      if (finishing) {
        writer_->Close();
        written_ += packets;
        behindSince_ = 0;
        RemoveMarker();
        done_ = true;
        return;
      }
      writer_->Flush();
      // Counted once it is in the file, not when it was queued: a write
      // that fails takes its batch with it.
      written_ += packets;
      {
        std::lock_guard lock(mutex_);
        behindSince_ = queue_.empty() ? 0 : queueSince_;
      }
      if (std::chrono::steady_clock::now() - lastSync >= kSyncInterval) {
        writer_->Sync();
        lastSync = std::chrono::steady_clock::now();
      }
    } catch (const CaptureFileError& failure) {
      // The writer has cut the file back to its last whole block and keeps
      // it so; the user is told once, and the file counts as finished.
      failed_ = true;
      writer_.reset();
      RemoveMarker();
      behindSince_ = 0;
      if (onFailure_) onFailure_(failure.what());
      done_ = true;
      return;
    }
  }
}

std::uint64_t CaptureRecording::Write(const std::deque<Entry>& batch) {
  std::uint64_t packets = 0;
  for (const Entry& entry : batch) {
    switch (entry.kind) {
      case Entry::Kind::kInterface:
        writer_->AddInterface(*entry.link);
        break;
      case Entry::Kind::kPacket:
        writer_->AddPacket(entry.interfaceId, reinterpret_cast<const std::uint8_t*>(entry.data.data()),
                           static_cast<int>(entry.data.size()), entry.timing);
        ++packets;
        break;
      case Entry::Kind::kComment:
        writer_->AddComment(entry.data);
        break;
    }
  }
  return packets;
}

}  // namespace tessaly
