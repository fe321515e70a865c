#include "capture_file/capture_recording.h"

#include "capture_file/capture_file_writer.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace tessaly {

std::string UnfinishedMarkerOf(const std::string& capturePath) { return capturePath + ".open"; }

CaptureRecording::CaptureRecording(const std::string& path, std::string application,
                                   std::function<void(const std::string&)> onFailure)
    : path_(path),
      writer_(std::make_unique<CaptureFileWriter>(path, CaptureFileFormat::kPcapng, std::move(application),
                                                  CaptureFileWriter::Creation::kNew)),
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
  thread_.join();
  if (markerFd_ >= 0) ::close(markerFd_);
}

std::uint32_t CaptureRecording::AddInterface(const CaptureInterface& link) {
  Entry entry{Entry::Kind::kInterface};
  entry.link = link;
  Queue(std::move(entry));
  return interfaces_++;
}

void CaptureRecording::AddPacket(std::uint32_t interfaceId, const std::uint8_t* bytes, int count,
                                 const PacketTiming& timing) {
  if (failed_) return;
  Entry entry{Entry::Kind::kPacket, interfaceId};
  if (count > 0) entry.data.assign(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count));
  entry.timing = timing;
  Queue(std::move(entry));
  ++packets_;
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

void CaptureRecording::Queue(Entry entry) {
  if (failed_) return;
  std::lock_guard lock(mutex_);
  if (!finishing_) queue_.push_back(std::move(entry));
}

void CaptureRecording::Run() {
  auto lastSync = std::chrono::steady_clock::now();
  std::vector<Entry> batch;
  for (;;) {
    bool finishing = false;
    {
      std::unique_lock lock(mutex_);
      wake_.wait_for(lock, kFlushInterval, [this] { return finishing_; });
      batch.swap(queue_);
      finishing = finishing_;
    }
    try {
      Write(batch);
      batch.clear();
      if (finishing) {
        writer_->Close();
        RemoveMarker();
        return;
      }
      writer_->Flush();
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
      if (onFailure_) onFailure_(failure.what());
      return;
    }
  }
}

void CaptureRecording::Write(const std::vector<Entry>& batch) {
  for (const Entry& entry : batch) {
    switch (entry.kind) {
      case Entry::Kind::kInterface:
        writer_->AddInterface(entry.link);
        break;
      case Entry::Kind::kPacket:
        writer_->AddPacket(entry.interfaceId, reinterpret_cast<const std::uint8_t*>(entry.data.data()),
                           static_cast<int>(entry.data.size()), entry.timing);
        break;
      case Entry::Kind::kComment:
        writer_->AddComment(entry.data);
        break;
    }
  }
}

}  // namespace tessaly
