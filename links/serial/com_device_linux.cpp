// The serial device on Linux: a tty opened non-blocking and exclusively,
// read with poll so that the read timeouts are measured here rather than by
// the kernel, whose VTIME has only tenths of a second.
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
#include <optional>

#include "links/serial/com_error.h"
#include "links/serial/line_config_linux.h"

namespace tessaly {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

bool HasNoModemLines(int error) { return error == ENOTTY || error == EINVAL; }

// The wait for ppoll, to the nanosecond: a silence is timed to well under a
// millisecond, which poll's whole milliseconds cannot do.
timespec PollTimeout(Clock::duration remaining) {
  const auto nanoseconds = std::clamp<std::int64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(remaining).count(), 0,
      std::int64_t{24} * 60 * 60 * 1'000'000'000);
  return {static_cast<time_t>(nanoseconds / 1'000'000'000), static_cast<long>(nanoseconds % 1'000'000'000)};
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
}

void TComDevice::Adopt(int handle) noexcept {
  Close();
  handle_ = handle;
}

void TComDevice::Close() noexcept {
  if (handle_ < 0) return;
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
  if (count <= 0) return 0;
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  const TReadTimeouts limits = timeouts_;
  const bool returnAtOnce =
      limits.readInterval == -1 && limits.readTotalMultiplier == 0 && limits.readTotalConstant == 0;
  const std::int64_t totalMs =
      std::int64_t{limits.readTotalMultiplier} * count + std::int64_t{limits.readTotalConstant};
  const Clock::time_point start = Clock::now();
  Clock::time_point lastByte = start;
  int received = 0;
  bool hungUp = false;
  bool waited = false;
  // When bytes came, for the port's reader: on every way out that delivers
  // some, the first byte's arrival and the moment the line counted as quiet
  // (lastByte, or, when the silence rule ended the read, the moment that
  // silence was long enough).
  Clock::time_point first = start;
  auto delivered = [&](Clock::time_point quietFrom) {
    lastArrival_ = {first, std::max(quietFrom, first)};
    return received;
  };
  // An event thread only notices input between reads (it waits for the
  // hand-over that runs them), so a notice since the last read ended is the
  // arrival of the bytes found queued now.
  struct NoteReturn {
    Clock::time_point& at;
    ~NoteReturn() { at = Clock::now(); }
  } noteReturn{lastReturn_};

  for (;;) {
    const ssize_t got = ::read(handle_, bytes + received, static_cast<std::size_t>(count - received));
    if (got > 0) {
      lastByte = Clock::now();
      if (received == 0) {
        // Bytes queued before the read began came when the event thread saw
        // them, not when this thread got round to reading them: the silence
        // after them runs from then.
        const Clock::time_point noticed{Clock::duration(inputNoticed_.load())};
        if (!waited && noticed > lastReturn_ && noticed <= start) lastByte = noticed;
        first = lastByte;
      }
      received += static_cast<int>(got);
      if (received == count) return delivered(lastByte);
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno != EAGAIN) {
      // Bytes already taken from the device are handed out first; the
      // failure shows again on the next read.
      if (received > 0) return delivered(lastByte);
      throw EComPort(kComReadFailed, errno);
    }
    // Nothing waiting (a raw tty with VMIN = 0 reads 0 then).
    if (hungUp) {
      if (received > 0) return delivered(lastByte);
      throw EComPort(kComReadFailed, EIO);
    }
    if (returnAtOnce) return received > 0 ? delivered(lastByte) : 0;

    const Clock::time_point now = Clock::now();
    std::optional<Clock::duration> wait;
    if (totalMs > 0) {
      const Clock::duration left = start + milliseconds(totalMs) - now;
      if (left <= Clock::duration::zero()) return received > 0 ? delivered(lastByte) : 0;
      wait = left;
    }
    if (limits.readInterval > 0 && received > 0) {
      // Ends once MORE than readInterval ms passed since the last byte.
      const Clock::duration quiet = now - lastByte;
      if (quiet > milliseconds(limits.readInterval)) return delivered(lastByte + milliseconds(limits.readInterval));
      const Clock::duration left = milliseconds(limits.readInterval) - quiet + std::chrono::microseconds(1);
      wait = wait ? std::min(*wait, left) : left;
    }

    pollfd device{handle_, POLLIN, 0};
    const timespec timeout = wait ? PollTimeout(*wait) : timespec{};
    waited = true;
    if (::ppoll(&device, 1, wait ? &timeout : nullptr, nullptr) < 0) {
      if (errno == EINTR) continue;
      if (received > 0) return delivered(lastByte);
      throw EComPort(kComReadFailed, errno);
    }
    if ((device.revents & POLLNVAL) != 0) {
      if (received > 0) return delivered(lastByte);
      throw EComPort(kComReadFailed, EBADF);
    }
    // A hung-up tty may still hold bytes: read them, then report.
    if ((device.revents & (POLLHUP | POLLERR)) != 0) hungUp = true;
  }
}

int TComDevice::PendingInput() const {
  int queued = 0;
  if (ioctl(handle_, FIONREAD, &queued) != 0) throw EComPort(kComClearErrorFailed, errno);
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

void TComDevice::DiscardQueues() noexcept { (void)ioctl(handle_, TCFLSH, TCIOFLUSH); }

TWaitResult TComDevice::WaitForEvent(const TStopSignal& stop, bool forInput, int timeoutMs) const {
  pollfd watched[2] = {{stop.Handle(), POLLIN, 0}, {handle_, static_cast<short>(forInput ? POLLIN : 0), 0}};
  TWaitResult result;
  while (::poll(watched, 2, timeoutMs) < 0) {
    if (errno == EINTR) continue;
    result.gone = true;
    result.platformCode = errno;
    return result;
  }
  result.stopped = watched[0].revents != 0;
  result.readable = (watched[1].revents & POLLIN) != 0;
  if (result.readable) inputNoticed_.store(Clock::now().time_since_epoch().count());
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
