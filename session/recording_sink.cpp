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
  start_ = WallClockNow();
}

void RecordingSink::AppendMark(const QString& text) {
  if (file_) file_->AddComment(text.toStdString());
}

void RecordingSink::AppendPacket(const std::uint8_t* bytes, int count, PacketTime endedAt) {
  AppendPacket(bytes, count, PacketTiming{endedAt, endedAt, endedAt});
}

void RecordingSink::AppendPacket(const std::uint8_t* bytes, int count, const PacketTiming& timing) {
  // The log first: it refuses a packet it cannot take by throwing, and
  // then the file does not hold it either.
  log_.AppendPacket(bytes, count, timing);
  if ((capturing_ || endAfterPacket_) && Record(bytes, count, timing)) ++recorded_;
  if (endAfterPacket_) {
    endAfterPacket_ = false;
    capturing_ = false;
    CloseFile();
  }
}

QString RecordingSink::CurrentFile() const {
  return file_ ? QString::fromStdString(file_->Path()) : QString();
}

bool RecordingSink::Record(const std::uint8_t* bytes, int count, const PacketTiming& timing) {
  if (!file_ && !OpenFile()) return false;
  if (file_->Failed()) return false;
  const LineDescription line = line_ ? line_() : LineDescription{};
  if (line != fileLine_) {
    interfaceId_ = file_->AddInterface(InterfaceOf(line));
    fileLine_ = line;
  }
  file_->AddPacket(interfaceId_, bytes, count, timing);
  return true;
}

bool RecordingSink::OpenFile() {
  const LineDescription line = line_ ? line_() : LineDescription{};
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
  fileLine_.reset();
  emit fileStarted();
  return true;
}

void RecordingSink::CloseFile() {
  // Closing waits for the writing thread to sync and close the file.
  file_.reset();
  fileLine_.reset();
}

}  // namespace tessaly
