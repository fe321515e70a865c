#include "dialogs/port_field.h"

#include <QLineEdit>

#include <algorithm>

namespace tessaly {
namespace {

constexpr int kMaxDigits = 5;

}  // namespace

PortField::PortField(QWidget* parent) : QSpinBox(parent) {
  setObjectName(QStringLiteral("ePort"));
  setRange(kLowest, kHighest);
  setSingleStep(1);
  lineEdit()->setMaxLength(kMaxDigits);
  connect(lineEdit(), &QLineEdit::textEdited, this, [this] { CorrectText(); });
}

int PortField::Corrected(const QString& text) {
  bool isNumber = false;
  const int value = text.trimmed().toInt(&isNumber);
  if (!isNumber) return kLowest;
  return std::clamp(value, kLowest, kHighest);
}

void PortField::SetPort(int port) { setValue(std::clamp(port, kLowest, kHighest)); }

QValidator::State PortField::validate(QString& text, int& /*position*/) const {
  // Any run of up to five digits may be typed; the field corrects it at once.
  if (text.size() > kMaxDigits) return QValidator::Invalid;
  for (QChar c : text) {
    if (!c.isDigit()) return QValidator::Invalid;
  }
  return QValidator::Acceptable;
}

int PortField::valueFromText(const QString& text) const { return Corrected(text); }

void PortField::fixup(QString& text) const { text = QString::number(Corrected(text)); }

void PortField::focusOutEvent(QFocusEvent* event) {
  CorrectText();
  QSpinBox::focusOutEvent(event);
}

void PortField::CorrectText() {
  const int port = Corrected(lineEdit()->text());
  const QString text = QString::number(port);
  if (lineEdit()->text() != text) {
    lineEdit()->setText(text);
    // Selected, so that the next digit replaces the correction: deleting
    // the port and typing 8080 must give 8080, not 18080.
    lineEdit()->selectAll();
  }
  setValue(port);
}

}  // namespace tessaly
