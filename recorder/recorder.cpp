#include "recorder/recorder.h"

#include "core/local_time_text.h"
#include "modbus/frame_check.h"
#include "session/recording_sink.h"

#include "presentation/failure_report.h"
#include "presentation/product.h"

#include <unistd.h>

#include <QMetaObject>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tessaly::record {
namespace {

std::string LocalTimeText(PacketTime time) {
  std::array<char, 40> text{};
  return std::string(text.data(), WriteIsoDateTime(time, text.data()));
}

constexpr int kTickMs = 100;
constexpr int kTicksPerSync = 10;  // the file reaches the disk every second

std::string ApplicationName() {
  std::string version = kProductVersionText;
  constexpr std::string_view kPrefix = "Version ";
  if (version.starts_with(kPrefix)) version.erase(0, kPrefix.size());
  return "tessaly-record " + version;
}

}  // namespace

Recorder::Recorder(RecordOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)), merge_(*this) {
  const bool two = options_.secondLine.has_value();
  LineEvents events;
  events.say = [this](const QString& text) { Say(text); };
  events.gone = [this] { LineGone(); };
  events.note = [this](const std::string& text) {
    if (capture_) capture_->AddComment(text);
  };
  std::vector<const LineOptions*> asked{&options_};
  if (two) asked.push_back(&*options_.secondLine);
  for (std::size_t line = 0; line < asked.size(); ++line) {
    // Only the first line may come from the window program's settings.
    const bool fromSettings = line == 0 && options_.fromSettings;
    PacketSink& sink = two ? merge_.Input(static_cast<int>(line)) : static_cast<PacketSink&>(*this);
    lines_.push_back(std::make_unique<RecordedLine>(*asked[line], fromSettings, options_.reconnect,
                                                    two ? QString::fromStdString(asked[line]->name) : QString(),
                                                    sink, events, this));
  }
  if (two) {
    for (std::size_t line = 0; line < lines_.size(); ++line) {
      CaptureSession& session = lines_[line]->Session();
      merge_.SetProgress(static_cast<int>(line), [&session] { return session.CompleteUntil(); });
    }
    // Said in the status line and in the file, never hidden.
    merge_.SetOutOfOrderNotice([this](int line, const PacketTiming& timing) {
      ++counts_.outOfOrder;
      if (capture_) {
        capture_->AddComment("line " + lines_[static_cast<std::size_t>(line)]->Name().toStdString() +
                             ": a packet whose first byte came at " + LocalTimeText(timing.firstByte) +
                             " placed after later packets of the other line (its reader was held up)");
      }
    });
  }
  tick_.setInterval(kTickMs);
  connect(&tick_, &QTimer::timeout, this, [this] { Tick(); });
}

Recorder::~Recorder() = default;

bool Recorder::Start() {
  startedAt_ = std::chrono::steady_clock::now();
  showStatus_ = !options_.quiet && ::isatty(STDERR_FILENO) == 1;
  if (!OpenOutput()) return false;
  tick_.start();
  for (const auto& line : lines_) {
    if (line->Open(false)) continue;
    if (!options_.reconnect) {
      Stop(kExitLinkFailure);
      return false;
    }
    line->StartGap();
  }
  return true;
}

bool Recorder::OpenOutput() {
  if (options_.outputPath.empty()) {
    text_ = std::make_unique<PacketLines>(options_.lineFormat, options_.decode, options_.secondLine.has_value());
    return true;
  }
  std::vector<CaptureInterface> links;
  for (const auto& line : lines_) links.push_back(InterfaceOf(line->PlannedLine()));
  Rotation rotation;
  rotation.maxBytes = options_.rotateKilobytes * 1000;
  rotation.maxAge = std::chrono::seconds(options_.rotateSeconds);
  rotation.interval = std::chrono::seconds(options_.rotateInterval);
  rotation.keepFiles = options_.ringFiles;
  // For scripts that collect finished files, as dumpcap's printname does.
  RotatingCapture::Finished finished;
  if (!options_.printFinished.empty()) {
    finished = [where = options_.printFinished](const std::string& path) {
      FILE* out = where == "stdout" ? stdout : where == "stderr" ? stderr : std::fopen(where.c_str(), "a");
      if (out == nullptr) return;
      std::fprintf(out, "%s\n", path.c_str());
      std::fflush(out);
      if (out != stdout && out != stderr) std::fclose(out);
    };
  }
  try {
    capture_ = std::make_unique<RotatingCapture>(options_.outputPath, options_.fileFormat, rotation, links,
                                                 ApplicationName(), std::move(finished));
  } catch (const CaptureFileError& failure) {
    Say(QString::fromUtf8(failure.what()));
    exitCode_ = kExitFileFailure;
    return false;
  }
  return true;
}

