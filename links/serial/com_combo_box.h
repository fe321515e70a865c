#pragma once

#include <QComboBox>
#include <QMetaObject>
#include <QString>

#include <filesystem>
#include <functional>

#include "links/serial/com_port.h"
#include "links/serial/com_select.h"
#include "links/serial/com_types.h"
#include "links/serial/port_names.h"

#include <vector>

namespace tessaly {

// A drop-down list (pick only, no typing) bound to one setting of a port.
// The user's pick becomes the pending value; ApplySelection writes it into
// the port (at once when AutoApply is on).
//
// The port list (cpPort) is the one exception to "pick only": the user may
// also type a device path. Its drop-down shows what each port is beside its
// name, and the box shows the port's name as the user chose it (COM1 stays
// COM1 while its entry, ttyS0, is the one selected).
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

  // The selected item's text; empty when nothing is selected. For the port
  // list, the name in its box, as picked or typed.
  QString Text() const;
  // Selects the item equal to the text, ignoring case; changes nothing when
  // there is none.
  void SetText(const QString& text);

  void ApplySelection() { select_.ApplySelection(); }
  // Selects the item of the port's current value and makes it the pending
  // value; selects nothing (pending value kept) when no item matches.
  void ShowCurrent();

  const TComSelect& Selection() const { return select_; }
  // Where the port list is read from, for tests with a made-up tree.
  void SetSystemRoots(SystemRoots roots) { roots_ = std::move(roots); }
  // A made-up sysfs tree alone: no /dev or /proc behind it.
  void SetSysfsRoot(std::filesystem::path root) { roots_ = SystemRoots{std::move(root), {}, {}}; }

  // Reads the port list again (ports come and go while the program runs),
  // keeping the name in the box and the pending value. EComPort code 23
  // when the list cannot be read, with the list left empty.
  void RefreshPortList();

  // Runs after each pick by the user.
  std::function<void(TComComboBox& sender)> OnChange;

 private:
  void ItemPicked();
  void PortDestroyed();
  void FillPortList();
  // Selects the entry for the name (none if it is not listed) and shows the
  // name itself in the box.
  void ShowPortName(const QString& name);

  TComSelect select_;
  SystemRoots roots_;
  std::vector<PortEntry> portEntries_;
  QMetaObject::Connection portDestroyed_;
};

}  // namespace tessaly
