#pragma once

#include <QTableView>

namespace tessaly {

class PacketLogModel;

// The grid that shows the packet log ("sgLog"): fixed row heights so a log
// of millions of rows stays cheap to lay out, read-only cells, the time
// column drawn like a header, and the current row following every new
// packet so the latest traffic is always in sight.
class PacketLogView : public QTableView {
  Q_OBJECT

 public:
  // The first column widths, in screen pixels; the main window fits the
  // columns to the grid afterwards.
  static constexpr int kTimeColumnWidth = 90;
  static constexpr int kDataColumnWidth = 40;
  // At 120 pixels per inch, scaled to the screen.
  static constexpr int kRowHeight = 20;

  explicit PacketLogView(QWidget* parent = nullptr);

  // Shows the model (the view does not own it) and follows its new packets.
  void SetLogModel(PacketLogModel* model);
  PacketLogModel* LogModel() const { return logModel_; }

  // Writes the headers "Time" and "Packet data" and sets the first column
  // widths; the main window stretches the data column afterwards.
  void InitLog();

 private:
  void FollowPacket(int row);

  PacketLogModel* logModel_ = nullptr;
};

}  // namespace tessaly
