#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>

#include "links/serial/com_port.h"
#include "links/serial/com_types.h"

namespace tessaly {

// The binding behind a TComComboBox: which port and which of its settings a
// list stands for, and the value picked for each setting, pending until
// ApplySelection writes it into the port.
class TComSelect {
 public:
  TCustomComPort* ComPort() const { return port_; }
  void SetComPort(TCustomComPort* port) { port_ = port; }
  TComProperty ComProperty() const { return property_; }
  void SetComProperty(TComProperty property) { property_ = property; }
  bool AutoApply() const { return autoApply_; }
  void SetAutoApply(bool autoApply) { autoApply_ = autoApply; }

  // The text form of the bound port's current value of the property (the
  // port name itself, the derived kind for flow control); empty when unbound.
  QString CurrentText() const;
  // Makes the text the pending value of the property: as it is for the port
  // name, through the text conversion (with its fallback) for the others.
  void SetPendingText(const QString& text);
  // Writes the pending value of the property into the bound port.
  void ApplySelection() const;

  const QString& PendingPort() const { return pendingPort_; }
  TBaudRate PendingBaudRate() const { return pendingBaudRate_; }
  TDataBits PendingDataBits() const { return pendingDataBits_; }
  TStopBits PendingStopBits() const { return pendingStopBits_; }
  TParityBits PendingParity() const { return pendingParity_; }
  TFlowControl PendingFlowControl() const { return pendingFlowControl_; }

 private:
  QPointer<TCustomComPort> port_;
  TComProperty property_ = cpNone;
  bool autoApply_ = false;
  QString pendingPort_;
  TBaudRate pendingBaudRate_ = brCustom;
  TDataBits pendingDataBits_ = dbFive;
  TStopBits pendingStopBits_ = sbOneStopBit;
  TParityBits pendingParity_ = prNone;
  TFlowControl pendingFlowControl_ = fcHardware;
};

// The items a list offers for a setting with fixed text forms, in index
// order; none for cpNone and cpPort (whose items are the machine's ports).
QStringList FixedPropertyItems(TComProperty property);

}  // namespace tessaly
