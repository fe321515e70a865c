#pragma once

#include <QFrame>

#include <array>

class QLineEdit;

namespace tessaly {

// An IPv4 address field: four decimal octets from 0 to 255 separated by
// dots. Typing a dot, or the third digit of an octet, moves on to the next
// octet; the field is one stop in the tab order.
class Ipv4AddressField : public QFrame {
  Q_OBJECT

 public:
  explicit Ipv4AddressField(QWidget* parent = nullptr);

  // Splits a dotted-decimal address into the octets. Any other text (the
  // store can hold anything, a host name for instance) leaves all four
  // octets empty.
  void SetAddress(const QString& address);

  // The four octets joined by dots; an empty octet reads as 0.
  QString Address() const;
  // All four octets empty: no address was shown or typed.
  bool IsBlank() const;

  QLineEdit* Octet(int index) const { return octets_[static_cast<std::size_t>(index)]; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::array<QLineEdit*, 4> octets_{};
  // The octet the third digit of the previous one moved to, until its next
  // key: a dot typed there still belongs to the octet just completed.
  QLineEdit* advancedTo_ = nullptr;
};

}  // namespace tessaly
