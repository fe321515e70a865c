#include "app/capture_open.h"

#include "app/capture_lines.h"
#include "capture/packet_log_model.h"
#include "capture_file/capture_file_writer.h"
#include "settings/program_key.h"
#include "settings/registry.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

namespace tessaly {
namespace {

constexpr const char* kRecentKey = "RecentCaptures";

std::string RecentKeyPath() { return std::string(kProgramKeyPath) + "\\" + kRecentKey; }

std::string RecentValueName(int index) { return "File" + std::to_string(index + 1); }

bool CarriesModbusRtu(std::uint16_t linkType) {
  return linkType >= kFirstUserLinkType && linkType <= kLastUserLinkType;
}

QString LocalText(PacketTime at, const QString& format) {
  return QDateTime::fromMSecsSinceEpoch(at / 1000).toString(format);
}

}  // namespace

CaptureFileContents ReadCaptureForLog(const QString& path) {
  CaptureFileContents contents = ReadCaptureFile(QFile::encodeName(path).toStdString());
  // A torn last block is what a writer cut off leaves; a file torn before
  // it says anything is no capture.
  if (contents.torn && contents.interfaces.empty()) {
    throw CaptureFileError("Cannot read the capture " + path.toStdString() + ": it is cut off before its first packet");
  }
  // Only the interfaces that carry packets count: a file may describe a
  // link it never captured on.
  for (const CapturedPacket& packet : contents.packets) {
    if (packet.interfaceId >= contents.interfaces.size()) {
      throw CaptureFileError("Cannot read the capture " + path.toStdString() +
                             ": a packet names an interface the file does not describe");
    }
    const std::uint16_t linkType = contents.interfaces[packet.interfaceId].linkType;
    if (!CarriesModbusRtu(linkType)) {
      throw CaptureFileError("Cannot read the capture " + path.toStdString() + ": its packets are of link type " +
                             std::to_string(linkType) + ", not Modbus RTU frames (link types 147 to 162)");
    }
  }
  return contents;
}

void ShowCaptureInLog(const CaptureFileContents& contents, PacketLogModel& log) {
  log.Clear();
  // A file of two lines shows each row's line, as its capture did.
  const CaptureLines lines = LinesOfCapture(contents.interfaces);
  log.SetLineNames(lines.Several() ? lines.names : QStringList());
  // A file does not say which of its lines the master spoke on.
  log.SetMasterLine(-1);
  for (const CapturedPacket& packet : contents.packets) {
    // A note the writer kept went with the packet after it.
    for (const std::string& comment : packet.comments) {
      if (!ParseFirstByteComment(comment)) log.AppendMark(QString::fromStdString(comment), packet.stamp);
    }
    // The last byte's time is not kept, and the end (after the silence) is
    // no stand-in for it: silences and turnarounds would come out short by
    // the end-of-packet interval. Without it they are worked out from the
    // packets' ends and the line's speed.
    log.AppendCapturedPacket(packet.bytes.data(), static_cast<int>(packet.bytes.size()), packet.stamp,
                             packet.bytes.empty() ? std::nullopt : packet.firstByte,
                             LineOfInterface(lines, packet.interfaceId));
  }
  const PacketTime end = contents.packets.empty() ? 0 : contents.packets.back().stamp;
  for (const std::string& comment : contents.comments) log.AppendMark(QString::fromStdString(comment), end);
  log.AnnouncePackets();
}

QString UnfinishedCaptureQuestion(const CaptureFileContents& contents) {
  const std::size_t count = contents.packets.size();
  QString span;
  if (count > 0) {
    const PacketTime start = contents.packets.front().firstByte.value_or(contents.packets.front().stamp);
    const PacketTime end = contents.packets.back().stamp;
    const bool sameDay = LocalText(start, QStringLiteral("yyyyMMdd")) == LocalText(end, QStringLiteral("yyyyMMdd"));
    span = QStringLiteral(", %1\u2013%2")
               .arg(LocalText(start, QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                    LocalText(end, sameDay ? QStringLiteral("HH:mm:ss") : QStringLiteral("yyyy-MM-dd HH:mm:ss")));
  }
  return QStringLiteral("The last capture (%1 packets%2) was not closed. Open it?").arg(count).arg(span);
}

QStringList RecentCaptures(const std::filesystem::path& storeDirectory) {
  QStringList files;
  try {
    TRegistry store(storeDirectory);
    store.SetRootKey(RegistryRoot::CurrentUser);
    if (!store.OpenKey(RecentKeyPath(), false)) return files;
    for (int i = 0; i < kRecentCaptures; ++i) {
      if (!store.ValueExists(RecentValueName(i))) break;
      const QString file = QString::fromStdString(store.ReadString(RecentValueName(i)));
      if (!file.isEmpty()) files << file;
    }
  } catch (const ERegistryException&) {
    // A list that cannot be read is an empty list: it only saves typing.
  }
  return files;
}

void RememberRecentCapture(const std::filesystem::path& storeDirectory, const QString& path) {
  QStringList files = RecentCaptures(storeDirectory);
  const QString file = QFileInfo(path).absoluteFilePath();
  files.removeAll(file);
  files.prepend(file);
  TRegistry store(storeDirectory);
  store.SetRootKey(RegistryRoot::CurrentUser);
  store.OpenKey(RecentKeyPath(), true);
  store.BeginWrites();
  for (int i = 0; i < kRecentCaptures; ++i) {
    store.WriteString(RecentValueName(i), i < files.size() ? files[i].toStdString() : std::string());
  }
  store.CommitWrites();
}

}  // namespace tessaly
