#pragma once

#include "modbus/conversation.h"

#include <QDockWidget>

class QTextBrowser;

namespace tessaly {

class PacketLogModel;

// A pane beside the log that shows one packet decoded as a Modbus RTU frame:
// what it is and its CRC, its time on the line and the silence before it,
// its fields, its request or answer, and its bytes as a hex dump. Row
// references in the text are links that move the grid to their row.
class PacketDetailsPane : public QDockWidget {
  Q_OBJECT

 public:
  explicit PacketDetailsPane(const PacketLogModel& log, QWidget* parent = nullptr);

  // The line's speed and character size, for times on the line.
  void SetLineTiming(modbus::LineTiming timing);
  // How addresses are written (0-based, as sent, by default).
  void SetNotation(modbus::AddressNotation notation);

  // Shows the packet of a log row (-1 or a row without a packet: nothing).
  void ShowRow(int row);
  int Row() const { return row_; }
  // Shows the row again, as later packets may have answered it.
  void Refresh() { ShowRow(row_); }

  QString Text() const;

  // Follows a row reference of the text ("row:18"): asks for that log row.
  // False for anything else, or a row the log does not hold.
  bool FollowLink(const QString& link);

 signals:
  // The user followed a row reference: the log's row (from 0).
  void rowLinkFollowed(int row);

 private:
  const PacketLogModel& log_;
  modbus::LineTiming timing_;
  modbus::AddressNotation notation_ = modbus::AddressNotation::kZeroBased;
  QTextBrowser* text_;
  int row_ = -1;
};

}  // namespace tessaly
