#include "links/serial/com_text.h"

#include <array>
#include <cstddef>

namespace tessaly {
namespace {

constexpr std::array<const char*, kBaudRateCount> kBaudRateTexts = {
    "Custom", "110",   "300",   "600",   "1200",   "2400",   "4800",   "9600",
    "14400",  "19200", "38400", "56000", "57600", "115200", "128000", "256000",
};
constexpr std::array<int, kBaudRateCount> kBitsPerSecond = {
    0,     110,   300,   600,   1200,   2400,   4800,   9600,
    14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000,
};
constexpr std::array<const char*, kStopBitsCount> kStopBitsTexts = {"1", "1.5", "2"};
constexpr std::array<const char*, kDataBitsCount> kDataBitsTexts = {"5", "6", "7", "8"};
constexpr std::array<const char*, kParityCount> kParityTexts = {"None", "Odd", "Even", "Mark", "Space"};
constexpr std::array<const char*, kFlowControlCount> kFlowControlTexts = {"Hardware", "Software", "None",
                                                                         "Custom"};
constexpr std::array<const char*, kDTRControlCount> kDTRControlTexts = {"Disable", "Enable", "Handshake"};
constexpr std::array<const char*, kRTSControlCount> kRTSControlTexts = {"Disable", "Enable", "Handshake",
                                                                       "Toggle"};

template <std::size_t N>
QString TextAt(const std::array<const char*, N>& texts, unsigned index) {
  return index < N ? QString::fromLatin1(texts[index]) : QString();
}

template <class Enum, std::size_t N>
Enum ValueOf(const std::array<const char*, N>& texts, const QString& text, Enum fallback) {
  const QString wanted = UpperCaseAscii(text);
  for (std::size_t index = 0; index < N; ++index) {
    if (wanted == UpperCaseAscii(QString::fromLatin1(texts[index]))) return static_cast<Enum>(index);
  }
  return fallback;
}

template <std::size_t N>
QStringList AllTexts(const std::array<const char*, N>& texts) {
  QStringList list;
  list.reserve(static_cast<qsizetype>(N));
  for (const char* text : texts) list.append(QString::fromLatin1(text));
  return list;
}

}  // namespace

QString UpperCaseAscii(const QString& text) {
  QString upper = text;
  for (QChar& character : upper) {
    const char16_t code = character.unicode();
    if (code >= u'a' && code <= u'z') character = QChar(static_cast<char16_t>(code - (u'a' - u'A')));
  }
  return upper;
}

QString BaudRateText(TBaudRate value) { return TextAt(kBaudRateTexts, value); }
QString StopBitsText(TStopBits value) { return TextAt(kStopBitsTexts, value); }
QString DataBitsText(TDataBits value) { return TextAt(kDataBitsTexts, value); }
QString ParityText(TParityBits value) { return TextAt(kParityTexts, value); }
QString FlowControlText(TFlowControl value) { return TextAt(kFlowControlTexts, value); }
QString DTRControlText(TDTRFlowControl value) { return TextAt(kDTRControlTexts, value); }
QString RTSControlText(TRTSFlowControl value) { return TextAt(kRTSControlTexts, value); }

TBaudRate BaudRateFromText(const QString& text) { return ValueOf(kBaudRateTexts, text, br9600); }
TStopBits StopBitsFromText(const QString& text) { return ValueOf(kStopBitsTexts, text, sbOneStopBit); }
TDataBits DataBitsFromText(const QString& text) { return ValueOf(kDataBitsTexts, text, dbEight); }
TParityBits ParityFromText(const QString& text) { return ValueOf(kParityTexts, text, prNone); }
TFlowControl FlowControlFromText(const QString& text) { return ValueOf(kFlowControlTexts, text, fcCustom); }
TDTRFlowControl DTRControlFromText(const QString& text) {
  return ValueOf(kDTRControlTexts, text, dtrDisable);
}
TRTSFlowControl RTSControlFromText(const QString& text) {
  return ValueOf(kRTSControlTexts, text, rtsDisable);
}

QStringList BaudRateTexts() { return AllTexts(kBaudRateTexts); }
QStringList StopBitsTexts() { return AllTexts(kStopBitsTexts); }
QStringList DataBitsTexts() { return AllTexts(kDataBitsTexts); }
QStringList ParityTexts() { return AllTexts(kParityTexts); }
QStringList FlowControlTexts() { return AllTexts(kFlowControlTexts); }

int BaudRateBitsPerSecond(TBaudRate value) {
  return static_cast<unsigned>(value) < kBitsPerSecond.size() ? kBitsPerSecond[value] : 0;
}

QString DisplayedPortName(const QString& name, int maxLength) {
  QString shown;
  for (const QChar character : name) {
    const char16_t code = character.unicode();
    if (code == u'\n') {
      shown += QStringLiteral("\\n");
    } else if (code == u'\r') {
      shown += QStringLiteral("\\r");
    } else if (code == u'\t') {
      shown += QStringLiteral("\\t");
    } else if (code < 0x20 || code == 0x7F) {
      shown += QStringLiteral("\\x") + QString::number(code, 16).rightJustified(2, u'0').toUpper();
    } else {
      shown += character;
    }
  }
  if (shown.size() <= maxLength) return shown;
  // Both ends say most: a device folder and the adapter's serial number.
  const qsizetype head = (maxLength - 1) / 2;
  const qsizetype tail = maxLength - 1 - head;
  return shown.left(head) + QChar(0x2026) + shown.right(tail);
}

}  // namespace tessaly
