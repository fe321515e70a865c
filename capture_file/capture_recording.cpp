#include "capture_file/capture_recording.h"

#include "capture_file/capture_file_writer.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace tessaly {

std::string UnfinishedMarkerOf(const std::string& capturePath) { return capturePath + ".open"; }

CaptureRecording::CaptureRecording(const std::string& path, std::string application,
                                   std::function<void(const std::string&)> onFailure)
    : path_(path),
      writer_(std::make_unique<CaptureFileWriter>(path, CaptureFileFormat::kPcapng, std::move(application))),
      onFailure_(std::move(onFailure)) {
  // The marker first says "unfinished"; only a clean close takes it away.
  std::ofstream(UnfinishedMarkerOf(path_)) << ::getpid() << '\n';
  thread_ = std::thread([this] { Run(); });
}

CaptureRecording::~CaptureRecording() {
  Finish();
  thread_.join();
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
        std::remove(UnfinishedMarkerOf(path_).c_str());
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
      std::remove(UnfinishedMarkerOf(path_).c_str());
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
