#include "app/interface_timing.h"

#include "session/line_description.h"

#include <QRegularExpression>
#include <QString>

namespace tessaly {
namespace {

constexpr modbus::LineTiming kUnknown{0, 10};

int BitsPerCharacter(int dataBits, char parity, int stopHalfBits) {
  return 1 + dataBits + (parity == 'N' ? 0 : 1) + (stopHalfBits + 1) / 2;
}

}  // namespace

modbus::LineTiming LineTimingOf(const LineDescription& line) {
  return {line.bitsPerSecond.value_or(0), BitsPerCharacter(line.dataBits, line.parity, line.stopHalfBits)};
}

modbus::LineTiming LineTimingOf(const CaptureInterface& link) {
  // The speed and framing come last before the interval's clause; the
  // port's or gateway's name before them may hold anything, spaces too.
  static const QRegularExpression kSettings(
      QStringLiteral(" (\\d{1,9}) ([5-8])([NEOMS])(1|1\\.5|2), packets end after \\d+ ms of silence$"));
  const QRegularExpressionMatch settings = kSettings.match(QString::fromStdString(link.description));
  if (!settings.hasMatch()) return kUnknown;
  const QString stop = settings.captured(4);
  const int stopHalfBits = stop == QLatin1String("1") ? 2 : stop == QLatin1String("2") ? 4 : 3;
  const int bits =
      BitsPerCharacter(settings.captured(2).toInt(), settings.captured(3).at(0).toLatin1(), stopHalfBits);
  // if_speed is the file's own field for the speed; the description's
  // figure stands in where a file lacks it.
  const std::uint64_t speed = link.bitsPerSecond.value_or(settings.captured(1).toULongLong());
  if (speed == 0 || speed > 1'000'000'000) return kUnknown;
  return {static_cast<int>(speed), bits};
}

}  // namespace tessaly