void Recorder::LineGone() {
  if (stopping_) return;
  if (++linesGone_ < static_cast<int>(lines_.size())) {
    Say(QStringLiteral("Recording the other line on."));
    return;
  }
  // Not from inside the link's notice.
  QMetaObject::invokeMethod(this, [this] { Stop(kExitLinkFailure); }, Qt::QueuedConnection);
}

void Recorder::AppendPacket(const std::uint8_t* bytes, int count, PacketTime endedAt) {
  AppendLinePacket(0, bytes, count, PacketTiming{endedAt, endedAt, endedAt});
}

void Recorder::AppendPacket(const std::uint8_t* bytes, int count, const PacketTiming& timing) {
  AppendLinePacket(0, bytes, count, timing);
}

void Recorder::AppendLinePacket(int line, const std::uint8_t* bytes, int count, const PacketTiming& timing) {
  if (failed_ || (options_.stopPackets > 0 && counts_.rows >= options_.stopPackets)) return;
  ++counts_.rows;
  counts_.bytes += static_cast<std::uint64_t>(count);
  // Judged only for the status line: telling merged frames from damaged ones
  // looks for frames inside every packet, the recorder's dearest step in a
  // flood of back-to-back frames.
  if (showStatus_) {
    const modbus::FrameKind kind = modbus::CheckFrame(bytes, count);
    if (kind != modbus::FrameKind::Good && kind != modbus::FrameKind::Merged) ++counts_.badFrames;
  }
  if (capture_) {
    try {
      capture_->AddPacket(static_cast<std::uint32_t>(line), bytes, count, timing);
    } catch (const CaptureFileError& failure) {
      FileFailed(failure.what());
    }
  } else {
    text_->Add(bytes, count, timing.ended, lines_.size() > 1 ? lines_[line]->Name().toStdString() : std::string());
  }
  if (options_.stopPackets > 0 && counts_.rows >= options_.stopPackets) {
    // Not from inside the framer, which is handing this packet over.
    QMetaObject::invokeMethod(this, [this] { Stop(kExitStopped); }, Qt::QueuedConnection);
  }
}

void Recorder::Tick() {
  const auto now = std::chrono::steady_clock::now();
  if (capture_ && !failed_) {
    try {
      capture_->Tick(now);
      if (++ticks_ % kTicksPerSync == 0) capture_->Sync();
    } catch (const CaptureFileError& failure) {
      FileFailed(failure.what());
      return;
    }
  }
  if (text_) WriteOut(text_->Take());
  if (showStatus_) {
    const std::string text = status_.Redraw(counts_, now);
    if (!text.empty()) (void)!::write(STDERR_FILENO, text.data(), text.size());
  }
  if (options_.stopSeconds > 0 && now - startedAt_ >= std::chrono::seconds(options_.stopSeconds)) {
    Stop(kExitStopped);
  }
}

void Recorder::Stop(int exitCode) {
  if (stopping_) return;
  stopping_ = true;
  if (exitCode_ == kExitStopped) exitCode_ = exitCode;
  tick_.stop();
  // Every byte read reaches the framing as each link closes, and the
  // packets that run then end; the merge then hands over what it holds.
  for (const auto& line : lines_) line->Close();
  RunReportingErrors([this] { merge_.Flush(); });
  if (capture_) {
    try {
      capture_->Close();
    } catch (const CaptureFileError& failure) {
      if (!failed_) Say(QString::fromUtf8(failure.what()));
      failed_ = true;
    }
  }
  if (text_) WriteOut(text_->Take());
  if (failed_ && exitCode_ == kExitStopped) exitCode_ = kExitFileFailure;
  if (showStatus_) {
    const std::string text = status_.Finish(counts_, std::chrono::steady_clock::now());
    (void)!::write(STDERR_FILENO, text.data(), text.size());
  }
  emit finished(exitCode_);
}

void Recorder::WriteOut(const std::string& text) {
  if (text.empty() || failed_) return;
  if (showStatus_ && ::isatty(STDOUT_FILENO) == 1) {
    const std::string clear = status_.Clear();
    (void)!::write(STDERR_FILENO, clear.data(), clear.size());
  }
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t count = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      const std::string reason = std::strerror(count < 0 ? errno : ENOSPC);
      FileFailed(("Cannot write the packets to standard output: " + reason).c_str());
      return;
    }
    done += static_cast<std::size_t>(count);
  }
}

void Recorder::FileFailed(const char* message) {
  if (failed_) return;
  failed_ = true;
  Say(QString::fromUtf8(message));
  QMetaObject::invokeMethod(this, [this] { Stop(kExitFileFailure); }, Qt::QueuedConnection);
}

void Recorder::Say(const QString& text) {
  std::string line = status_.Clear();
  if (!showStatus_) line.clear();
  line += "tessaly-record: " + text.toStdString() + "\n";
  (void)!::write(STDERR_FILENO, line.data(), line.size());
}

}  // namespace tessaly::record
