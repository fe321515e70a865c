#pragma once

#include <QComboBox>
#include <QMetaObject>
#include <QString>

#include <filesystem>
#include <functional>

#include "links/serial/com_port.h"
#include "links/serial/com_select.h"
#include "links/serial/com_types.h"

namespace tessaly {

// A drop-down list (pick only, no typing) bound to one setting of a port.
// The user's pick becomes the pending value; ApplySelection writes it into
// the port (at once when AutoApply is on).
class TComComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit TComComboBox(QWidget* parent = nullptr);

  TCustomComPort* ComPort() const { return select_.ComPort(); }
  // Binds the list to the port (or unbinds it with nullptr) and shows the
  // port's current value. The binding ends by itself when the port is
  // destroyed; the first item is selected then.
  void SetComPort(TCustomComPort* port);

  TComProperty ComProperty() const { return select_.ComProperty(); }
  // Refills the items: the text forms of the setting, or for cpPort the
  // machine's port names (EComPort code 23 when they cannot be listed, with
  // the list left empty). Then shows the port's value, or without a port
  // selects the first item.
  void SetComProperty(TComProperty property);

  bool AutoApply() const { return select_.AutoApply(); }
  void SetAutoApply(bool autoApply) { select_.SetAutoApply(autoApply); }

  // The selected item's text; empty when nothing is selected.
  QString Text() const;
  // Selects the item equal to the text, ignoring case; changes nothing when
  // there is none.
  void SetText(const QString& text);

  void ApplySelection() { select_.ApplySelection(); }
  // Selects the item of the port's current value and makes it the pending
  // value; selects nothing (pending value kept) when no item matches.
  void ShowCurrent();

  const TComSelect& Selection() const { return select_; }
  // Where the port names are listed from, for tests with a made-up tree; a
  // list read from another sysfs tree lists no pseudo-terminals unless given
  // their folder too.
  void SetSysfsRoot(std::filesystem::path root, std::filesystem::path ptsRoot = {}) {
    sysfsRoot_ = std::move(root);
    ptsRoot_ = std::move(ptsRoot);
  }

  // Runs after each pick by the user.
  std::function<void(TComComboBox& sender)> OnChange;

 private:
  void ItemPicked();
  void PortDestroyed();

  TComSelect select_;
  std::filesystem::path sysfsRoot_{"/sys"};
  std::filesystem::path ptsRoot_{"/dev/pts"};
  QMetaObject::Connection portDestroyed_;
};

}  // namespace tessaly
