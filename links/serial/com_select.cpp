#include "links/serial/com_select.h"

#include "links/serial/com_text.h"

namespace tessaly {

QString TComSelect::CurrentText() const {
  if (!port_) return {};
  switch (property_) {
    case cpNone: break;
    case cpPort: return port_->Port();
    case cpBaudRate: return BaudRateText(port_->BaudRate());
    case cpDataBits: return DataBitsText(port_->DataBits());
    case cpStopBits: return StopBitsText(port_->StopBits());
    case cpParity: return ParityText(port_->Parity().Bits());
    case cpFlowControl: return FlowControlText(port_->FlowControl().FlowControlKind());
  }
  return {};
}

void TComSelect::SetPendingText(const QString& text) {
  switch (property_) {
    case cpNone: break;
    case cpPort: pendingPort_ = text; break;
    case cpBaudRate: pendingBaudRate_ = BaudRateFromText(text); break;
    case cpDataBits: pendingDataBits_ = DataBitsFromText(text); break;
    case cpStopBits: pendingStopBits_ = StopBitsFromText(text); break;
    case cpParity: pendingParity_ = ParityFromText(text); break;
    case cpFlowControl: pendingFlowControl_ = FlowControlFromText(text); break;
  }
}

void TComSelect::ApplySelection() const {
  if (!port_) return;
  switch (property_) {
    case cpNone: break;
    case cpPort: port_->SetPort(pendingPort_); break;
    case cpBaudRate: port_->SetBaudRate(pendingBaudRate_); break;
    case cpDataBits: port_->SetDataBits(pendingDataBits_); break;
    case cpStopBits: port_->SetStopBits(pendingStopBits_); break;
    case cpParity: port_->Parity().SetBits(pendingParity_); break;
    case cpFlowControl: port_->FlowControl().SetFlowControlKind(pendingFlowControl_); break;
  }
}

QStringList FixedPropertyItems(TComProperty property) {
  switch (property) {
    case cpNone:
    case cpPort: break;
    case cpBaudRate: return BaudRateTexts();
    case cpDataBits: return DataBitsTexts();
    case cpStopBits: return StopBitsTexts();
    case cpParity: return ParityTexts();
    case cpFlowControl: return FlowControlTexts();
  }
  return {};
}

}  // namespace tessaly
