#pragma once

#include "capture/packet_framer.h"
#include "session/capture_recording.h"
#include "session/line_description.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace tessaly {

// Where the finished packets of a window's capture go: to the log, and
// while a capture runs also to a capture file of its own, so that what was
// captured survives the program. One file per capture: BeginCapture starts
// one (opened with its first packet, so a start that catches nothing leaves
// no file), a new file follows each NewFile, and EndCapture closes it.
//
// Each line the capture listens to becomes an interface of the file, with
// its description as the line is set; a line that changes (a reconnection
// elsewhere, another interval) adds one.
class RecordingSink : public QObject, public PacketSink {
  Q_OBJECT

 public:
  // Names the file of a capture begun at start on line.
  using FileNamer = std::function<std::string(PacketTime start, const LineDescription& line)>;

  RecordingSink(PacketSink& log, FileNamer namer, QObject* parent = nullptr);
  ~RecordingSink() override;

  // What the capture listens to now; asked for each packet.
  void SetLineSource(std::function<LineDescription()> line) { line_ = std::move(line); }

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

  // The file being written, empty when none.
  QString CurrentFile() const;

  // Packets written to capture files since ForgetPackets: when the log holds
  // no more packets than this, every one of them is kept on disk.
  long long RecordedPackets() const { return recorded_; }
  void ForgetPackets() { recorded_ = 0; }

 signals:
  // The file could not be made or written (message: the file and the
  // cause); recording has ended for this capture. midCapture: writing
  // failed after the file began (a full disk), and the file keeps what was
  // written before; otherwise no file was made.
  void recordingFailed(const QString& message, bool midCapture);
  // A new capture file has begun (CurrentFile() names it).
  void fileStarted();

 private:
  // True when the packet went to the file.
  bool Record(const std::uint8_t* bytes, int count, const PacketTiming& timing);
  bool OpenFile();
  void CloseFile();

  PacketSink& log_;
  FileNamer namer_;
  std::function<LineDescription()> line_;
  std::unique_ptr<CaptureRecording> file_;
  std::optional<LineDescription> fileLine_;  // the interface last added
  std::uint32_t interfaceId_ = 0;
  PacketTime start_ = 0;
  bool capturing_ = false;
  bool endAfterPacket_ = false;
  long long recorded_ = 0;
};

// The interface a capture file gives a line.
CaptureInterface InterfaceOf(const LineDescription& line);

}  // namespace tessaly
