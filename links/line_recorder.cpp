#include "links/line_recorder.h"

#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace tessaly {
namespace {

int MakeEventDescriptor() {
  const int handle = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (handle < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  return handle;
}

void Raise(int eventHandle) {
  const std::uint64_t one = 1;
  // Fails only when the counter is full, and then it is raised already.
  (void)!::write(eventHandle, &one, sizeof one);
}

void Lower(int eventHandle) {
  std::uint64_t value = 0;
  (void)!::read(eventHandle, &value, sizeof value);
}

// The most one read asks for: a pseudo-terminal or socket rarely holds more
// at once, and a flood is taken in several reads of this size.
constexpr int kReadSize = 64 * 1024;

// A descriptor that polls readable and then reads nothing, again and again,
// would keep this thread spinning; it looks again after this pause instead.
constexpr auto kEmptyReadPause = std::chrono::milliseconds(1);

// Cutting into packets, the marks one read may need at most beyond one per
// full packet of its bytes: the packet it ends, the one it fills, the one
// the next look ends.
constexpr std::size_t kMarksPerRead = 3;

// The scheduler's parameters of a thread, as the sched_setattr call takes
// them (its first, 48-byte form).
struct SchedulingAttributes {
  std::uint32_t size;
  std::uint32_t policy;
  std::uint64_t flags;
  std::int32_t nice;
  std::uint32_t priority;
  std::uint64_t runtime;
  std::uint64_t deadline;
  std::uint64_t period;
};

// The moment a burst is noted is the moment this thread runs after it came.
// Among busy threads the scheduler may let a woken thread wait for up to a
// few milliseconds, longer than the silences being measured; a thread that
// asks for a short time slice is let run at once instead (Linux 6.12 and
// later; earlier kernels take the call and change nothing). No privilege is
// needed and the thread's share of the processor stays the same; where the
// call is refused, the thread simply runs as an ordinary one.
void AskForPromptWakeUps() {
#ifdef SYS_sched_setattr
  SchedulingAttributes attributes{};
  attributes.size = sizeof attributes;
  attributes.policy = SCHED_OTHER;
  errno = 0;
  const int nice = getpriority(PRIO_PROCESS, 0);
  attributes.nice = errno == 0 ? nice : 0;
  attributes.runtime = 100'000;  // ns: the shortest slice the scheduler grants
  (void)syscall(SYS_sched_setattr, 0, &attributes, 0);
#endif
}

}  // namespace

LineRecorder::LineRecorder(int handle, ReadOnce readOnce, std::size_t capacity, std::size_t readCapacity)
    : LineRecorder(handle, std::move(readOnce), std::nullopt, capacity, readCapacity) {}

LineRecorder::LineRecorder(int handle, ReadOnce readOnce, const PacketCutter::Rules& cutRules,
                           std::size_t capacity, std::size_t readCapacity)
    : LineRecorder(handle, std::move(readOnce), std::optional(cutRules), capacity, readCapacity) {}

LineRecorder::LineRecorder(int handle, ReadOnce readOnce, const std::optional<PacketCutter::Rules>& cutRules,
                           std::size_t capacity, std::size_t readCapacity)
    : handle_(handle),
      readOnce_(std::move(readOnce)),
      // Cutting, a full packet must always fit beside a read's bytes.
      capacity_(std::max<std::size_t>(capacity, cutRules ? 2 * PacketCutter::kCapacity : 1)),
      readCapacity_(std::max<std::size_t>(readCapacity, cutRules ? kMarksPerRead + 1 : 1)),
      // Both rings now, on the owner's thread: a failure is the owner's to
      // report, and the recording thread never needs memory of its own.
      bytes_(new std::uint8_t[capacity_]),
      marks_(new ReadMark[readCapacity_]),
      cutting_(cutRules.has_value()),
      cutter_(cutRules.value_or(PacketCutter::Rules())),
      lookedAt_(Clock::now()) {
  ready_ = MakeEventDescriptor();
  try {
    stop_ = MakeEventDescriptor();
    thread_ = std::thread([this] { Run(); });
  } catch (...) {
    if (stop_ >= 0) ::close(stop_);
    ::close(ready_);
    throw;
  }
}

LineRecorder::~LineRecorder() {
  StopThread();
  ::close(stop_);
  ::close(ready_);
}

void LineRecorder::StopThread() {
  if (!thread_.joinable()) return;
  {
    std::scoped_lock lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  Raise(stop_);
  thread_.join();
}

void LineRecorder::Run() {
  AskForPromptWakeUps();
  try {
    for (;;) {
      {
        // Full rings wait for the owner to take some; the kernel's queue
        // holds what comes meanwhile.
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return stopping_ || Room() > 0; });
        if (stopping_) return;
      }
      // Cutting, the poll ends no later than the moment a packet may end.
      std::optional<Clock::time_point> decision;
      if (cutting_) {
        std::scoped_lock lock(mutex_);
        decision = NextDecision();
      }
      timespec wait{};
      if (decision) {
        const auto left = std::max(*decision - Clock::now(), Clock::duration::zero());
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
        wait.tv_sec = static_cast<time_t>(seconds.count());
        wait.tv_nsec = static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds).count());
      }
      std::array<pollfd, 2> watched{{{stop_, POLLIN, 0}, {handle_, POLLIN, 0}}};
      SetWaiting(true);
      const int polled = ::ppoll(watched.data(), watched.size(), decision ? &wait : nullptr, nullptr);
      const int pollError = errno;
      SetWaiting(false);
      if (polled < 0) {
        if (pollError == EINTR) continue;
        End(pollError);
        return;
      }
      // Whatever came before this moment is read below, before the cutter
      // is told the time.
      const Clock::time_point lookedAt = Clock::now();
      if (watched[0].revents != 0) {
        Lower(stop_);
        std::scoped_lock lock(mutex_);
        if (stopping_) return;
      }
      const short events = watched[1].revents;
      if ((events & POLLNVAL) != 0) {
        End(EBADF);
        return;
      }
      if (events != 0 && !Drain((events & (POLLHUP | POLLERR)) != 0)) return;
      if (cutting_) {
        {
          std::scoped_lock lock(mutex_);
          if (events == 0) lookedAt_ = std::max(lookedAt_, lookedAt);
          cutter_.Advance(lookedAt, KeepPackets());
          UpdateReady();
        }
        changed_.notify_all();
      }
    }
  } catch (...) {
    // Nothing here allocates, but should anything still fail, the stream
    // ends as a failed line does, with what was kept still to be taken,
    // rather than taking the whole program down.
    End(ENOMEM);
  }
}

