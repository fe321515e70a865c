#include "session/line_description.h"

#include "session/link_status.h"
#include "links/serial/com_port.h"
#include "links/tcp/client_socket.h"

namespace tessaly {
namespace {

char ParityLetter(TParityBits parity) {
  switch (parity) {
    case prNone: return 'N';
    case prOdd: return 'O';
    case prEven: return 'E';
    case prMark: return 'M';
    case prSpace: return 'S';
  }
  return 'N';
}

int StopHalfBits(TStopBits stopBits) {
  switch (stopBits) {
    case sbOneStopBit: return 2;
    case sbOne5StopBits: return 3;
    case sbTwoStopBits: return 4;
  }
  return 2;
}

int DataBitCount(TDataBits bits) {
  switch (bits) {
    case dbFive: return 5;
    case dbSix: return 6;
    case dbSeven: return 7;
    case dbEight: return 8;
  }
  return 8;
}

QString StopBitText(int halfBits) {
  return halfBits % 2 == 0 ? QString::number(halfBits / 2) : QStringLiteral("1.5");
}

}  // namespace

std::optional<double> LineDescription::CharacterMicroseconds() const {
  if (!bitsPerSecond || *bitsPerSecond <= 0) return std::nullopt;
  const double bits = 1 + dataBits + (parity == 'N' ? 0 : 1) + stopHalfBits / 2.0;
  return bits * 1e6 / *bitsPerSecond;
}

QString LineDescription::Text() const {
  const QString speed = bitsPerSecond ? QStringLiteral("%1 %2%3%4")
                                            .arg(*bitsPerSecond)
                                            .arg(dataBits)
                                            .arg(QChar::fromLatin1(parity))
                                            .arg(StopBitText(stopHalfBits))
                                      : QStringLiteral("line speed unknown");
  const QString kind = link == Link::Tcp ? QStringLiteral("TCP ") : QString();
  return QStringLiteral("%1%2 %3, packets end after %4 ms of silence")
      .arg(kind, where, speed)
      .arg(intervalMs);
}

LineDescription SerialLineOf(const TCustomComPort& port, int intervalMs) {
  LineDescription line;
  line.link = LineDescription::Link::Serial;
  line.where = port.Port();
  line.bitsPerSecond = port.LineBitsPerSecond();
  line.dataBits = DataBitCount(port.DataBits());
  line.parity = ParityLetter(port.Parity().Bits());
  line.stopHalfBits = StopHalfBits(port.StopBits());
  line.intervalMs = intervalMs;
  return line;
}

LineDescription TcpLineOf(const TClientSocket& socket, std::optional<int> lineBitsPerSecond, int intervalMs) {
  LineDescription line;
  line.link = LineDescription::Link::Tcp;
  line.where = TcpStatusText(socket);
  line.bitsPerSecond = lineBitsPerSecond;
  line.intervalMs = intervalMs;
  return line;
}

}  // namespace tessaly
