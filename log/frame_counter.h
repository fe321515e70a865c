#pragma once

#include <QObject>
#include <QString>

namespace tessaly {

class PacketLogModel;

// Counts the good Modbus RTU frames of the packet log and the packets that
// are not (bad CRC, too short, merged), as rows reach the views; a log that
// is cleared starts the count again.
class FrameCounter : public QObject {
  Q_OBJECT

 public:
  explicit FrameCounter(const PacketLogModel& log, QObject* parent = nullptr);

  int Good() const { return good_; }
  int Bad() const { return bad_; }
  // "Frames: 120 good, 3 bad".
  QString Text() const;

 signals:
  void countsChanged();

 private:
  void CountNewRows();

  const PacketLogModel& log_;
  int counted_ = 0;
  int good_ = 0;
  int bad_ = 0;
};

}  // namespace tessaly