std::size_t LineRecorder::Room() const {
  if (!cutting_) return markCount_ < readCapacity_ ? capacity_ - kept_ : 0;
  // The bytes kept and the running packet's never exceed the capacity, so
  // whatever the cutter finishes fits; and the marks for every packet a
  // read can finish must be free.
  const std::size_t freeMarks = readCapacity_ - markCount_;
  if (freeMarks <= kMarksPerRead) return 0;
  const std::size_t held = kept_ + static_cast<std::size_t>(cutter_.Count());
  const std::size_t freeBytes = capacity_ > held ? capacity_ - held : 0;
  return std::min(freeBytes, (freeMarks - kMarksPerRead) * PacketCutter::kCapacity);
}

bool LineRecorder::Drain(bool hungUp) {
  std::array<std::uint8_t, kReadSize> place;
  bool first = true;
  for (;;) {
    std::size_t room = 0;
    {
      std::scoped_lock lock(mutex_);
      room = std::min<std::size_t>(Room(), kReadSize);
    }
    // Full: what is left waits in the kernel until the owner takes some.
    if (room == 0) return true;
    const Clock::time_point asked = Clock::now();
    const ReadResult result = readOnce_(handle_, place.data(), static_cast<int>(room));
    if (result.count > 0) {
      const auto count = std::min(static_cast<std::size_t>(result.count), room);
      const Clock::time_point arrivedAt = result.arrivedAt.value_or(Clock::now());
      if (cutting_) {
        {
          std::scoped_lock lock(mutex_);
          cutter_.Feed(place.data(), static_cast<int>(count), arrivedAt, KeepPackets());
          // A short read took everything: what comes later is stamped later.
          if (count < room) lookedAt_ = std::max(lookedAt_, asked);
          UpdateReady();
        }
        changed_.notify_all();
      } else {
        Keep(place.data(), count, arrivedAt);
      }
      first = false;
      // A short read took everything waiting; a full one may have left more.
      if (count < room) return true;
      continue;
    }
    if (result.ended) {
      End(result.endError);
      return false;
    }
    // Nothing was waiting. After a hang-up nothing more will come: the
    // bytes that were still queued have all been read.
    if (cutting_) {
      std::scoped_lock lock(mutex_);
      lookedAt_ = std::max(lookedAt_, asked);
    }
    if (hungUp) {
      End(EIO);
      return false;
    }
    if (first) std::this_thread::sleep_for(kEmptyReadPause);
    return true;
  }
}

