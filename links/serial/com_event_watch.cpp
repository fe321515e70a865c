#include "links/serial/com_event_watch.h"

#include <QScopedValueRollback>

#include <algorithm>
#include <exception>
#include <optional>
#include <utility>

#include "links/serial/com_error.h"

namespace tessaly {
namespace {

// How long bytes that no handler took wait before the watch looks whether
// more came.
constexpr int kUntakenCheckMs = 20;

}  // namespace

TComEventWatch::TComEventWatch(TComDevice& device, Dispatch dispatch, LinkLost linkLost)
    : device_(device),
      dispatch_(std::move(dispatch)),
      linkLost_(std::move(linkLost)),
      ready_(device.ReadyHandle(), QSocketNotifier::Read) {
  lookAgain_.setSingleShot(true);
  lookAgain_.setInterval(kUntakenCheckMs);
  connect(&ready_, &QSocketNotifier::activated, this, [this] { Look(); });
  connect(&lookAgain_, &QTimer::timeout, this, [this] { Look(); });
  ready_.setEnabled(true);
}

void TComEventWatch::Stop() {
  ended_ = true;
  ready_.setEnabled(false);
  lookAgain_.stop();
}

void TComEventWatch::Look() {
  if (ended_ || dispatching_) return;
  // Off while the handlers run: one may open a dialog, whose event loop
  // must not dispatch the same bytes again.
  ready_.setEnabled(false);
  const int kept = device_.KeptInput();
  if (kept > 0 && kept != untaken_) {
    if (!DispatchReceived()) return;
  } else {
    untaken_ = std::min(untaken_, kept);
  }
  if (ended_) return;  // a handler closed the port
  if (const std::optional<int> end = device_.EndError()) {
    // Every byte read before the end has been handed out, or nobody takes
    // them: the loss is reported now, once.
    if (device_.KeptInput() == 0 || untaken_ > 0) {
      End(EComPort(kComWaitFailed, *end != 0 ? *end : EIO).Message());
      return;
    }
  }
  if (untaken_ > 0) {
    lookAgain_.start();
  } else {
    ready_.setEnabled(true);
  }
}

bool TComEventWatch::DispatchReceived() {
  QString failure;
  try {
    const QScopedValueRollback<bool> dispatching(dispatching_, true);
    untaken_ = dispatch_({evRxChar});
    return true;
  } catch (const std::exception& error) {
    failure = QString::fromUtf8(error.what());
  } catch (...) {
    failure = ComErrorText(kComWaitFailed);
  }
  End(failure);
  return false;
}

void TComEventWatch::End(const QString& message) {
  if (ended_) return;
  Stop();
  linkLost_(message);
}

}  // namespace tessaly
