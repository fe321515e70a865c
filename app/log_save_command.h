#pragma once

#include "modbus/decoded_row.h"
#include "capture_file/capture_file_format.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <optional>
#include <memory>

class QProgressDialog;
class QWidget;

namespace tessaly {

class LogWriteJob;
class PacketLogModel;

// File > Save log as: asks for a file name, then writes the log as it is at
// that moment on a thread of its own while capture goes on. A save that takes
// more than a moment shows its progress and can be cancelled; a failure is
// reported with the path and the reason.
class LogSaveCommand : public QObject {
  Q_OBJECT

 public:
  // The progress shows once a save has taken this long.
  static constexpr int kProgressDelay = 500;  // milliseconds

  // The folder and type last saved to are remembered in the store in
  // storeDirectory.
  LogSaveCommand(PacketLogModel& log, QWidget& window, std::filesystem::path storeDirectory);

  // Names the link packets come from now (a port or a gateway's address),
  // for the file name proposed.
  void SetLinkName(std::function<QString()> linkName) { linkName_ = std::move(linkName); }
  // How "CSV with decoded fields" decodes the rows, asked when a save
  // starts: the line's timing, the register types and the notation.
  void SetDecoding(std::function<modbus::DecodingChoices()> decoding) { decoding_ = std::move(decoding); }
  // The line the rows came from, which a pcapng file describes.
  void SetLine(std::function<CaptureInterface()> line) { line_ = std::move(line); }
  // The second line, for a log of two lines saved as pcapng; nothing when
  // the log holds one.
  void SetSecondLine(std::function<std::optional<CaptureInterface>()> line) { secondLine_ = std::move(line); }
  ~LogSaveCommand() override;

  // Asks for the file, then saves. The dialog opens in the folder last
  // saved to, with the type last saved and a name from the capture's start
  // and link; it lists the files of every type whichever is chosen.
  // beforeSaving runs once a file has been chosen, before the log's rows
  // are taken.
  void Run(const std::function<void()>& beforeSaving = {});

  // The name proposed, without folder or extension.
  QString ProposedName() const;

  // Saves to the file without asking, in the format its extension names,
  // or with decoded fields added to a CSV.
  void SaveTo(const QString& fileName, bool decodedFields = false);

  bool Saving() const { return job_ != nullptr; }
  void Cancel();
  // Shows the running save's progress at once rather than after
  // kProgressDelay.
  void ShowProgressNow();

 signals:
  // The file is complete, holding the log's first rows packets.
  void saved(const QString& fileName, int rows);
  // The save ended: written, cancelled or failed (after its report).
  void finished();

 private:
  void ShowProgress();
  void Finish();

  PacketLogModel& log_;
  QWidget& window_;
  std::filesystem::path storeDirectory_;
  std::function<QString()> linkName_;
  std::function<modbus::DecodingChoices()> decoding_;
  std::function<CaptureInterface()> line_;
  std::function<std::optional<CaptureInterface>()> secondLine_;
  QString linkAtStart_;  // the link when the log's first packet came
  std::unique_ptr<LogWriteJob> job_;
  QPointer<QProgressDialog> progress_;
  QTimer progressTimer_;
};

}  // namespace tessaly
