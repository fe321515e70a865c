#include "recorder/rotating_capture.h"

#include <cstdio>
#include <utility>
#include <ctime>
#include <filesystem>

namespace tessaly::record {

RotatingCapture::RotatingCapture(std::string path, CaptureFileFormat format, Rotation rotation,
                                 std::vector<CaptureInterface> links, std::string application, Finished finished)
    : path_(std::move(path)),
      format_(format),
      rotation_(rotation),
      links_(std::move(links)),
      application_(std::move(application)),
      finished_(std::move(finished)) {
  nextCut_ = NextCut(std::chrono::system_clock::now());
  OpenNext(Clock::now());
}

std::chrono::system_clock::time_point RotatingCapture::NextCut(std::chrono::system_clock::time_point wallClock) const {
  if (rotation_.interval.count() <= 0) return std::chrono::system_clock::time_point::max();
  const auto since = std::chrono::duration_cast<std::chrono::seconds>(wallClock.time_since_epoch());
  return std::chrono::system_clock::time_point((since / rotation_.interval + 1) * rotation_.interval);
}

void RotatingCapture::AddPacket(std::uint32_t line, const std::uint8_t* bytes, int count,
                                const PacketTiming& timing) {
  writer_->AddPacket(line, bytes, count, timing);
  // The packet that reaches the size stays in its file: a file is never cut
  // inside a packet.
  if (rotation_.maxBytes > 0 && writer_->Size() >= rotation_.maxBytes) OpenNext(Clock::now());
}

void RotatingCapture::AddComment(std::string text) { writer_->AddComment(std::move(text)); }

void RotatingCapture::Tick(Clock::time_point now, std::chrono::system_clock::time_point wallClock) {
  if (rotation_.maxAge.count() > 0 && now - openedAt_ >= rotation_.maxAge) {
    OpenNext(now);
  } else if (wallClock >= nextCut_) {
    OpenNext(now);
  }
  if (wallClock >= nextCut_) nextCut_ = NextCut(wallClock);
  writer_->Flush();
}

void RotatingCapture::Sync() { writer_->Sync(); }

void RotatingCapture::Close() { CloseCurrent(); }

void RotatingCapture::CloseCurrent() {
  if (!writer_) return;
  writer_->Close();
  if (finished_ && std::exchange(announce_, false)) finished_(writer_->Path());
}

void RotatingCapture::OpenNext(Clock::time_point now) {
  CloseCurrent();
  ++sequence_;
  const std::string name = rotation_.Rotates() ? NameOfNext() : path_;
  writer_ = std::make_unique<CaptureFileWriter>(name, format_, application_);
  for (const CaptureInterface& link : links_) writer_->AddInterface(link);
  openedAt_ = now;
  announce_ = true;
  if (!rotation_.Rotates()) return;
  kept_.push_back(name);
  while (rotation_.keepFiles > 0 && kept_.size() > rotation_.keepFiles) {
    std::error_code ignored;  // a file the user moved away already is no failure
    std::filesystem::remove(kept_.front(), ignored);
    kept_.pop_front();
  }
}

std::string RotatingCapture::NameOfNext() const {
  const std::filesystem::path asked(path_);
  const std::string extension = asked.has_extension() ? asked.extension().string()
                                : format_ == CaptureFileFormat::kPcap ? ".pcap" : ".pcapng";
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char middle[40];
  std::snprintf(middle, sizeof middle, "_%05llu_%04d%02d%02d%02d%02d%02d",
                static_cast<unsigned long long>(sequence_), local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return (asked.parent_path() / asked.stem()).string() + middle + extension;
}

}  // namespace tessaly::record
