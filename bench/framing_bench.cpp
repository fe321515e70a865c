// Framing accuracy: a sender thread writes 8-byte frames with exact silences
// into a loopback TCP connection and into a pseudo-terminal; the real links
// and the real framer cut them into rows on this thread while it paints the
// packet log, and a second thread keeps the other processor busy. For each
// case it prints the frames sent, the rows logged, the frame boundaries lost
// (a silence longer than the threshold inside a row), the wrong cuts (inside
// a frame, or at a silence not longer than the threshold), the boundaries
// left unjudged because the sender was held up inside a write so long that
// their silence is unclear, and the error of the rows' time stamps (how far
// outside the span of the write they lie) against the line's
// end (the last frame's sending plus the threshold): median, 99th percentile
// and maximum. The threshold is the interval on TCP and 10 ms plus the
// interval on serial, where the port's read waits for more than 10 ms of
// silence.
//
// Run it as an ordinary process. Under a real-time policy (chrt) the window
// thread's chores use more than the kernel lets real-time threads have
// (95 % of each second), and every real-time thread, sender and readers
// included, is then held for tens of milliseconds at a time.
//
// With --jpnevulator, the pseudo-terminal cases are sent a second time to
// jpnevulator (--timing-delta set to the same threshold) reading the line
// instead, and its figures are printed beside ours; its stamps mark a
// packet's first byte, so its error is taken against the first frame's
// sending.
//
//   build/bench/framing_bench [frames per case] [--jpnevulator] [--tcp-only|--pty-only]
//   build/bench/framing_bench --timers   (how late each kind of timer fires)
#include "bench/loopback_link.h"
#include "bench/raw_pty.h"
#include "core/packet_framer.h"
#include "log/packet_log_model.h"
#include "views/packet_log_view.h"
#include "links/link_byte_sources.h"
#include "links/serial/com_port.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <pthread.h>
#include <pty.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/timerfd.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace tessaly {
namespace {

using bench::LoopbackLink;
using bench::RunUntil;

constexpr int kFrameSize = 8;

using Bytes = std::vector<std::uint8_t>;

struct Row {
  Bytes bytes;
  PacketTime stamp;  // wall-clock microseconds
};

// Records every row and hands it on to the log the grid shows.
struct RecordingLog : PacketSink {
  explicit RecordingLog(PacketLogModel& log) : log(log) {}
  void AppendPacket(const std::uint8_t* bytes, int count, PacketTime endedAt) override {
    rows.push_back({Bytes(bytes, bytes + count), endedAt});
    log.AppendPacket(bytes, count, endedAt);
  }
  PacketLogModel& log;
  std::vector<Row> rows;
};

Bytes Frame(int index) {
  Bytes frame(kFrameSize);
  for (int i = 0; i < 4; ++i) frame[i] = static_cast<std::uint8_t>(index >> (24 - 8 * i));
  for (int i = 4; i < kFrameSize; ++i) frame[i] = static_cast<std::uint8_t>(0xA0 + i);
  return frame;
}

PacketTime WallMicroseconds() { return WallClockNow(); }

void SleepUntil(const timespec& target) {
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &target, nullptr) == EINTR) {
  }
}

