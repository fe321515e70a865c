#include "log/packet_text.h"

namespace tessaly {

namespace {
constexpr int kMillisecondsPerDay = 24 * 60 * 60 * 1000;
}  // namespace

QString FormatTimeStamp(int millisecondsOfDay) {
  // A clock that runs past midnight (or is handed a nonsense value) still
  // gives a time of day: hours stay within 0 to 23.
  const int time = ((millisecondsOfDay % kMillisecondsPerDay) + kMillisecondsPerDay) %
                   kMillisecondsPerDay;
  return QStringLiteral("%1:%2:%3:%4")
      .arg(time / 3'600'000)
      .arg(time / 60'000 % 60)
      .arg(time / 1000 % 60)
      .arg(time % 1000);
}

QString FormatPacketBytes(const std::uint8_t* bytes, int count) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  if (count <= 0) return {};
  QString text(count * 3, Qt::Uninitialized);
  QChar* out = text.data();
  for (int i = 0; i < count; ++i) {
    *out++ = QLatin1Char(kDigits[bytes[i] >> 4]);
    *out++ = QLatin1Char(kDigits[bytes[i] & 0x0F]);
    *out++ = QLatin1Char(' ');
  }
  return text;
}

QString FormatPacketBytesWrapped(const std::uint8_t* bytes, int count, int bytesPerLine) {
  QString text = FormatPacketBytes(bytes, count);
  if (bytesPerLine <= 0) return text;
  // Each line's last space becomes its line break; the text's last one goes.
  for (qsizetype end = 3 * qsizetype{bytesPerLine} - 1; end < text.size(); end += 3 * bytesPerLine) {
    text[end] = QLatin1Char('\n');
  }
  if (text.endsWith(QLatin1Char(' ')) || text.endsWith(QLatin1Char('\n'))) text.chop(1);
  return text;
}

}  // namespace tessaly
