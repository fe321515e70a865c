#include "recorder/rotating_capture.h"

#include <cstdio>
#include <ctime>
#include <filesystem>

namespace tessaly::record {

RotatingCapture::RotatingCapture(std::string path, CaptureFileFormat format, Rotation rotation,
                                 std::vector<CaptureInterface> links, std::string application)
    : path_(std::move(path)),
      format_(format),
      rotation_(rotation),
      links_(std::move(links)),
      application_(std::move(application)) {
  OpenNext(Clock::now());
}

void RotatingCapture::AddPacket(std::uint32_t line, const std::uint8_t* bytes, int count,
                                const PacketTiming& timing) {
  writer_->AddPacket(line, bytes, count, timing);
  // The packet that reaches the size stays in its file: a file is never cut
  // inside a packet.
  if (rotation_.maxBytes > 0 && writer_->Size() >= rotation_.maxBytes) OpenNext(Clock::now());
}

void RotatingCapture::AddComment(std::string text) { writer_->AddComment(std::move(text)); }

void RotatingCapture::Tick(Clock::time_point now) {
  if (rotation_.maxAge.count() > 0 && now - openedAt_ >= rotation_.maxAge) OpenNext(now);
  writer_->Flush();
}

void RotatingCapture::Sync() { writer_->Sync(); }

void RotatingCapture::Close() { writer_->Close(); }

void RotatingCapture::OpenNext(Clock::time_point now) {
  if (writer_) writer_->Close();
  ++sequence_;
  const std::string name = rotation_.Rotates() ? NameOfNext() : path_;
  writer_ = std::make_unique<CaptureFileWriter>(name, format_, application_);
  for (const CaptureInterface& link : links_) writer_->AddInterface(link);
  openedAt_ = now;
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
