#include "dialogs/first_field_focus.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLineEdit>

namespace tessaly {
namespace {

QLineEdit* TextOf(QWidget& field) {
  if (auto* edit = qobject_cast<QLineEdit*>(&field)) return edit;
  if (auto* list = qobject_cast<QComboBox*>(&field)) return list->lineEdit();  // null unless editable
  if (auto* spin = qobject_cast<QAbstractSpinBox*>(&field)) return spin->findChild<QLineEdit*>();
  if (QWidget* proxy = field.focusProxy(); proxy != nullptr) return TextOf(*proxy);
  return nullptr;
}

}  // namespace

void FocusWithTextSelected(QWidget& field) {
  // The tab key's reason: a line edit selects its text for it, and keeps the
  // selection when the window is activated afterwards.
  field.setFocus(Qt::TabFocusReason);
  if (QLineEdit* edit = TextOf(field); edit != nullptr) edit->selectAll();
}

}  // namespace tessaly
