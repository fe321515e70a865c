#pragma once

#include "core/packet_framer.h"
#include "recorder/packet_lines.h"
#include "recorder/record_options.h"
#include "recorder/recorded_line.h"
#include "recorder/rotating_capture.h"
#include "recorder/status_line.h"
#include "session/line_merge.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

namespace tessaly::record {

enum ExitCode : int {
  kExitStopped = 0,
  kExitBadArguments = 1,
  kExitLinkFailure = 2,
  kExitFileFailure = 3,
};

// One recording from start to stop, with no window: the capture session on
// each line asked for (one, or two merged into one capture in order), their
// packets to a capture file or to lines on standard output, the status
// line, and the ways a recording ends (a signal, an autostop, a link or file
// that fails). Run it from a Qt Core application.
class Recorder : public QObject, public PacketSink {
  Q_OBJECT

 public:
  explicit Recorder(RecordOptions options, QObject* parent = nullptr);
  ~Recorder() override;

  // Opens the output and the links; false (with ExitCode() set and the
  // reason said) when any fails.
  bool Start();
  // Ends the packets that run, closes the links and the file, and ends the
  // event loop with the code (a file that fails to close makes it 3).
  void Stop(int exitCode);
  int Exit() const { return exitCode_; }
  const RecordCounts& Counts() const { return counts_; }

  // PacketSink: each line's packets, in order (line 0 without a second).
  void AppendPacket(const std::uint8_t* bytes, int count, PacketTime endedAt) override;
  void AppendPacket(const std::uint8_t* bytes, int count, const PacketTiming& timing) override;
  void AppendLinePacket(int line, const std::uint8_t* bytes, int count, const PacketTiming& timing) override;

 signals:
  void finished(int exitCode);

 private:
  bool OpenOutput();
  // A line is gone for good: the recording goes on while another is left.
  void LineGone();
  void Tick();
  void WriteOut(const std::string& text);
  void Say(const QString& text);
  // A failure of the output: said once, and the recording stops with 3.
  void FileFailed(const char* message);

  RecordOptions options_;
  // Orders the packets of two lines; unused with one.
  LineMerge merge_;
  std::vector<std::unique_ptr<RecordedLine>> lines_;
  std::unique_ptr<RotatingCapture> capture_;
  std::unique_ptr<PacketLines> text_;
  QTimer tick_;
  int ticks_ = 0;
  RecordCounts counts_;
  StatusLine status_;
  bool showStatus_ = false;
  bool stopping_ = false;
  bool failed_ = false;
  int linesGone_ = 0;
  int exitCode_ = kExitStopped;
  std::chrono::steady_clock::time_point startedAt_;
};

}  // namespace tessaly::record
