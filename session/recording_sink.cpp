#include "session/recording_sink.h"

#include "capture_file/capture_file_writer.h"
#include "presentation/product.h"

#include <QMetaObject>
#include <QPointer>

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
    : QObject(parent), log_(log), namer_(std::move(namer)) {}

RecordingSink::~RecordingSink() = default;

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
  // The log was emptied for it: none of its packets are in the old file.
  recordedFiles_.clear();
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
  if ((capturing_ || endAfterPacket_) && Record(line, bytes, count, timing)) ++recorded_;
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
    CaptureInterface link = InterfaceOf(description);
    if (masterLine_ >= 0) {
      link.direction = line == masterLine_ ? CaptureInterface::Direction::kOutbound : CaptureInterface::Direction::kInbound;
    }
    inFile.interfaceId = file_->AddInterface(link);
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
  recordedFiles_ << CurrentFile();
  emit fileStarted();
  return true;
}

void RecordingSink::CloseFile() {
  // Closing waits for the writing thread to sync and close the file.
  file_.reset();
  for (LineInFile& inFile : lines_) inFile.described.reset();
}

}  // namespace tessaly
