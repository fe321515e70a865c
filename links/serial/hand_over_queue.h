#pragma once

#include <QObject>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

namespace tessaly {

// Runs work for another thread on the thread of its owner object (the
// user-interface thread), synchronously: the asking thread blocks until the
// work has run there. The owner's event loop runs queued work; so does
// ServeUntil, for a caller that must wait for the asking thread without
// letting it block forever.
class THandOverQueue {
 public:
  explicit THandOverQueue(QObject& owner) : owner_(owner) {}
  THandOverQueue(const THandOverQueue&) = delete;
  THandOverQueue& operator=(const THandOverQueue&) = delete;

  // Any thread but the owner's: queues the work and waits until it has run
  // or the waiters were released. Returns what escaped the work, if anything.
  std::exception_ptr Run(std::function<void()> work);

  // Owner's thread: runs all queued work, in order.
  void RunPending();

  // Owner's thread: runs queued work until finished() holds, looking again
  // whenever work is queued or Wake is called, and at least once per tick.
  void ServeUntil(const std::function<bool()>& finished, std::chrono::milliseconds tick);

  // Any thread: makes ServeUntil look at its condition now.
  void Wake();

  // Owner's thread: true while queued work is running (the owner's code was
  // called from inside a hand-over).
  bool IsRunning() const;

  // Owner's thread: lets every waiting Run return at once, and from now on
  // Run does not wait, until Reset. Queued work that has not started is
  // dropped. For stopping the asking thread from inside a hand-over, where
  // waiting for it would wait for ourselves.
  void ReleaseWaiters();
  void Reset();

 private:
  struct Item {
    std::function<void()> work;
    std::exception_ptr failure;
    bool done = false;
  };

  QObject& owner_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<Item>> queued_;
  std::uint64_t wakeups_ = 0;
  int running_ = 0;
  bool released_ = false;
};

}  // namespace tessaly
