// The recording's queue to its writing thread, against a disk that stalls:
// a FIFO that nobody reads takes a pipe's worth and then blocks every write.
#include "capture_file/capture_file_reader.h"
#include "capture_file/capture_recording.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace tessaly {
namespace {

class StalledFifo {
 public:
  StalledFifo() {
    char folder[] = "/tmp/tessaly-fifo-XXXXXX";
    folder_ = ::mkdtemp(folder);
    path_ = folder_ + "/capture.pcapng";
    ::mkfifo(path_.c_str(), 0600);
    // Opened for reading first, so that the writer's open does not wait;
    // then never read until Drain.
    reader_ = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  }
  ~StalledFifo() {
    if (reader_ >= 0) ::close(reader_);
    ::unlink(path_.c_str());
    ::unlink(UnfinishedMarkerOf(path_).c_str());
    ::rmdir(folder_.c_str());
  }
  const std::string& Path() const { return path_; }
  bool Open() const { return reader_ >= 0; }
  // Reads everything the writer sends until it closes its end.
  std::string Drain() {
    std::string bytes;
    char buffer[65536];
    for (;;) {
      pollfd ready{reader_, POLLIN, 0};
      if (::poll(&ready, 1, 10'000) <= 0) break;
      const ssize_t got = ::read(reader_, buffer, sizeof buffer);
      if (got <= 0) break;  // 0: the writer has closed
      bytes.append(buffer, static_cast<std::size_t>(got));
    }
    return bytes;
  }

 private:
  std::string folder_;
  std::string path_;
  int reader_ = -1;
};

TEST(RecordingQueueTest, StalledDisk_QueueBounded_FinishReturnsAtOnce_CountedOnlyOnceWritten) {
  StalledFifo fifo;
  ASSERT_TRUE(fifo.Open());
  std::vector<std::string> failures;
  CaptureRecording recording(fifo.Path(), "test", [&](const std::string& message) { failures.push_back(message); },
                             CaptureFileWriter::Creation::kReplace);
  const std::uint32_t link = recording.AddInterface({"ttyUSB0", "ttyUSB0 9600 8N1", 9600});
  const std::uint8_t bytes[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
  std::uint64_t offered = 0;
  for (; offered < 10'000'000 && !recording.Overflowed(); ++offered) {
    recording.AddPacket(link, bytes, 8, {1, 1, 1});
  }
  ASSERT_TRUE(recording.Overflowed()) << "the queue took ten million packets";
  // Each queued packet costs at least its entry: the bound caps how many.
  EXPECT_LT(recording.Packets(), CaptureRecording::kQueueBoundBytes / 40);
  EXPECT_LT(recording.Written(), recording.Packets()) << "queued is not written";
  recording.AddPacket(link, bytes, 8, {1, 1, 1});
  const std::uint64_t accepted = recording.Packets();
  EXPECT_EQ(recording.Packets(), accepted) << "nothing more after the bound";

  recording.Finish();  // returns at once, the disk still stalled
  EXPECT_FALSE(recording.Done());
  const std::string file = fifo.Drain();
  for (int wait = 0; wait < 1000 && !recording.Done(); ++wait) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(recording.Done());
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(recording.Written(), accepted);
  const CaptureFileContents contents = ParseCaptureFile(file, fifo.Path());
  EXPECT_FALSE(contents.torn);
  EXPECT_EQ(contents.packets.size(), accepted) << "every packet queued before the bound is in the file";
}

}  // namespace
}  // namespace tessaly
