#include "core/deadline_timer.h"

#include <QSocketNotifier>

#include <sys/timerfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace tessaly {

// The line clock is the monotonic clock the kernel timer counts on.
static_assert(std::is_same_v<LineClock, std::chrono::steady_clock>);

DeadlineTimer::DeadlineTimer(std::function<void()> expired)
    : expired_(std::move(expired)), handle_(timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)) {
  if (handle_ < 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(handle_, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { Expired(); });
}

DeadlineTimer::~DeadlineTimer() {
  notifier_.reset();
  if (handle_ >= 0) ::close(handle_);
}

void DeadlineTimer::ArmAt(LineTime moment) {
  if (handle_ < 0) return;
  const auto nanoseconds =
      std::chrono::duration_cast<std::chrono::nanoseconds>(moment.time_since_epoch()).count();
  itimerspec when{};
  // A moment of 0 would disarm; the clock's epoch is long past anyway.
  when.it_value.tv_sec = static_cast<time_t>(nanoseconds / 1'000'000'000);
  when.it_value.tv_nsec = static_cast<long>(nanoseconds % 1'000'000'000);
  if (when.it_value.tv_sec == 0 && when.it_value.tv_nsec == 0) when.it_value.tv_nsec = 1;
  (void)timerfd_settime(handle_, TFD_TIMER_ABSTIME, &when, nullptr);
}

void DeadlineTimer::Disarm() {
  if (handle_ < 0) return;
  const itimerspec off{};
  (void)timerfd_settime(handle_, 0, &off, nullptr);
}

void DeadlineTimer::Expired() {
  // Disarmed after the event loop saw it ready: nothing to read, and no
  // expiry to report.
  std::uint64_t expirations = 0;
  if (::read(handle_, &expirations, sizeof expirations) != sizeof expirations || expirations == 0) return;
  expired_();
}

}  // namespace tessaly
