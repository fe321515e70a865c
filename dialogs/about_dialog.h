#pragma once

#include <QDialog>

class QKeyEvent;
class QShowEvent;

namespace tessaly {

// The About box: the product's name and version, the makers' contact lines
// and the licence. Fixed size and centred on the screen each time it is
// shown. OK is the default button (Enter presses it) and closes the box, as
// does the close box; Escape does nothing, there being no Cancel to press.
class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void CentreOnScreen();
};

}  // namespace tessaly
