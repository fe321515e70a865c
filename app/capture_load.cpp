#include "app/capture_load.h"

#include "app/capture_lines.h"
#include "log/packet_log_model.h"
#include "capture_file/capture_file_writer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <new>
#include <system_error>

namespace tessaly {
namespace {

int PercentOf(const CapturePacketStream& stream) {
  if (stream.Size() == 0) return 100;
  return static_cast<int>(std::min<std::uint64_t>(100, stream.Offset() * 100 / stream.Size()));
}

}  // namespace

CaptureLoad::CaptureLoad(const QString& path, QObject* parent) : QObject(parent) {
  deliveryTimer_.setSingleShot(true);
  deliveryTimer_.setInterval(0);
  connect(&deliveryTimer_, &QTimer::timeout, this, &CaptureLoad::Deliver);
  stream_ = std::make_unique<CapturePacketStream>(QFile::encodeName(path).toStdString());
  endedEarly_ = !ReadCaptureBatch(*stream_, first_, kFirstPackets, interfacesSeen_);
  // A torn last block is what a writer cut off leaves; a file torn before
  // it says anything is no capture.
  if (endedEarly_ && stream_->Torn() && stream_->Interfaces().empty()) {
    throw CaptureFileError("Cannot read the capture " + stream_->Name() + ": it is cut off before its first packet");
  }
  firstInterfaces_ = stream_->Interfaces();
}

CaptureLoad::~CaptureLoad() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = true;
  }
  room_.notify_all();
  if (reader_.joinable()) reader_.join();
}

void CaptureLoad::Start(PacketLogModel& log, CaptureLines& lines) {
  log_ = &log;
  lines_ = &lines;
  const bool whole = Append(first_, 0, first_.packets.size());
  if (!first_.packets.empty()) lastStamp_ = first_.packets.back().stamp;
  first_ = {};
  if (!whole) return;
  log.AnnouncePackets();
  if (endedEarly_) {
    // A short file is whole at once, as if it had been read in one go.
    done_ = true;
    percent_ = 100;
    Deliver();
    return;
  }
  try {
    reader_ = std::thread([this] { Run(); });
  } catch (const std::system_error& failure) {
    // No thread to be had: the first packets stay, and the user hears why
    // the rest are missing.
    done_ = true;
    failure_ = QStringLiteral("Cannot read the capture %1: %2")
                   .arg(QString::fromStdString(stream_->Name()), QString::fromLocal8Bit(failure.what()));
    Deliver();
  }
}

void CaptureLoad::Run() {
  // The window's thread comes first: on a busy machine the reading waits,
  // not the painting and the keys.
  (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 5);
  QString failure;
  bool more = true;
  while (more && failure.isEmpty()) {
    std::unique_ptr<CaptureBatch> batch;
    try {
      batch = std::make_unique<CaptureBatch>();
      more = ReadCaptureBatch(*stream_, *batch, kBatchPackets, interfacesSeen_);
    } catch (const CaptureFileError& fault) {
      // What was read before the fault is kept and shown.
      failure = QString::fromStdString(fault.what());
    } catch (const std::bad_alloc&) {
      failure = QStringLiteral("Cannot read the capture %1: out of memory").arg(QString::fromStdString(stream_->Name()));
    } catch (const std::exception& fault) {
      // Nothing thrown on this thread may end the program.
      failure = QStringLiteral("Cannot read the capture %1: %2")
                    .arg(QString::fromStdString(stream_->Name()), QString::fromLocal8Bit(fault.what()));
    }
    {
      std::unique_lock<std::mutex> lock(mutex_);
      room_.wait(lock, [this] { return cancelled_ || ready_.size() < kBatchesAhead; });
      if (cancelled_) return;
      ready_.push_back(std::move(batch));
      percent_ = PercentOf(*stream_);
      if (!more || !failure.isEmpty()) {
        done_ = true;
        failure_ = failure;
      }
    }
    PostDelivery();
  }
}

void CaptureLoad::PostDelivery() {
  // One delivery waits at a time, and it comes from a zero timer, which
  // fires once the window's own events are handled: pieces posted one
  // after another would keep its timers and input waiting.
  if (deliveryPending_.exchange(true)) return;
  if (QThread::currentThread() == thread()) {
    deliveryTimer_.start();
  } else {
    QMetaObject::invokeMethod(&deliveryTimer_, qOverload<>(&QTimer::start), Qt::QueuedConnection);
  }
}

bool CaptureLoad::Append(const CaptureBatch& batch, std::size_t first, std::size_t end) {
  const QString name = QString::fromStdString(stream_->Name());
  try {
    const std::size_t appended = AppendCaptureBatch(batch, first, end, *log_, *lines_);
    packets_ += appended;
    if (appended == end - first) return true;
    Fail(QStringLiteral("Cannot read the capture %1: its packets come on more than %2 lines, more than the log "
                        "tells apart")
             .arg(name)
             .arg(CaptureLines::kMaxLines));
  } catch (const std::exception& failure) {
    // Whatever the log refuses ends the reading with a message, never the
    // program: the file may come from anywhere.
    Fail(QStringLiteral("Cannot read the capture %1: %2").arg(name, QString::fromLocal8Bit(failure.what())));
  }
  return false;
}

void CaptureLoad::Fail(const QString& failure) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = true;
    ready_.clear();
  }
  room_.notify_all();
  appending_.reset();
  reported_ = true;
  log_->AnnouncePackets();
  emit finished(packets_, false, failure);
}

void CaptureLoad::Deliver() {
  deliveryPending_ = false;
  if (reported_ || !log_) return;
  QElapsedTimer slice;
  slice.start();
  do {
    if (!appending_) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (ready_.empty()) break;
        appending_ = std::move(ready_.front());
        ready_.pop_front();
      }
      room_.notify_all();
      appended_ = 0;
      if (!appending_) continue;  // the reader ran out of memory before the batch began
    }
    const std::size_t end = std::min(appended_ + kPiecePackets, appending_->packets.size());
    if (!Append(*appending_, appended_, end)) return;
    appended_ = end;
    if (end == appending_->packets.size()) {
      if (end > 0) lastStamp_ = appending_->packets.back().stamp;
      appending_.reset();
    }
  } while (slice.elapsed() < kSliceMs && !log_->MemoryExhausted());
  log_->AnnouncePackets();
  if (log_->MemoryExhausted()) {
    // The log refuses packets from now on and has said so; reading on
    // would only spend the disk's time.
    reported_ = true;
    emit finished(packets_, false, QString());
    return;
  }
  bool done = false;
  bool waiting = false;  // for the reader, which says when it has more
  int percent = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting = !appending_ && ready_.empty();
    done = waiting && done_;
    percent = percent_;
  }
  if (!done) {
    emit progress(packets_, percent);
    if (!waiting) PostDelivery();
    return;
  }
  // The reader has finished with the stream: what it noted is safe to read.
  for (const std::string& comment : stream_->Comments()) {
    log_->AppendMark(QString::fromStdString(comment), lastStamp_);
  }
  log_->AnnouncePackets();
  reported_ = true;
  emit finished(packets_, stream_->Torn(), failure_);
}

}  // namespace tessaly
