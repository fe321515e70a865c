// The serial device on Linux: a tty opened non-blocking and exclusively,
// drained by a recorder thread; the read timeouts are applied here to the
// moments the recorder saw the bytes come, rather than by the kernel, whose
// VTIME has only tenths of a second.
#include "links/serial/com_device.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <system_error>

#include "links/serial/com_error.h"
#include "links/serial/line_config_linux.h"
#include "links/serial/port_holders.h"

namespace tessaly {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

bool HasNoModemLines(int error) { return error == ENOTTY || error == EINVAL; }

// One read of the tty for the recorder. A raw tty with VMIN = 0 reads 0
// when nothing is waiting, as does a non-blocking one with EAGAIN; a
// hung-up or failed device ends the stream with its error number.
LineRecorder::ReadResult ReadTty(int handle, std::uint8_t* place, int count) {
  for (;;) {
    const ssize_t got = ::read(handle, place, static_cast<std::size_t>(count));
    if (got >= 0) return {static_cast<int>(got), false, 0, std::nullopt};
    if (errno == EINTR) continue;
    if (errno == EAGAIN) return {};
    return {0, true, errno, std::nullopt};
  }
}

// The pseudo-terminal multiplexer opens like a terminal, but each opening
// makes a new pseudo-terminal that no program writes to: a capture from it
// would wait for ever.
bool IsPtyMultiplexer(int handle) {
  struct stat status {};
  return fstat(handle, &status) == 0 && S_ISCHR(status.st_mode) && major(status.st_rdev) == 5 &&
         minor(status.st_rdev) == 2;
}

bool ExclusiveFlagSet(int handle) {
  int exclusive = 0;
  return ioctl(handle, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

// Whether a program other than this one has the device open. A
// pseudo-terminal keeps its exclusive flag after the program that set it
// is killed, for as long as its other end stays open: the flag alone would
// keep the port "in use" for good.
bool OpenedByAnother(const std::string& path) {
  std::error_code error;
  const std::filesystem::path device = std::filesystem::canonical(path, error);
  const OpenDevices open("/proc");
  return !open.Holding(error ? path : device.string(), static_cast<int>(::getpid())).empty();
}

}  // namespace

struct TComDevice::FoundSettings {
  std::optional<termios2> line;
  std::optional<bool> lowLatency;
};

TComDevice::TComDevice() = default;

TComDevice::~TComDevice() { Close(); }

void TComDevice::Open(const std::string& path) {
  Close();
  const int handle = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (handle < 0) throw EComPort(kComOpenFailed, errno);
  const auto refuse = [handle](int error) {
    ::close(handle);
    throw EComPort(kComOpenFailed, error);
  };
  if (IsPtyMultiplexer(handle)) refuse(ENOTTY);
  // The lock first: it keeps out every program that asks for it, root
  // included. flock says EWOULDBLOCK; a port in use is reported as the busy
  // device it is, the same number open() gives under another's TIOCEXCL.
  if (flock(handle, LOCK_EX | LOCK_NB) != 0) refuse(errno == EWOULDBLOCK ? EBUSY : errno);
  // Root may open a tty another program holds with TIOCEXCL: the open
  // succeeds, but the port is that program's all the same, as long as that
  // program still has it open.
  if (ExclusiveFlagSet(handle) && OpenedByAnother(path)) refuse(EBUSY);
  if (ioctl(handle, TIOCEXCL) != 0) refuse(errno);  // ENOTTY: not a terminal device at all
  handle_ = handle;
  SaveFoundSettings();
  StartRecorder();
}

void TComDevice::Adopt(int handle) {
  Close();
  handle_ = handle;
  StartRecorder();
}

void TComDevice::StartRecorder() {
  int error = 0;
  try {
    recorder_ = std::make_unique<LineRecorder>(handle_, ReadTty);
    return;
  } catch (const std::system_error& failure) {
    error = failure.code().value();
  } catch (const std::bad_alloc&) {
    error = ENOMEM;
  }
  Close();
  throw EComPort(kComOpenFailed, error);
}

void TComDevice::SaveFoundSettings() {
  // Without memory for it, the port simply keeps what this program sets.
  std::unique_ptr<FoundSettings> found(new (std::nothrow) FoundSettings);
  if (found == nullptr) return;
  termios2 line{};
  if (ioctl(handle_, TCGETS2, &line) == 0) found->line = line;
  serial_struct serial{};
  if (ioctl(handle_, TIOCGSERIAL, &serial) == 0) found->lowLatency = (serial.flags & ASYNC_LOW_LATENCY) != 0;
  found_ = std::move(found);
}

// Puts back what the port had when it was opened, as far as it can still be
// told: another program that uses the port next finds it as it left it.
void TComDevice::RestoreFoundSettings() noexcept {
  const std::unique_ptr<FoundSettings> found = std::move(found_);
  if (found == nullptr) return;
  if (found->line) (void)ioctl(handle_, TCSETS2, &*found->line);
  serial_struct serial{};
  if (found->lowLatency && ioctl(handle_, TIOCGSERIAL, &serial) == 0 &&
      ((serial.flags & ASYNC_LOW_LATENCY) != 0) != *found->lowLatency) {
    serial.flags ^= ASYNC_LOW_LATENCY;
    (void)ioctl(handle_, TIOCSSERIAL, &serial);
  }
}

void TComDevice::Close() noexcept {
  if (handle_ < 0) return;
  // The recorder reads the descriptor until it is gone.
  if (recorder_ != nullptr) bytesFromLine_ += recorder_->TotalRead();
  recorder_.reset();
  RestoreFoundSettings();
  // Set by this program's Open, which refuses a tty another holds so.
  (void)ioctl(handle_, TIOCNXCL);
  ::close(handle_);  // also releases the lock
  handle_ = -1;
}

void TComDevice::FinishReading() {
  if (recorder_ != nullptr) recorder_->FinishReading();
}

// Linux has no queue sizes to ask for: the kernel's buffers are fixed.
void TComDevice::SetQueueSizes(std::int32_t, std::int32_t) {}

void TComDevice::SetLine(const TLineSettings& settings) { ApplyLineSettings(handle_, settings); }

// The kernel is not told: Read applies them itself.
void TComDevice::SetTimeouts(const TReadTimeouts& timeouts) { timeouts_ = timeouts; }

int TComDevice::Read(void* buffer, int count) {
  if (count <= 0 || recorder_ == nullptr) return 0;
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  const TReadTimeouts limits = timeouts_;
  const bool returnAtOnce =
      limits.readInterval == -1 && limits.readTotalMultiplier == 0 && limits.readTotalConstant == 0;
  const std::int64_t totalMs =
      std::int64_t{limits.readTotalMultiplier} * count + std::int64_t{limits.readTotalConstant};
  const Clock::time_point start = Clock::now();
  const std::optional<Clock::time_point> totalEnd =
      totalMs > 0 ? std::optional(start + milliseconds(totalMs)) : std::nullopt;
  const milliseconds interval(limits.readInterval);
  int received = 0;
  Clock::time_point first{};
  Clock::time_point lastByte{};
  // On every way out that delivers bytes: the first byte's arrival and the
  // moment the line counted as quiet (the last byte's, or, when the silence
  // rule ended the read, the moment that silence was long enough).
  auto delivered = [&](Clock::time_point quietFrom) {
    lastArrival_ = {first, std::max(quietFrom, first), lastByte};
    return received;
  };

  for (;;) {
    if (const std::optional<Clock::time_point> next = recorder_->NextArrival()) {
      // Bytes that came after the silence or the total time belong to the
      // next read.
      if (received > 0 && limits.readInterval > 0 && *next - lastByte > interval) {
        return delivered(lastByte + interval);
      }
      if (received > 0 && totalEnd && *next > *totalEnd) return delivered(lastByte);
      const LineRecorder::Piece piece = recorder_->Take(bytes + received, count - received);
      if (received == 0) first = piece.arrivedAt;
      lastByte = std::max(lastByte, piece.arrivedAt);
      received += piece.count;
      if (received == count) return delivered(lastByte);
      continue;
    }
    if (const std::optional<int> error = recorder_->EndError()) {
      // Bytes taken before the device hung up or failed are handed out
      // first; the failure shows on the next read.
      if (received > 0) return delivered(lastByte);
      throw EComPort(kComReadFailed, *error != 0 ? *error : EIO);
    }
    // Reading has finished (the port is closing): what was kept is all.
    if (returnAtOnce || recorder_->Finished()) return received > 0 ? delivered(lastByte) : 0;

    const Clock::time_point now = Clock::now();
    std::optional<Clock::time_point> until = totalEnd;
    if (totalEnd && now >= *totalEnd) return received > 0 ? delivered(lastByte) : 0;
    if (limits.readInterval > 0 && received > 0) {
      // Ends once MORE than readInterval ms passed since the last byte.
      if (now - lastByte > interval) return delivered(lastByte + interval);
      const Clock::time_point quietEnough = lastByte + interval + std::chrono::microseconds(1);
      until = until ? std::min(*until, quietEnough) : quietEnough;
    }
    recorder_->WaitForBytes(until);
  }
}

int TComDevice::PendingInput() const {
  int queued = 0;
  if (ioctl(handle_, FIONREAD, &queued) != 0) {
    // A hung-up tty refuses the question, yet the bytes the recorder kept
    // before it are still to be taken; its end is reported on its own.
    if (recorder_ == nullptr) throw EComPort(kComClearErrorFailed, errno);
    queued = 0;
  }
  // What the recorder keeps, and what it has not read yet.
  if (recorder_ != nullptr) queued += recorder_->Kept();
  return queued;
}

// Linux keeps no error state that must be cleared before input goes on: line
// errors show only in the driver's counters, so there is nothing to take.
TComErrors TComDevice::TakeLineErrors() { return {}; }

TLineSignals TComDevice::LineSignals() const {
  int lines = 0;
  if (ioctl(handle_, TIOCMGET, &lines) != 0) {
    if (HasNoModemLines(errno)) return {};
    throw EComPort(kComModemStatusFailed, errno);
  }
  return {(lines & TIOCM_CTS) != 0, (lines & TIOCM_DSR) != 0, (lines & TIOCM_RI) != 0, (lines & TIOCM_CD) != 0};
}

// Reads and waits never stay pending in the kernel between calls here, so
// there is nothing to abort, and a device that has gone away can still be
// closed.
void TComDevice::AbortPending() {}

void TComDevice::DiscardQueues() noexcept {
  (void)ioctl(handle_, TCFLSH, TCIOFLUSH);
  if (recorder_ != nullptr) recorder_->Discard();
}

}  // namespace tessaly
