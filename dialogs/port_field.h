#pragma once

#include <QSpinBox>

namespace tessaly {

// The TCP port field: a whole number from 1 to 65534 that corrects itself at
// every change of its text and when the focus leaves it. A number below 1
// becomes 1, one above 65534 becomes 65534, and a text that is no number
// (an emptied field too) becomes 1.
class PortField : public QSpinBox {
  Q_OBJECT

 public:
  static constexpr int kLowest = 1;
  static constexpr int kHighest = 65534;

  explicit PortField(QWidget* parent = nullptr);

  // Puts a port into the field, corrected into its range.
  void SetPort(int port);
  static int Corrected(const QString& text);

 protected:
  QValidator::State validate(QString& text, int& position) const override;
  int valueFromText(const QString& text) const override;
  void fixup(QString& text) const override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void CorrectText();
};

}  // namespace tessaly
