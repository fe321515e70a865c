#include "links/serial/com_thread.h"

#include <exception>
#include <memory>
#include <utility>

#include "links/serial/com_error.h"

namespace tessaly {
namespace {

// A device reports queued bytes as readable for as long as they stay queued.
// When a dispatch took none of them (no handler, or one that does not read),
// waiting for readability would wake at once, over and over; the thread then
// looks this often whether new bytes came instead.
constexpr int kUnreadCheckMs = 20;

}  // namespace

TComThread::TComThread(TComDevice& device, TComEvents events, THandOverQueue& handOver, Dispatch dispatch,
                       LinkLost linkLost)
    : device_(device),
      events_(events),
      handOver_(handOver),
      dispatch_(std::move(dispatch)),
      linkLost_(std::move(linkLost)),
      thread_([this] { Run(); }) {}

TComThread::~TComThread() {
  Stop();
  if (!Finished()) handOver_.ReleaseWaiters();
  thread_.join();
}

void TComThread::Run() {
  QString lostMessage;
  try {
    WaitAndDispatch();
  } catch (const std::exception& failure) {
    lostMessage = QString::fromUtf8(failure.what());
  } catch (...) {
    lostMessage = ComErrorText(kComWaitFailed);
  }
  if (!lostMessage.isEmpty()) linkLost_(lostMessage);
  finished_ = true;
  handOver_.Wake();
}

void TComThread::WaitAndDispatch() {
  // Linux wakes a waiting thread only for received bytes (and hang-ups); the
  // other kinds of line event are never raised here.
  const bool watchInput = events_.Contains(evRxChar);
  int untaken = 0;  // bytes the last dispatch left queued, taking none
  for (;;) {
    const TWaitResult wait =
        device_.WaitForEvent(stop_, watchInput && untaken == 0, untaken > 0 ? kUnreadCheckMs : -1);
    if (wait.stopped) return;
    if (wait.gone) {
      if (watchInput) DeliverLastBytes();
      throw EComPort(kComWaitFailed, wait.platformCode);
    }
    if (untaken > 0) {
      const int queued = device_.PendingInput();
      if (queued <= untaken) {
        untaken = queued;  // nothing new; someone may have read some
        continue;
      }
    }
    untaken = HandOver({evRxChar});
  }
}

// Bytes that came before a hang-up still go to the handler, where the device
// keeps them. What fails here is part of the loss being reported.
void TComThread::DeliverLastBytes() {
  try {
    if (device_.PendingInput() > 0) HandOver({evRxChar});
  } catch (const std::exception&) {
  }
}

int TComThread::HandOver(TComEvents events) {
  // Shared: a released hand-over may still be running when this returns.
  auto untaken = std::make_shared<int>(0);
  const std::exception_ptr failure = handOver_.Run([this, events, untaken] { *untaken = dispatch_(events); });
  if (failure) std::rethrow_exception(failure);
  return *untaken;
}

}  // namespace tessaly
