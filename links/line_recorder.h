#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tessaly {

// Reads one descriptor on a thread of its own the moment bytes come, and
// keeps them, each read with the moment its bytes came, until the owner
// takes them.
//
// Packet framing measures silences between arrivals. When the thread that
// frames is busy (painting, a dialog opening, the other core loaded), bytes
// wait in the kernel, and one late read then returns what came before and
// after a silence together, with nothing left to tell them apart. A thread
// that does nothing but wait and read notes each burst on its own, close to
// the line, so the framer can still see every silence however late it runs.
//
// The descriptor stays the owner's: it must stay open while the recorder
// lives, and is closed by the owner after the recorder is gone.
class LineRecorder {
 public:
  using Clock = std::chrono::steady_clock;

  // What one read of the descriptor gave.
  struct ReadResult {
    int count = 0;        // bytes read; 0 when none were waiting
    bool ended = false;   // nothing more will come
    int endError = 0;     // with ended: the error number, 0 for an orderly end
    // When the bytes came, when the source knows better (the kernel's
    // receive time of a socket); otherwise the moment the read returned.
    std::optional<Clock::time_point> arrivedAt;
  };
  // Reads at most count bytes from handle into place without waiting.
  using ReadOnce = std::function<ReadResult(int handle, std::uint8_t* place, int count)>;

  // Bytes kept and not taken yet, above which the recorder stops reading:
  // the kernel's own queue then holds what comes, as it would for a reader
  // that has stopped reading.
  static constexpr std::size_t kDefaultCapacity = 4 * 1024 * 1024;

  // Starts the thread. Throws std::system_error when no thread or wake-up
  // descriptor can be had.
  LineRecorder(int handle, ReadOnce readOnce, std::size_t capacity = kDefaultCapacity);
  // Stops the thread and waits for its end; kept bytes are dropped.
  ~LineRecorder();
  LineRecorder(const LineRecorder&) = delete;
  LineRecorder& operator=(const LineRecorder&) = delete;

  // Readable while there is something to take: kept bytes, or the end of
  // the stream. For an event loop's notifier or a poll.
  int ReadyHandle() const { return ready_; }

  // The bytes of one read (or the front of it, when place is smaller), and
  // when they came. Reads are never joined: their moments differ.
  struct Piece {
    int count = 0;
    Clock::time_point arrivedAt{};
  };
  Piece Take(std::uint8_t* place, int maxCount);

  // When the oldest kept read came; nothing when none is kept.
  std::optional<Clock::time_point> NextArrival() const;
  // Bytes kept and not taken yet.
  int Kept() const;
  // The stream's end, once known: its error number (0 for an orderly end).
  std::optional<int> EndError() const;

  // Waits until a read is kept or the stream has ended, or until deadline
  // (none: without limit). True when there is something to take or the end.
  bool WaitForBytes(std::optional<Clock::time_point> deadline) const;

  // Drops every kept byte.
  void Discard();

 private:
  struct Burst {
    std::vector<std::uint8_t> bytes;
    std::size_t taken = 0;
    Clock::time_point arrivedAt;
  };

  void Run();
  // Reads until nothing more is waiting; false once the stream has ended.
  bool Drain(bool hungUp);
  void Keep(const std::uint8_t* bytes, int count, Clock::time_point arrivedAt);
  void End(int error);
  // With the lock held: the ready descriptor readable exactly while there is
  // something to take.
  void UpdateReady();

  const int handle_;
  const ReadOnce readOnce_;
  const std::size_t capacity_;
  int ready_ = -1;  // eventfd: readable while something can be taken
  int stop_ = -1;   // eventfd: set to end the thread

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::deque<Burst> bursts_;
  std::size_t kept_ = 0;
  std::optional<int> endError_;
  bool readySet_ = false;
  bool stopping_ = false;

  std::thread thread_;
};

}  // namespace tessaly
