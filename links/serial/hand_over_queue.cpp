#include "links/serial/hand_over_queue.h"

#include <QMetaObject>

#include <utility>

namespace tessaly {

std::exception_ptr THandOverQueue::Run(std::function<void()> work) {
  auto item = std::make_shared<Item>();
  item->work = std::move(work);
  {
    std::lock_guard lock(mutex_);
    if (released_) return nullptr;
    queued_.push_back(item);
    ++wakeups_;
  }
  changed_.notify_all();
  // The owner as context: if it is destroyed first, Qt drops the call.
  QMetaObject::invokeMethod(&owner_, [this] { RunPending(); }, Qt::QueuedConnection);

  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return item->done || released_; });
  return item->failure;
}

void THandOverQueue::RunPending() {
  for (;;) {
    std::shared_ptr<Item> item;
    {
      std::lock_guard lock(mutex_);
      if (queued_.empty()) return;
      item = std::move(queued_.front());
      queued_.pop_front();
      ++running_;
    }
    std::exception_ptr failure;
    try {
      item->work();
    } catch (...) {
      failure = std::current_exception();
    }
    {
      std::lock_guard lock(mutex_);
      item->failure = failure;
      item->done = true;
      --running_;
    }
    changed_.notify_all();
  }
}

void THandOverQueue::ServeUntil(const std::function<bool()>& finished, std::chrono::milliseconds tick) {
  for (;;) {
    std::uint64_t seen = 0;
    {
      std::lock_guard lock(mutex_);
      seen = wakeups_;
    }
    RunPending();
    if (finished()) return;
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, tick, [&] { return wakeups_ != seen; });
  }
}

void THandOverQueue::Wake() {
  {
    std::lock_guard lock(mutex_);
    ++wakeups_;
  }
  changed_.notify_all();
}

bool THandOverQueue::IsRunning() const {
  std::lock_guard lock(mutex_);
  return running_ > 0;
}

void THandOverQueue::ReleaseWaiters() {
  {
    std::lock_guard lock(mutex_);
    released_ = true;
    queued_.clear();
    ++wakeups_;
  }
  changed_.notify_all();
}

void THandOverQueue::Reset() {
  std::lock_guard lock(mutex_);
  released_ = false;
}

}  // namespace tessaly