timespec Plus(timespec t, std::int64_t nanoseconds) {
  std::int64_t total = std::int64_t{t.tv_nsec} + nanoseconds;
  t.tv_sec += static_cast<time_t>(total / 1'000'000'000);
  t.tv_nsec = static_cast<long>(total % 1'000'000'000);
  return t;
}

// When a frame went out (wall clock, microseconds): somewhere between the
// moment its write began and the moment it returned. A sender that the
// machine holds up inside its write leaves that moment unclear.
struct Sending {
  PacketTime before = 0;
  PacketTime after = 0;
};

// Writes the frames, each after the given silence, and notes when each was
// written.
std::vector<Sending> SendFrames(int fd, int frames, std::int64_t silenceNs) {
  prctl(PR_SET_TIMERSLACK, 1UL);
  std::vector<Sending> sent(static_cast<std::size_t>(frames));
  timespec next{};
  clock_gettime(CLOCK_MONOTONIC, &next);
  next = Plus(next, 50'000'000);
  for (int i = 0; i < frames; ++i) {
    SleepUntil(next);
    const Bytes frame = Frame(i);
    sent[static_cast<std::size_t>(i)].before = WallMicroseconds();
    if (::write(fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) std::perror("write");
    sent[static_cast<std::size_t>(i)].after = WallMicroseconds();
    clock_gettime(CLOCK_MONOTONIC, &next);
    next = Plus(next, silenceNs);
  }
  return sent;
}

struct Figures {
  int rows = 0;
  int merged = 0;  // frame boundaries without a cut, where the silence was long enough
  int split = 0;   // cuts inside a frame, or between frames whose gap was short
  int unclear = 0; // boundaries whose silence may lie on either side of the threshold
  bool bytesIntact = true;
  std::vector<double> stampErrorsMs;
};

// Rows against the frames sent. Each boundary between frames is judged by
// the silence the sender really left there (its wake-ups can come late on a
// busy machine): longer than the threshold, the rows must be cut there;
// otherwise not, unless the 1024-byte buffer filled up exactly there. A
// boundary whose silence, given when the writes began and ended, may lie on
// either side of the threshold is counted as unclear and judged neither way.
Figures Judge(const std::vector<Row>& rows, const std::vector<Sending>& sent, double thresholdMs,
              bool stampsAtStart) {
  Figures figures;
  Bytes stream;
  for (const Row& row : rows) stream.insert(stream.end(), row.bytes.begin(), row.bytes.end());
  Bytes expected;
  for (std::size_t i = 0; i < sent.size(); ++i) {
    const Bytes frame = Frame(static_cast<int>(i));
    expected.insert(expected.end(), frame.begin(), frame.end());
  }
  figures.bytesIntact = stream == expected;
  const double thresholdUs = thresholdMs * 1000.0;
  const auto shortest = [&](std::size_t frame) { return static_cast<double>(sent[frame].before - sent[frame - 1].after); };
  const auto longest = [&](std::size_t frame) { return static_cast<double>(sent[frame].after - sent[frame - 1].before); };
  // The boundary before frame: surely long enough, surely not.
  const auto cutDue = [&](std::size_t frame) { return shortest(frame) > thresholdUs; };
  const auto cutWrong = [&](std::size_t frame) { return longest(frame) <= thresholdUs; };
  for (std::size_t frame = 1; frame < sent.size(); ++frame) {
    if (!cutDue(frame) && !cutWrong(frame)) ++figures.unclear;
  }
  std::size_t offset = 0;
  std::size_t previousLength = 0;
  for (const Row& row : rows) {
    if (row.bytes.empty()) continue;
    ++figures.rows;
    const std::size_t begin = offset;
    offset += row.bytes.size();
    const bool afterFullBuffer = previousLength == static_cast<std::size_t>(PacketFramer::kCapacity);
    previousLength = row.bytes.size();
    if (begin % kFrameSize != 0) {
      ++figures.split;  // a cut inside a frame
    } else if (begin > 0 && begin / kFrameSize < sent.size() && cutWrong(begin / kFrameSize) && !afterFullBuffer) {
      ++figures.split;  // a cut where the silence was too short
    }
    const std::size_t firstFrame = begin / kFrameSize;
    const std::size_t lastFrame = (offset - 1) / kFrameSize;
    bool whole = begin % kFrameSize == 0 && offset % kFrameSize == 0 && lastFrame < sent.size();
    for (std::size_t frame = firstFrame + 1; frame <= lastFrame && frame < sent.size(); ++frame) {
      if (cutDue(frame)) {
        ++figures.merged;
        whole = false;
      }
    }
    // Stamps of rows that hold exactly the frames between two due cuts.
    if (whole && (firstFrame == 0 || cutDue(firstFrame)) && (lastFrame + 1 >= sent.size() || cutDue(lastFrame + 1))) {
      // The frame reached the line somewhere within its write (a loopback
      // connection delivers it inside the call, and the woken reader may
      // run before the sender returns): the error is how far the stamp
      // lies outside that span.
      const Sending& reference = stampsAtStart ? sent[firstFrame] : sent[lastFrame];
      const double offset = stampsAtStart ? 0.0 : thresholdUs;
      const double stamp = static_cast<double>(row.stamp);
      const double early = static_cast<double>(reference.before) + offset - stamp;
      const double late = stamp - (static_cast<double>(reference.after) + offset);
      figures.stampErrorsMs.push_back(std::max({early, late, 0.0}) / 1000.0);
    }
  }
  return figures;
}

std::string Stamps(std::vector<double> errors) {
  if (errors.empty()) return "       -        -        -";
  for (double& e : errors) e = std::fabs(e);
  std::sort(errors.begin(), errors.end());
  const auto at = [&](double q) { return errors[std::min(errors.size() - 1, static_cast<std::size_t>(q * errors.size()))]; };
  char text[80];
  std::snprintf(text, sizeof text, "%8.3f %8.3f %8.3f", at(0.5), at(0.99), errors.back());
  return text;
}

void Print(const char* who, const char* link, int interval, double silenceMs, double thresholdMs, int frames,
           const Figures& f) {
  std::printf("%-11s %-4s %3d ms %8.1f %8.1f %7d %7d %7d %7d %7d %s %s\n", who, link, interval, thresholdMs, silenceMs,
              frames, f.rows, f.merged, f.split, f.unclear, Stamps(f.stampErrorsMs).c_str(),
              f.bytesIntact ? "" : " BYTES DIFFER");
  std::fflush(stdout);
}

// Runs the event loop until done() or the deadline.
struct Harness {
  PacketLogModel log;
  PacketLogView view;
  RecordingLog sink{log};
  QTimer endPacketTimer;
  PacketFramer framer{endPacketTimer, sink};
  // The grid's painting and whatever else the window does: this thread is
  // made busy for 2 ms every 10 ms on top of it.
  QTimer chores;

  Harness() {
    log.SetBatching(0, PacketLogModel::kBatchInterval);
    view.SetLogModel(&log);
    view.resize(900, 700);
    view.show();
    QObject::connect(&endPacketTimer, &QTimer::timeout, [this] { framer.OnEndOfPacket(); });
    chores.setInterval(10);
    QObject::connect(&chores, &QTimer::timeout, [] {
      const auto end = LineClock::now() + std::chrono::milliseconds(2);
      while (LineClock::now() < end) {
      }
    });
    chores.start();
  }
};

Figures RunTcp(Harness& h, int interval, double silenceMs, int frames) {
  LoopbackLink link(h.framer);

  h.framer.SetInterval(interval);
  h.framer.Reset();
  h.sink.rows.clear();
  std::vector<Sending> sent;
  std::atomic<bool> finished{false};
  std::thread sender([&] {
    sent = SendFrames(link.Peer(), frames, static_cast<std::int64_t>(silenceMs * 1e6));
    finished = true;
  });
  RunUntil([&] { return finished.load(); }, 3'600'000);
  sender.join();
  RunUntil([&] { return false; }, 300);
  h.framer.Reset();  // it reads no more from this case's link
  return Judge(h.sink.rows, sent, interval, false);
}

Figures RunPty(Harness& h, int interval, double silenceMs, int frames) {
  tessaly::bench::RawPty pty;
  TComPort port;
  SerialByteSource source(port);
  port.SetPort(QString::fromStdString(pty.path));
  port.Timeouts().SetReadInterval(10);
  port.Timeouts().SetReadTotalConstant(1000);
  port.OnRxChar = [&](TCustomComPort&, int) { h.framer.OnBytesAvailable(source); };
  port.Open();
  h.framer.SetInterval(interval);
  h.framer.Reset();
  h.sink.rows.clear();
  std::vector<Sending> sent;
  std::atomic<bool> finished{false};
  std::thread sender([&] {
    sent = SendFrames(pty.master, frames, static_cast<std::int64_t>(silenceMs * 1e6));
    finished = true;
  });
  RunUntil([&] { return finished.load(); }, 3'600'000);
  sender.join();
  RunUntil([&] { return false; }, 300);
  port.Close();
  h.framer.Reset();  // it reads no more from this case's link
  return Judge(h.sink.rows, sent, 10.0 + interval, false);
}

// jpnevulator's output: a line "YYYY-MM-DD HH:MM:SS.uuuuuu:" (local time)
// before each packet, then its bytes in hexadecimal.
std::vector<Row> ParseJpnevulator(const std::string& text) {
  std::vector<Row> rows;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == ':' && line.size() > 20) {
      tm fields{};
      int microseconds = 0;
      if (std::sscanf(line.c_str(), "%d-%d-%d %d:%d:%d.%d", &fields.tm_year, &fields.tm_mon, &fields.tm_mday,
                      &fields.tm_hour, &fields.tm_min, &fields.tm_sec, &microseconds) == 7) {
        fields.tm_year -= 1900;
        fields.tm_mon -= 1;
        fields.tm_isdst = -1;
        rows.push_back({{}, static_cast<PacketTime>(mktime(&fields)) * 1'000'000 + microseconds});
      }
      continue;
    }
    if (rows.empty()) continue;
    unsigned value = 0;
    int used = 0;
    const char* p = line.c_str();
    while (std::sscanf(p, "%2x%n", &value, &used) == 1) {
      rows.back().bytes.push_back(static_cast<std::uint8_t>(value));
      p += used;
      while (*p == ' ') ++p;
    }
  }
  return rows;
}

// Sends while this thread goes on with its chores, as in our own run, so
// that both readers face the same machine.
Figures RunJpnevulator(int interval, double silenceMs, int frames) {
  tessaly::bench::RawPty pty;
  const int thresholdUs = (10 + interval) * 1000;
  int out[2];
  if (pipe(out) != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    dup2(out[1], STDOUT_FILENO);
    ::close(out[0]);
    const std::string tty = "--tty=" + pty.path;
    const std::string delta = "--timing-delta=" + std::to_string(thresholdUs);
    execlp("jpnevulator", "jpnevulator", "--read", tty.c_str(), "--timing-print", delta.c_str(), "--width=4096",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  ::close(out[1]);
  std::string text;
  std::thread reader([&] {
    char buffer[65536];
    ssize_t got;
    while ((got = ::read(out[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(got));
  });
  RunUntil([] { return false; }, 500);  // until it has opened the line
  std::vector<Sending> sent;
  std::atomic<bool> finished{false};
  std::thread sender([&] {
    sent = SendFrames(pty.master, frames, static_cast<std::int64_t>(silenceMs * 1e6));
    finished = true;
  });
  RunUntil([&] { return finished.load(); }, 3'600'000);
  sender.join();
  RunUntil([] { return false; }, 500);
  ::kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
  reader.join();
  ::close(out[0]);
  return Judge(ParseJpnevulator(text), sent, 10.0 + interval, true);
}

// How late a countdown's end is handled when the thread is free: a precise
// QTimer armed, as the framer arms it, for the remaining whole milliseconds,
// against a timerfd armed for the exact moment and watched by a socket
// notifier. Deadlines fall at random fractions of a millisecond.
void MeasureTimers(int samples) {
  std::vector<double> qtLate;
  std::vector<double> fdLate;
  std::srand(7);
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  const int fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  QSocketNotifier notifier(fd, QSocketNotifier::Read);
  LineTime deadline;
  bool fired = false;
  const auto late = [&] { return std::chrono::duration<double, std::milli>(LineClock::now() - deadline).count(); };
  QObject::connect(&timer, &QTimer::timeout, [&] {
    qtLate.push_back(late());
    fired = true;
  });
  QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
    fdLate.push_back(late());
    std::uint64_t expirations = 0;
    (void)::read(fd, &expirations, sizeof expirations);
    fired = true;
  });
  for (int i = 0; i < samples * 2; ++i) {
    deadline = LineClock::now() + std::chrono::microseconds(1000 + std::rand() % 4000);
    fired = false;
    if (i % 2 == 0) {
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - LineClock::now());
      timer.start(static_cast<int>(wait.count()));
    } else {
      itimerspec when{};
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch()).count();
      when.it_value = {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
      timerfd_settime(fd, TFD_TIMER_ABSTIME, &when, nullptr);
    }
    RunUntil([&] { return fired; }, 1000);
  }
  ::close(fd);
  const auto print = [](const char* what, std::vector<double> values) {
    std::sort(values.begin(), values.end());
    std::printf("%-28s late by median %.3f ms, p99 %.3f ms, max %.3f ms (%zu samples)\n", what,
                values[values.size() / 2], values[values.size() * 99 / 100], values.back(), values.size());
  };
  print("precise QTimer (whole ms)", qtLate);
  print("timerfd + socket notifier", fdLate);
  std::fflush(stdout);
}

}  // namespace
}  // namespace tessaly

int main(int argc, char** argv) {
  using namespace tessaly;
  int frames = 2000;
  bool jpnevulator = false;
  bool tcp = true;
  bool pty = true;
  bool timers = false;
  bool chores = true;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--jpnevulator") jpnevulator = true;
    else if (argument == "--tcp-only") pty = false;
    else if (argument == "--pty-only") tcp = false;
    else if (argument == "--timers") timers = true;
    else if (argument == "--no-chores") chores = false;
    else frames = std::max(1, std::atoi(argv[i]));
  }
  QApplication app(argc, argv);
  if (timers) {
    MeasureTimers(500);
    return 0;
  }

  std::atomic<bool> stop{false};
  std::thread busy([&] {
    // An ordinary thread even when the bench runs with a real-time policy.
    sched_param ordinary{};
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &ordinary);
    while (!stop.load(std::memory_order_relaxed)) {
    }
  });

  Harness harness;
  if (!chores) harness.chores.stop();
  std::printf("%-11s %-4s %6s %8s %8s %7s %7s %7s %7s %7s %8s %8s %8s\n", "who", "link", "intvl", "thresh", "silence",
              "frames", "rows", "merged", "split", "unclear", "err-med", "err-p99", "err-max");
  const double offsets[] = {-0.5, 0.5, 1.0, 5.0};
  for (int interval : {1, 4}) {
    for (double offset : offsets) {
      if (tcp) {
        const double silence = interval + offset;
        Print("tessaly", "tcp", interval, silence, interval, frames, RunTcp(harness, interval, silence, frames));
      }
      if (pty) {
        const double silence = 10 + interval + offset;
        Print("tessaly", "pty", interval, silence, 10 + interval, frames, RunPty(harness, interval, silence, frames));
        if (jpnevulator) {
          Print("jpnevulator", "pty", interval, silence, 10 + interval, frames, RunJpnevulator(interval, silence, frames));
        }
      }
    }
  }
  stop = true;
  busy.join();
  return 0;
}
