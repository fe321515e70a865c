#pragma once

#include <QString>
#include <QStringList>

#include "links/serial/com_types.h"

namespace tessaly {

// Text forms of the serial settings: what the status bar shows, what the
// setting lists offer and what the settings store keeps. A value outside its
// enumeration has no text form and gives the empty text.
QString BaudRateText(TBaudRate value);
QString StopBitsText(TStopBits value);
QString DataBitsText(TDataBits value);
QString ParityText(TParityBits value);
QString FlowControlText(TFlowControl value);
QString DTRControlText(TDTRFlowControl value);
QString RTSControlText(TRTSFlowControl value);

// The reverse conversions compare ignoring the case of ASCII letters only and
// trim nothing; a text that matches no form gives the fallback (br9600,
// sbOneStopBit, dbEight, prNone, fcCustom, dtrDisable, rtsDisable).
TBaudRate BaudRateFromText(const QString& text);
TStopBits StopBitsFromText(const QString& text);
TDataBits DataBitsFromText(const QString& text);
TParityBits ParityFromText(const QString& text);
TFlowControl FlowControlFromText(const QString& text);
TDTRFlowControl DTRControlFromText(const QString& text);
TRTSFlowControl RTSControlFromText(const QString& text);

// Every text form of one setting, in index order (the items of its list).
QStringList BaudRateTexts();
QStringList StopBitsTexts();
QStringList DataBitsTexts();
QStringList ParityTexts();
QStringList FlowControlTexts();

// Bits per second on the line; 0 for brCustom (the port's CustomBaudRate
// applies) and for a value outside the enumeration.
int BaudRateBitsPerSecond(TBaudRate value);

// ASCII letters upper-cased, every other character kept as it is.
QString UpperCaseAscii(const QString& text);

// A port name as it can be shown in one line of a panel or a message: line
// breaks and other control characters written as escapes (\n, \x1B), and
// a name longer than maxLength characters shortened in its middle. The
// name itself stays as it was chosen and stored.
QString DisplayedPortName(const QString& name, int maxLength = 80);

}  // namespace tessaly