void LineRecorder::Keep(const std::uint8_t* bytes, std::size_t count, Clock::time_point arrivedAt) {
  {
    std::scoped_lock lock(mutex_);
    KeepLocked(bytes, count, {0, arrivedAt, arrivedAt, arrivedAt});
    UpdateReady();
  }
  changed_.notify_all();
}

void LineRecorder::KeepLocked(const std::uint8_t* bytes, std::size_t count, const ReadMark& mark) {
  // Copied in at most two pieces: up to the ring's end, then from its start.
  const std::uint64_t end = taken_ + kept_;
  const std::size_t at = static_cast<std::size_t>(end % capacity_);
  const std::size_t head = std::min(count, capacity_ - at);
  std::memcpy(bytes_.get() + at, bytes, head);
  std::memcpy(bytes_.get(), bytes + head, count - head);
  kept_ += count;
  ReadMark& kept = marks_[(markFront_ + markCount_) % readCapacity_];
  kept = mark;
  kept.end = end + count;
  ++markCount_;
}

PacketCutter::Emit LineRecorder::KeepPackets() {
  return [this](const PacketCutter::Packet& packet) {
    KeepLocked(packet.bytes, static_cast<std::size_t>(packet.count),
               {0, packet.firstByte, packet.lastByte, packet.ended});
  };
}

std::optional<LineRecorder::Clock::time_point> LineRecorder::NextDecision() const {
  return cutter_.NextDecision();
}

std::optional<LineRecorder::Packet> LineRecorder::TakePacket(std::uint8_t* place) {
  bool wasFull = false;
  Packet packet;
  {
    std::scoped_lock lock(mutex_);
    if (markCount_ == 0) return std::nullopt;
    const ReadMark& front = marks_[markFront_];
    const auto count = static_cast<std::size_t>(front.end - taken_);
    const std::size_t at = static_cast<std::size_t>(taken_ % capacity_);
    const std::size_t head = std::min(count, capacity_ - at);
    std::memcpy(place, bytes_.get() + at, head);
    std::memcpy(place + head, bytes_.get(), count - head);
    packet = {static_cast<int>(count), front.arrivedAt, front.lastByte, front.ended};
    wasFull = Room() == 0;
    taken_ += count;
    kept_ -= count;
    markFront_ = (markFront_ + 1) % readCapacity_;
    --markCount_;
    UpdateReady();
  }
  if (wasFull) changed_.notify_all();  // room again for the thread's packets
  return packet;
}

void LineRecorder::SetCutRules(const PacketCutter::Rules& rules) {
  if (!cutting_) return;
  {
    std::scoped_lock lock(mutex_);
    cutter_.SetRules(rules, Clock::now());
  }
  // The thread's wait was measured by the old rules.
  Raise(stop_);
}

void LineRecorder::SetWaiting(bool waiting) {
  std::scoped_lock lock(mutex_);
  waiting_ = waiting;
}

LineRecorder::Clock::time_point LineRecorder::CompleteUntil() const {
  std::scoped_lock lock(mutex_);
  Clock::time_point until = lookedAt_;
  if (waiting_) {
    // The thread waits for the line and cannot leave its wait while the
    // lock is held: with nothing on the line now, whatever comes later is
    // stamped later. Bytes waiting unread (a socket's, stamped by the
    // kernel when they came) leave the line complete only as far as the
    // thread last looked.
    const Clock::time_point now = Clock::now();
    pollfd line{handle_, POLLIN, 0};
    if (::poll(&line, 1, 0) == 0) until = std::max(until, now);
  }
  if (const std::optional<Clock::time_point> running = cutter_.RunningFirstByte()) until = std::min(until, *running);
  if (markCount_ > 0) until = std::min(until, marks_[markFront_].arrivedAt);
  return until;
}

