#pragma once

#include <QStatusBar>

class QLabel;

namespace tessaly {

// The main window's status bar: the link state, the link's settings, and a
// fixed notice about updates, in three panels of fixed width.
class StatusPanels : public QStatusBar {
  Q_OBJECT

 public:
  explicit StatusPanels(QWidget* parent = nullptr);

  void SetLinkState(const QString& text);
  void SetLinkSettings(const QString& text);
  QString LinkState() const;
  QString LinkSettings() const;
  QString Notice() const;

  // The second line's state and settings, in two panels of their own after
  // the first line's, shown only while a second line is on.
  void ShowSecondLine(bool shown);
  bool SecondLineShown() const;
  void SetSecondLinkState(const QString& text);
  void SetSecondLinkSettings(const QString& text);
  QString SecondLinkState() const;
  QString SecondLinkSettings() const;

 private:
  QLabel* AddPanel(const char* objectName, int designWidth, Qt::Alignment alignment,
                   const QString& text);

  QLabel* linkState_;
  QLabel* linkSettings_;
  QLabel* notice_;
  QLabel* secondState_;
  QLabel* secondSettings_;
};

}  // namespace tessaly
