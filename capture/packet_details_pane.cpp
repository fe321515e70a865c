#include "capture/packet_details_pane.h"

#include "capture/log_packets.h"
#include "capture/modbus/hex_dump.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QScrollBar>

#include <algorithm>

namespace tessaly {

PacketDetailsPane::PacketDetailsPane(const PacketLogModel& log, QWidget* parent)
    : QDockWidget(QStringLiteral("Packet details"), parent), log_(log) {
  setObjectName(QStringLiteral("PacketDetailsPane"));
  text_ = new QPlainTextEdit(this);
  text_->setObjectName(QStringLiteral("PacketDetailsText"));
  text_->setReadOnly(true);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  setWidget(text_);
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

QString PacketDetailsPane::Text() const { return text_->toPlainText(); }

void PacketDetailsPane::ShowRow(int row) {
  const bool sameRow = row == row_;
  row_ = row;
  const LogPackets packets(log_);
  if (row < 0 || row >= packets.Size()) {
    text_->setPlainText(QStringLiteral("No packet selected."));
    return;
  }
  const std::vector<modbus::DetailLine> lines = modbus::DescribePacket(packets, row, timing_);
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
  text_->setPlainText(QString::fromStdString(text));
  text_->verticalScrollBar()->setValue(scrolled);
}

}  // namespace tessaly
