#pragma once

#include <QDialog>

class QShowEvent;

namespace tessaly {

// The About box: the product's name and version, the makers' contact lines
// and the licence. Fixed size and centred on the screen each time it is
// shown. OK is the default button (Enter presses it) and closes the box, as
// do the close box and Escape (a box with nothing to decide is left with the
// key that leaves every other box).
class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CentreOnScreen();
};

}  // namespace tessaly
