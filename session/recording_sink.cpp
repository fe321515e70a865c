#include "session/recording_sink.h"

#include "capture_file/capture_file_writer.h"
#include "presentation/product.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QPointer>

#include <chrono>
#include <thread>

namespace tessaly {

CaptureInterface InterfaceOf(const LineDescription& line) {
  CaptureInterface link;
  link.name = line.where.toStdString();
  link.description = line.Text().toStdString();
  if (line.bitsPerSecond) link.bitsPerSecond = static_cast<std::uint64_t>(*line.bitsPerSecond);
  link.lineName = line.name.toStdString();
  return link;
}

RecordingSink::RecordingSink(PacketSink& log, FileNamer namer, QObject* parent)
    : QObject(parent), log_(log), namer_(std::move(namer)) {
  watch_.setInterval(100);
  connect(&watch_, &QTimer::timeout, this, &RecordingSink::Watch);
}

RecordingSink::~RecordingSink() {
  CloseFile();
  // A program that ends gives a healthy disk a moment (no event loop here:
  // the window around is being taken down); a file that a stalled disk
  // still holds up is left to its thread (the close asked about its
  // packets first), and its marker offers it at the next start.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (std::unique_ptr<CaptureRecording>& file : finishing_) {
    while (!file->Done() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (file->Done()) continue;
    file->Abandon();
    (void)file.release();
  }
}

namespace {

std::uint64_t KeptIn(const CaptureRecording& file) { return file.Failed() ? file.Written() : file.Packets(); }

}  // namespace

std::uint64_t RecordingSink::KeptPackets() const {
  std::uint64_t kept = writtenInFinished_ + (file_ ? KeptIn(*file_) : 0);
  for (const std::unique_ptr<CaptureRecording>& file : finishing_) kept += KeptIn(*file);
  return kept;
}

std::uint64_t RecordingSink::UnfinishedPackets() const {
  std::uint64_t unfinished = 0;
  for (const std::unique_ptr<CaptureRecording>& file : finishing_) unfinished += file->Packets() - file->Written();
  return unfinished;
}

bool RecordingSink::WaitForFinishing(std::chrono::milliseconds timeout) {
  if (finishing_.empty()) return true;
  QEventLoop loop;
  QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
  const QMetaObject::Connection done = connect(this, &RecordingSink::finishingDone, &loop, &QEventLoop::quit);
  loop.exec();
  disconnect(done);
  Watch();
  return finishing_.empty();
}

void RecordingSink::Watch() {
  for (auto file = finishing_.begin(); file != finishing_.end();) {
    if (!(*file)->Done()) {
      ++file;
      continue;
    }
    writtenInFinished_ += (*file)->Written();
    file = finishing_.erase(file);  // its thread has ended: no wait
    if (finishing_.empty()) emit finishingDone();
  }
  // A disk that falls behind is said while it lasts, and once it catches up.
  const std::chrono::milliseconds behind = file_ ? file_->Behind() : std::chrono::milliseconds(0);
  const int seconds = behind > kBehindLimit ? static_cast<int>(behind.count() / 1000) : 0;
  if (seconds != behindSaid_) {
    behindSaid_ = seconds;
    emit fileBehind(seconds);
  }
  if (!file_ && finishing_.empty() && behindSaid_ == 0) watch_.stop();
}

void RecordingSink::BeginCapture() {
  CloseFile();
  capturing_ = true;
  endAfterPacket_ = false;
  start_ = WallClockNow();
}

void RecordingSink::EndCapture(bool packetPending) {
  if (packetPending) {
    endAfterPacket_ = true;
    return;
  }
  capturing_ = false;
  CloseFile();
}

void RecordingSink::NewFile() {
  if (!capturing_ && !endAfterPacket_) return;
  CloseFile();
  start_ = WallClockNow();
}

void RecordingSink::AppendMark(const QString& text) {
  if (file_) file_->AddComment(text.toStdString());
}

void RecordingSink::AppendPacket(const std::uint8_t* bytes, int count, PacketTime endedAt) {
  AppendPacket(bytes, count, PacketTiming{endedAt, endedAt, endedAt});
}

void RecordingSink::AppendPacket(const std::uint8_t* bytes, int count, const PacketTiming& timing) {
  AppendLinePacket(0, bytes, count, timing);
}

void RecordingSink::AppendLinePacket(int line, const std::uint8_t* bytes, int count, const PacketTiming& timing) {
  // The log first: it refuses a packet it cannot take by throwing, and
  // then the file does not hold it either. The first line's packets reach
  // it as a capture of one line always did.
  if (line == 0) {
    log_.AppendPacket(bytes, count, timing);
  } else {
    log_.AppendLinePacket(line, bytes, count, timing);
  }
  if (capturing_ || endAfterPacket_) {
    Record(line, bytes, count, timing);
    if (file_ && file_->Overflowed() && !overflowReported_) {
      // The disk fell too far behind: the file keeps what was queued, the
      // log goes on alone, and the close asks about the rest as for any
      // log not kept.
      overflowReported_ = true;
      const QString path = QString::fromStdString(file_->Path());
      capturing_ = false;
      endAfterPacket_ = false;
      CloseFile();
      emit recordingFailed(QStringLiteral("Cannot write the capture to %1: the disk falls too far behind the line")
                               .arg(path),
                           false);
      return;
    }
  }
  if (endAfterPacket_) {
    endAfterPacket_ = false;
    capturing_ = false;
    CloseFile();
  }
}

QString RecordingSink::CurrentFile() const {
  return file_ ? QString::fromStdString(file_->Path()) : QString();
}

void RecordingSink::SetLineSource(int line, std::function<LineDescription()> source) {
  if (line < 0) return;
  if (static_cast<int>(lines_.size()) <= line) lines_.resize(line + 1);
  lines_[line].source = std::move(source);
}

LineDescription RecordingSink::LineNow(int line) const {
  if (line < 0 || line >= static_cast<int>(lines_.size()) || !lines_[line].source) return LineDescription{};
  return lines_[line].source();
}

bool RecordingSink::Record(int line, const std::uint8_t* bytes, int count, const PacketTiming& timing) {
  if (line < 0) return false;
  if (!file_ && !OpenFile()) return false;
  if (file_->Failed()) return false;
  if (static_cast<int>(lines_.size()) <= line) lines_.resize(line + 1);
  LineInFile& inFile = lines_[line];
  const LineDescription description = LineNow(line);
  if (description != inFile.described) {
    inFile.interfaceId = file_->AddInterface(InterfaceOf(description));
    inFile.described = description;
  }
  file_->AddPacket(inFile.interfaceId, bytes, count, timing);
  return true;
}

bool RecordingSink::OpenFile() {
  const LineDescription line = LineNow(0);
  const std::string path = namer_(start_, line);
  QPointer<RecordingSink> self(this);
  try {
    file_ = std::make_unique<CaptureRecording>(
        path, std::string(kProductName), [self](const std::string& message) {
          // Told on the writing thread; heard on the sink's.
          QMetaObject::invokeMethod(
              self.data(),
              [self, text = QString::fromStdString(message)] {
                if (self) emit self->recordingFailed(text, true);
              },
              Qt::QueuedConnection);
        });
  } catch (const CaptureFileError& failure) {
    // No file, no recording for the rest of this capture: said once.
    capturing_ = false;
    endAfterPacket_ = false;
    emit recordingFailed(QString::fromStdString(failure.what()), false);
    return false;
  }
  for (LineInFile& inFile : lines_) inFile.described.reset();
  overflowReported_ = false;
  watch_.start();
  emit fileStarted();
  return true;
}

void RecordingSink::CloseFile() {
  // The writing thread syncs and closes the file on its own; nobody waits.
  if (file_) {
    file_->Finish();
    finishing_.push_back(std::move(file_));
    watch_.start();
  }
  for (LineInFile& inFile : lines_) inFile.described.reset();
}

}  // namespace tessaly
