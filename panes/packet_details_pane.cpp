#include "panes/packet_details_pane.h"

#include "log/log_packets.h"
#include "modbus/hex_dump.h"

#include <QFontDatabase>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBrowser>
#include <QUrl>

#include <algorithm>

namespace tessaly {
namespace {

// The text as a page whose row references ("row 18") are links to them.
QString WithRowLinks(const QString& text) {
  static const QRegularExpression kRowReference(QStringLiteral("\\brow (\\d+)"));
  QString page = QStringLiteral("<div style=\"white-space:pre\">");
  qsizetype done = 0;
  for (const QRegularExpressionMatch& match : kRowReference.globalMatch(text)) {
    page += text.mid(done, match.capturedStart() - done).toHtmlEscaped();
    page += QStringLiteral("<a href=\"row:%1\">%2</a>").arg(match.captured(1), match.captured(0));
    done = match.capturedEnd();
  }
  page += text.mid(done).toHtmlEscaped() + QStringLiteral("</div>");
  return page;
}

// An event row as the details show it: what happened, and that it is no
// frame (the grid shows it between dashes).
QString EventText(int row, QString note) {
  static const QString kDash = QStringLiteral("\u2014");
  note = note.trimmed();
  if (note.startsWith(kDash)) note = note.mid(1).trimmed();
  if (note.endsWith(kDash)) note.chop(1);
  return QStringLiteral("Row:    %1\nEvent:  %2\nFrame:  none: an event of the capture, no byte came on the line\n")
      .arg(row + 1)
      .arg(note.trimmed());
}

}  // namespace

PacketDetailsPane::PacketDetailsPane(const PacketLogModel& log, QWidget* parent)
    : QDockWidget(QStringLiteral("Packet details"), parent), log_(log) {
  setObjectName(QStringLiteral("PacketDetailsPane"));
  text_ = new QTextBrowser(this);
  text_->setObjectName(QStringLiteral("PacketDetailsText"));
  text_->setOpenLinks(false);
  text_->setLineWrapMode(QTextEdit::NoWrap);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  text_->document()->setDefaultFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  setWidget(text_);
  connect(text_, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) { FollowLink(link.toString()); });
  ShowRow(-1);
}

void PacketDetailsPane::SetLineTiming(modbus::LineTiming timing) {
  // Set again before every row shown (as often as rows arrive while the
  // log follows them): the text is only made again when the times change.
  if (timing.bitsPerSecond == timing_.bitsPerSecond &&
      timing.bitsPerCharacter == timing_.bitsPerCharacter) {
    return;
  }
  timing_ = timing;
  Refresh();
}

void PacketDetailsPane::SetNotation(modbus::AddressNotation notation) {
  if (notation == notation_) return;
  notation_ = notation;
  Refresh();
}

QString PacketDetailsPane::Text() const { return text_->toPlainText(); }

bool PacketDetailsPane::FollowLink(const QString& link) {
  if (!link.startsWith(QStringLiteral("row:"))) return false;
  bool number = false;
  const int row = link.mid(4).toInt(&number);
  if (!number || row < 1 || row > LogPackets(log_).Size()) return false;
  emit rowLinkFollowed(row - 1);
  return true;
}

void PacketDetailsPane::ShowRow(int row) {
  const bool sameRow = row == row_;
  row_ = row;
  const LogPackets packets(log_);
  if (row < 0 || row >= packets.Size()) {
    text_->setPlainText(QStringLiteral("No packet selected."));
    return;
  }
  if (const QString* note = log_.MarkAt(row)) {
    // An event of the capture, not a packet: no bytes, nothing to decode.
    text_->setHtml(WithRowLinks(EventText(row, *note)));
    return;
  }
  const std::vector<modbus::DetailLine> lines = modbus::DescribePacket(packets, row, timing_, notation_);
  std::size_t width = 0;
  for (const auto& line : lines) width = std::max(width, line.label.size());
  std::string text;
  for (const auto& line : lines) {
    text += line.label + ":" + std::string(width + 2 - line.label.size(), ' ') + line.value + "\n";
  }
  const modbus::LoggedPacket packet = packets.At(row);
  text += "\n" + modbus::HexDump(packet.bytes, packet.count) + "\n";
  // Keeps the reader's place when the same row is shown again.
  const int scrolled = sameRow ? text_->verticalScrollBar()->value() : 0;
  text_->setHtml(WithRowLinks(QString::fromStdString(text)));
  text_->verticalScrollBar()->setValue(scrolled);
}

}  // namespace tessaly
