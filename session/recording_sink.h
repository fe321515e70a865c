#pragma once

#include "core/packet_framer.h"
#include "capture_file/capture_recording.h"
#include "session/line_description.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tessaly {

// Where the finished packets of a window's capture go: to the log, and
// while a capture runs also to a capture file of its own, so that what was
// captured survives the program. One file per capture: BeginCapture starts
// one (opened with its first packet, so a start that catches nothing leaves
// no file), a new file follows each NewFile, and EndCapture closes it.
//
// Each line the capture listens to becomes an interface of the file, with
// its description as the line is set; a line that changes (a reconnection
// elsewhere, another interval) adds one. A capture of two lines at once
// hands each packet with its line (AppendLinePacket), and each line has its
// own interfaces.
class RecordingSink : public QObject, public PacketSink {
  Q_OBJECT

 public:
  // Names the file of a capture begun at start on line.
  using FileNamer = std::function<std::string(PacketTime start, const LineDescription& line)>;

  RecordingSink(PacketSink& log, FileNamer namer, QObject* parent = nullptr);
  ~RecordingSink() override;

  // What the capture listens to now on its first line; asked for each packet.
  void SetLineSource(std::function<LineDescription()> line) { SetLineSource(0, std::move(line)); }
  // The same for each line of a capture of several (counted from 0).
  void SetLineSource(int line, std::function<LineDescription()> source);

  void BeginCapture();
  // Ends the capture's file. packetPending: a packet already read ends
  // later (at its silence); the file takes it, then closes.
  void EndCapture(bool packetPending = false);
  // While a capture runs: the file so far is closed, and the next packet
  // begins a new one (the log was emptied).
  void NewFile();
  bool Capturing() const { return capturing_; }

  // A note between packets (a link lost), kept in the file as a comment.
  void AppendMark(const QString& text);

  void AppendPacket(const std::uint8_t* bytes, int count, PacketTime endedAt) override;
  void AppendPacket(const std::uint8_t* bytes, int count, const PacketTiming& timing) override;
  void AppendLinePacket(int line, const std::uint8_t* bytes, int count, const PacketTiming& timing) override;

  // The file being written, empty when none.
  QString CurrentFile() const;

  // Packets kept in capture files since ForgetPackets: when the log holds
  // no more packets than this, every one of them is kept on disk. A file
  // whose writing failed counts only what reached it; a healthy one also
  // what it has queued, which its thread writes even after Stop.
  long long RecordedPackets() const { return static_cast<long long>(KeptPackets() - forgotten_); }
  void ForgetPackets() { forgotten_ = KeptPackets(); }
  // Packets queued to files that are closed but not yet finished.
  std::uint64_t UnfinishedPackets() const;

  // Files closed but still being written on their own threads: Stop, Clear
  // and opening a file never wait for them.
  bool Finishing() const { return !finishing_.empty(); }
  // Runs the event loop until every file is finished, or for at most
  // timeout; true when all are.
  bool WaitForFinishing(std::chrono::milliseconds timeout);

 signals:
  // The file could not be made or written (message: the file and the
  // cause); recording has ended for this capture. midCapture: writing
  // failed after the file began (a full disk), and the file keeps what was
  // written before; otherwise no file was made.
  void recordingFailed(const QString& message, bool midCapture);
  // A new capture file has begun (CurrentFile() names it).
  void fileStarted();
  // The file being written lags the line by more than kBehindLimit: by
  // seconds; 0 once it has caught up.
  void fileBehind(int seconds);
  // The files still being written after they were closed are all finished.
  void finishingDone();

 public:
  static constexpr std::chrono::milliseconds kBehindLimit{2000};

 private:
  // True when the packet went to the file.
  bool Record(int line, const std::uint8_t* bytes, int count, const PacketTiming& timing);
  LineDescription LineNow(int line) const;
  bool OpenFile();
  void CloseFile();
  // Hears when closed files are finished, and how far the open one lags.
  void Watch();
  std::uint64_t KeptPackets() const;

  PacketSink& log_;
  FileNamer namer_;
  // Per line: where its description comes from, and the interface of the
  // file last added for it, with the description it was added for.
  struct LineInFile {
    std::function<LineDescription()> source;
    std::optional<LineDescription> described;
    std::uint32_t interfaceId = 0;
  };
  std::vector<LineInFile> lines_;
  std::unique_ptr<CaptureRecording> file_;
  std::vector<std::unique_ptr<CaptureRecording>> finishing_;
  std::uint64_t writtenInFinished_ = 0;  // by files this sink has let go
  std::uint64_t forgotten_ = 0;
  bool overflowReported_ = false;
  int behindSaid_ = 0;
  QTimer watch_;
  PacketTime start_ = 0;
  bool capturing_ = false;
  bool endAfterPacket_ = false;
};

// The interface a capture file gives a line.
CaptureInterface InterfaceOf(const LineDescription& line);

}  // namespace tessaly
