#include "dialogs/interval_field.h"

#include <QLineEdit>

#include <limits>

namespace tessaly {
namespace {

int WholeNumberOf(const QString& text) {
  bool isNumber = false;
  const int value = text.trimmed().toInt(&isNumber);
  return isNumber ? value : 0;
}

}  // namespace

IntervalField::IntervalField(QWidget* parent) : QSpinBox(parent) {
  setObjectName(QStringLiteral("seEnd"));
  setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
  setSingleStep(1);
}

int IntervalField::TypedValue() const { return WholeNumberOf(lineEdit()->text()); }

void IntervalField::fixup(QString& text) const { text = QString::number(WholeNumberOf(text)); }

int IntervalField::AcceptedInterval() {
  const int value = TypedValue();
  if (value >= 1) return value;
  setValue(1);
  return 1;
}

}  // namespace tessaly
