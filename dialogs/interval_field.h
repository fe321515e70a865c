#pragma once

#include <QSpinBox>

namespace tessaly {

// The end-of-packet timeout field of both settings dialogs: a whole number
// with up and down arrows and no limits of its own.
class IntervalField : public QSpinBox {
  Q_OBJECT

 public:
  explicit IntervalField(QWidget* parent = nullptr);

  // The number the text spells; a text that is no whole number counts as 0.
  int TypedValue() const;

  // The interval the timer may take from the field. The timer needs at
  // least 1 ms (with 0 it would never expire and no packet would ever end),
  // so a smaller value, or no number at all, is corrected to 1 in the field
  // and 1 is returned.
  int AcceptedInterval();

 protected:
  // Leaving the field, or pressing Enter or Ok, with no whole number in it
  // (emptied, or only a minus sign) must not bring back the previous value
  // unseen: such a text counts as 0, which Ok then corrects to 1.
  void fixup(QString& text) const override;
};

}  // namespace tessaly
