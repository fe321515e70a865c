#pragma once

#include "modbus/conversation.h"

#include <QObject>

#include <functional>

namespace tessaly {

class PacketLogModel;

// Hands the log's packets, oldest first and each once, to something that
// takes them one by one (the line statistics, the register watch). While
// idle it takes nothing, so a closed pane costs the capture nothing; made
// active, it catches up from where it stopped. A log that is reset (cleared)
// starts it again from nothing.
class LogFeed : public QObject {
  Q_OBJECT

 public:
  using Take = std::function<void(const modbus::LoggedPacket&)>;
  using Restart = std::function<void()>;

  LogFeed(const PacketLogModel& log, Take take, Restart restart, QObject* parent = nullptr);

  // Called before packets are taken, e.g. to learn how the line is timed
  // now.
  void SetBeforeTaking(std::function<void()> before) { before_ = std::move(before); }
  void SetActive(bool active);
  bool Active() const { return active_; }
  // Takes the packets not taken yet.
  void CatchUp();
  int Taken() const { return taken_; }

 signals:
  // Packets were taken, or the log was reset.
  void fed();

 private:
  void StartAgain();

  const PacketLogModel& log_;
  Take take_;
  Restart restart_;
  std::function<void()> before_;
  bool active_ = false;
  int taken_ = 0;
};

}  // namespace tessaly
