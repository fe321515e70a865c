#pragma once

#include "core/packet_cutter.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

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
//
// Everything it keeps lives in two rings allocated once, when it is made:
// one for the bytes, one for the moments of the reads. The thread itself
// never allocates, so memory running out cannot end it, and its memory is
// the same whether a line is read a byte or 64 KiB at a time.
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

  // Bytes kept and not taken yet at most, and reads kept at most: when
  // either ring is full the recorder stops reading, and the kernel's own
  // queue holds what comes, as it would for a reader that has stopped.
  static constexpr std::size_t kDefaultCapacity = 4 * 1024 * 1024;
  static constexpr std::size_t kDefaultReadCapacity = 64 * 1024;

  // Allocates the rings and starts the thread. Throws std::bad_alloc when
  // the rings cannot be had, std::system_error when no thread or wake-up
  // descriptor can be had.
  LineRecorder(int handle, ReadOnce readOnce, std::size_t capacity = kDefaultCapacity,
               std::size_t readCapacity = kDefaultReadCapacity);
  // The same, cutting the line into packets on the thread by these rules:
  // what it keeps are then finished packets, taken with TakePacket, and the
  // thread wakes for a packet's end as well as for bytes (see PacketCutter).
  // The packets' bytes and the running packet's together never exceed
  // capacity, which must hold at least two packets.
  LineRecorder(int handle, ReadOnce readOnce, const PacketCutter::Rules& cutRules,
               std::size_t capacity = kDefaultCapacity, std::size_t readCapacity = kDefaultReadCapacity);
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

  // Cutting into packets: the oldest finished packet, its bytes into place
  // (room for PacketCutter::kCapacity), or nothing when none is finished.
  struct Packet {
    int count = 0;
    Clock::time_point firstByte{};
    Clock::time_point lastByte{};
    Clock::time_point ended{};
  };
  std::optional<Packet> TakePacket(std::uint8_t* place);
  bool CutsPackets() const { return cutting_; }
  // New rules for the cutting; a new interval restarts the wait of a packet
  // waiting for its silence.
  void SetCutRules(const PacketCutter::Rules& rules);
  // Cutting into packets: every packet not taken yet, and every one still
  // to come, has its first byte at or after this moment. How far the line
  // has been read, as the thread that reads it knows.
  Clock::time_point CompleteUntil() const;

  // When the oldest kept read came; nothing when none is kept.
  std::optional<Clock::time_point> NextArrival() const;
  // Bytes kept and not taken yet; cutting into packets, their bytes and
  // their number, so that an empty packet also counts.
  int Kept() const;
  // Bytes read off the descriptor since the start, taken or not.
  std::uint64_t TotalRead() const;
  // The stream's end, once known: its error number (0 for an orderly end).
  std::optional<int> EndError() const;

  // Waits until a read is kept or the stream has ended, or until deadline
  // (none: without limit). True when there is something to take or the end.
  bool WaitForBytes(std::optional<Clock::time_point> deadline) const;

  // Drops every kept byte.
  void Discard();

  // Ends the reading for good: stops the thread, then takes on the caller's
  // thread what the descriptor still holds (as far as the rings have room),
  // so that every byte that came before this call can still be taken. No
  // end of the stream is reported for it: what is kept is taken as before,
  // and then nothing more comes.
  void FinishReading();
  // FinishReading ran.
  bool Finished() const;

 private:
  // The moment of one read, and where its bytes end in the stream of all
  // bytes kept since the recorder started.
  // Cutting into packets, one packet: its first byte's arrival, and its
  // last byte and end.
  struct ReadMark {
    std::uint64_t end = 0;
    Clock::time_point arrivedAt{};
    Clock::time_point lastByte{};
    Clock::time_point ended{};
  };

  LineRecorder(int handle, ReadOnce readOnce, const std::optional<PacketCutter::Rules>& cutRules,
               std::size_t capacity, std::size_t readCapacity);
  void Run();
  void SetWaiting(bool waiting);
  void StopThread();
  // Reads until nothing more is waiting; false once the stream has ended.
  bool Drain(bool hungUp);
  // Room for the next read: free bytes, or 0 when either ring is full.
  std::size_t Room() const;
  void Keep(const std::uint8_t* bytes, std::size_t count, Clock::time_point arrivedAt);
  // With the lock held: the bytes and mark into the rings.
  void KeepLocked(const std::uint8_t* bytes, std::size_t count, const ReadMark& mark);
  // With the lock held: the cutter's finished packets into the rings.
  PacketCutter::Emit KeepPackets();
  // With the lock held: when the cutter must look next, if ever.
  std::optional<Clock::time_point> NextDecision() const;
  void End(int error);
  // With the lock held: the ready descriptor readable exactly while there is
  // something to take.
  void UpdateReady();

  const int handle_;
  const ReadOnce readOnce_;
  const std::size_t capacity_;
  const std::size_t readCapacity_;
  int ready_ = -1;  // eventfd: readable while something can be taken
  int stop_ = -1;   // eventfd: set to end the thread, or to make it look again

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  // The byte ring: kept_ bytes from the stream position taken_ on, the
  // stream position p at bytes_[p % capacity_].
  std::unique_ptr<std::uint8_t[]> bytes_;
  std::uint64_t taken_ = 0;
  std::size_t kept_ = 0;
  // The read ring: markCount_ marks from markFront_ on, oldest first.
  std::unique_ptr<ReadMark[]> marks_;
  std::size_t markFront_ = 0;
  std::size_t markCount_ = 0;
  std::optional<int> endError_;
  // Cutting into packets: the cutter, and when the thread last found the
  // line with nothing more to read.
  const bool cutting_ = false;
  PacketCutter cutter_;
  Clock::time_point lookedAt_{};
  // The thread waits in poll for the line (or for a packet's end).
  bool waiting_ = false;
  bool readySet_ = false;
  bool stopping_ = false;
  bool finished_ = false;

  std::thread thread_;
};

}  // namespace tessaly
