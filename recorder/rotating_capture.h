#pragma once

#include "capture_file/capture_file_writer.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tessaly::record {

// When a capture moves on to a new file, and how many files it keeps.
struct Rotation {
  std::uint64_t maxBytes = 0;  // 0: no limit
  std::chrono::seconds maxAge{0};
  // Files cut when the clock reaches a whole multiple of it since the epoch
  // (3600: on the hour), whenever the capture began.
  std::chrono::seconds interval{0};
  std::uint64_t keepFiles = 0;  // 0: all
  bool Rotates() const { return maxBytes > 0 || maxAge.count() > 0 || interval.count() > 0; }
};

// The capture's files: one file, or with rotation a series of them named
// after the one asked for with a number and the time each began,
// "line_00001_20261208120000.pcapng", the oldest removed beyond the ring's
// size. Each file is whole on its own: its own header and the description of
// each line (interface) the capture listens to.
class RotatingCapture {
 public:
  using Clock = std::chrono::steady_clock;

  // Told the name of each file once it is finished (closed whole).
  using Finished = std::function<void(const std::string& path)>;

  // Opens the first file. Throws CaptureFileError.
  RotatingCapture(std::string path, CaptureFileFormat format, Rotation rotation, std::vector<CaptureInterface> links,
                  std::string application, Finished finished = {});

  // A packet of the line (interface) links[line].
  void AddPacket(std::uint32_t line, const std::uint8_t* bytes, int count, const PacketTiming& timing);
  void AddComment(std::string text);
  // Called often (every 100 ms): moves to a new file when the current one
  // is old enough, and hands what collected to the file.
  void Tick(Clock::time_point now, std::chrono::system_clock::time_point wallClock = std::chrono::system_clock::now());
  void Sync();
  void Close();

  const std::string& CurrentPath() const { return writer_->Path(); }
  std::uint64_t FilesStarted() const { return sequence_; }

 private:
  void OpenNext(Clock::time_point now);
  void CloseCurrent();
  // The next whole multiple of the interval after wallClock.
  std::chrono::system_clock::time_point NextCut(std::chrono::system_clock::time_point wallClock) const;
  std::string NameOfNext() const;

  std::string path_;
  CaptureFileFormat format_;
  Rotation rotation_;
  std::vector<CaptureInterface> links_;
  std::string application_;
  std::unique_ptr<CaptureFileWriter> writer_;
  Clock::time_point openedAt_;
  std::chrono::system_clock::time_point nextCut_;
  Finished finished_;
  bool announce_ = false;  // the current file is yet to be told finished
  std::uint64_t sequence_ = 0;
  std::deque<std::string> kept_;
};

}  // namespace tessaly::record