void LineRecorder::End(int error) {
  {
    std::scoped_lock lock(mutex_);
    // Nothing more comes: the running packet ends where its silence would.
    if (cutting_ && !endError_) cutter_.Finish(KeepPackets());
    endError_ = error;
    UpdateReady();
  }
  changed_.notify_all();
}

void LineRecorder::UpdateReady() {
  const bool somethingToTake = kept_ > 0 || markCount_ > 0 || endError_.has_value() || finished_;
  if (somethingToTake == readySet_) return;
  readySet_ = somethingToTake;
  if (somethingToTake) {
    Raise(ready_);
  } else {
    Lower(ready_);
  }
}

LineRecorder::Piece LineRecorder::Take(std::uint8_t* place, int maxCount) {
  Piece piece;
  bool wasFull = false;
  {
    std::scoped_lock lock(mutex_);
    if (markCount_ == 0 || maxCount <= 0) return piece;
    const ReadMark& front = marks_[markFront_];
    const auto count = static_cast<std::size_t>(
        std::min<std::uint64_t>(front.end - taken_, static_cast<std::uint64_t>(maxCount)));
    const std::size_t at = static_cast<std::size_t>(taken_ % capacity_);
    const std::size_t head = std::min(count, capacity_ - at);
    std::memcpy(place, bytes_.get() + at, head);
    std::memcpy(place + head, bytes_.get(), count - head);
    piece = {static_cast<int>(count), front.arrivedAt};
    wasFull = Room() == 0;
    taken_ += count;
    kept_ -= count;
    if (taken_ == front.end) {
      markFront_ = (markFront_ + 1) % readCapacity_;
      --markCount_;
    }
    UpdateReady();
  }
  if (wasFull) changed_.notify_all();  // the thread waits for room
  return piece;
}

std::optional<LineRecorder::Clock::time_point> LineRecorder::NextArrival() const {
  std::scoped_lock lock(mutex_);
  if (markCount_ == 0) return std::nullopt;
  return marks_[markFront_].arrivedAt;
}

int LineRecorder::Kept() const {
  std::scoped_lock lock(mutex_);
  const std::size_t waiting = kept_ + (cutting_ ? markCount_ : 0);
  return static_cast<int>(std::min<std::size_t>(waiting, INT32_MAX));
}

std::uint64_t LineRecorder::TotalRead() const {
  std::scoped_lock lock(mutex_);
  return taken_ + kept_;
}

std::optional<int> LineRecorder::EndError() const {
  std::scoped_lock lock(mutex_);
  return endError_;
}

bool LineRecorder::Finished() const {
  std::scoped_lock lock(mutex_);
  return finished_;
}

bool LineRecorder::WaitForBytes(std::optional<Clock::time_point> deadline) const {
  std::unique_lock lock(mutex_);
  const auto somethingToTake = [this] { return kept_ > 0 || markCount_ > 0 || endError_.has_value() || finished_; };
  if (!deadline) {
    changed_.wait(lock, somethingToTake);
    return true;
  }
  return changed_.wait_until(lock, *deadline, somethingToTake);
}

void LineRecorder::Discard() {
  bool madeRoom = false;
  {
    std::scoped_lock lock(mutex_);
    madeRoom = Room() == 0;
    taken_ += kept_;
    kept_ = 0;
    markFront_ = 0;
    markCount_ = 0;
    cutter_.Reset();
    UpdateReady();
  }
  if (madeRoom) changed_.notify_all();
}

void LineRecorder::FinishReading() {
  StopThread();
  bool ended = false;
  {
    std::scoped_lock lock(mutex_);
    ended = endError_.has_value() || finished_;
  }
  // What reached the kernel before now is read here, with this moment as
  // its arrival; a stream that has ended has nothing more to give.
  if (!ended) {
    try {
      (void)Drain(false);
    } catch (...) {
      // The bytes kept before stay; there is no one to tell but the owner,
      // who takes what is kept next.
    }
  }
  {
    std::scoped_lock lock(mutex_);
    // Nothing more comes: the running packet ends where its silence would.
    if (cutting_) cutter_.Finish(KeepPackets());
    finished_ = true;
    UpdateReady();
  }
  changed_.notify_all();
}

}  // namespace tessaly
