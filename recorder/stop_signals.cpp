#include "recorder/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace tessaly::record {
namespace {

int writeEnd = -1;

void NoteSignal(int number) {
  const int saved = errno;
  const char byte = static_cast<char>(number);
  // A full pipe already holds a stop request: nothing is lost by dropping this.
  (void)!::write(writeEnd, &byte, 1);
  errno = saved;
}

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;  // the default actions stay: they still stop
  readEnd_ = ends[0];
  writeEnd = ends[1];
  notifier_ = std::make_unique<QSocketNotifier>(readEnd_, QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Drain(); });
  struct sigaction action {};
  action.sa_handler = NoteSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int number : kStopSignals) sigaction(number, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  // A file grown past the user's size limit (ulimit -f) is a write that
  // fails with EFBIG, reported and stopped cleanly, not a kill.
  std::signal(SIGXFSZ, SIG_IGN);
}

StopSignals::~StopSignals() {
  for (const int number : kStopSignals) std::signal(number, SIG_DFL);
  notifier_.reset();
  if (readEnd_ >= 0) ::close(readEnd_);
  if (writeEnd >= 0) ::close(writeEnd);
  writeEnd = -1;
}

void StopSignals::Drain() {
  char byte = 0;
  int last = 0;
  while (::read(readEnd_, &byte, 1) == 1) last = static_cast<unsigned char>(byte);
  if (last != 0) emit stopRequested(last);
}

}  // namespace tessaly::record
