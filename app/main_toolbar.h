#pragma once

#include <QToolBar>

class QToolButton;

namespace tessaly {

// The main window's toolbar: Start/Stop, then the two settings commands,
// then About, separated by fixed gaps. Every button names its command in a
// tooltip; the Start/Stop picture shows whether a link is open.
class MainToolbar : public QToolBar {
  Q_OBJECT

 public:
  explicit MainToolbar(QWidget* parent = nullptr);

  QToolButton* StartButton() const { return start_; }
  QToolButton* TcpSettingsButton() const { return tcpSettings_; }
  QToolButton* SerialSettingsButton() const { return serialSettings_; }
  QToolButton* AboutButton() const { return about_; }

  int StartImageIndex() const { return startImageIndex_; }
  void SetStartImageIndex(int index);

 private:
  void AddGap(int designWidth);
  QToolButton* AddButton(const char* objectName, int imageIndex);

  QToolButton* start_;
  QToolButton* tcpSettings_;
  QToolButton* serialSettings_;
  QToolButton* about_;
  int startImageIndex_ = -1;
};

}  // namespace tessaly
