// The serial device on Linux: a tty opened non-blocking and exclusively,
// drained by a recorder thread; the read timeouts are applied here to the
// moments the recorder saw the bytes come, rather than by the kernel, whose
// VTIME has only tenths of a second.
#include "links/serial/com_device.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <system_error>

#include "links/serial/com_error.h"
#include "links/serial/line_config_linux.h"

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

}  // namespace

TStopSignal::TStopSignal() : handle_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (handle_ < 0) throw EComPort(kComOpenFailed, errno);
}

TStopSignal::~TStopSignal() { ::close(handle_); }

void TStopSignal::Set() noexcept {
  const std::uint64_t one = 1;
  // Can only fail when the counter is full, and then it is set already.
  (void)!::write(handle_, &one, sizeof one);
}

TComDevice::~TComDevice() { Close(); }

void TComDevice::Open(const std::string& path) {
  Close();
  const int handle = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (handle < 0) throw EComPort(kComOpenFailed, errno);
  // The lock first: it keeps out every program that asks for it, root
  // included, and only once it is ours may TIOCEXCL (which root ignores, and
  // which stays on the tty until we clear it) be set.
  if (flock(handle, LOCK_EX | LOCK_NB) != 0) {
    // flock says EWOULDBLOCK; a port in use is reported as the busy device
    // it is, the same number open() gives under another's TIOCEXCL.
    const int error = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(handle);
    throw EComPort(kComOpenFailed, error);
  }
  if (ioctl(handle, TIOCEXCL) != 0) {  // ENOTTY: not a terminal device at all
    const int error = errno;
    ::close(handle);
    throw EComPort(kComOpenFailed, error);
  }
  handle_ = handle;
  StartRecorder();
}

void TComDevice::Adopt(int handle) {
  Close();
  handle_ = handle;
  StartRecorder();
}

void TComDevice::StartRecorder() {
  try {
    recorder_ = std::make_unique<LineRecorder>(handle_, ReadTty);
  } catch (const std::system_error& failure) {
    ::close(handle_);
    handle_ = -1;
    throw EComPort(kComOpenFailed, failure.code().value());
  }
}

void TComDevice::Close() noexcept {
  if (handle_ < 0) return;
  // The recorder reads the descriptor until it is gone.
  recorder_.reset();
  (void)ioctl(handle_, TIOCNXCL);
  ::close(handle_);  // also releases the lock
  handle_ = -1;
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
    lastArrival_ = {first, std::max(quietFrom, first)};
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
    if (returnAtOnce) return received > 0 ? delivered(lastByte) : 0;

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
  if (ioctl(handle_, FIONREAD, &queued) != 0) throw EComPort(kComClearErrorFailed, errno);
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

TWaitResult TComDevice::WaitForEvent(const TStopSignal& stop, bool forInput, int timeoutMs) const {
  // For input, the recorder's descriptor, readable while it keeps bytes or
  // once the device has ended; otherwise the device itself, which reports a
  // hang-up even when no event is asked for.
  const int watchedHandle = forInput && recorder_ != nullptr ? recorder_->ReadyHandle() : handle_;
  pollfd watched[2] = {{stop.Handle(), POLLIN, 0}, {watchedHandle, static_cast<short>(forInput ? POLLIN : 0), 0}};
  TWaitResult result;
  while (::poll(watched, 2, timeoutMs) < 0) {
    if (errno == EINTR) continue;
    result.gone = true;
    result.platformCode = errno;
    return result;
  }
  result.stopped = watched[0].revents != 0;
  if (recorder_ != nullptr) {
    result.readable = forInput && recorder_->Kept() > 0;
    if (const std::optional<int> error = recorder_->EndError()) {
      result.gone = true;
      result.platformCode = *error != 0 ? *error : EIO;
      return result;
    }
  }
  if ((watched[1].revents & POLLNVAL) != 0) {
    result.gone = true;
    result.platformCode = EBADF;
  } else if ((watched[1].revents & (POLLHUP | POLLERR)) != 0) {
    result.gone = true;
    result.platformCode = EIO;
  }
  return result;
}

}  // namespace tessaly
