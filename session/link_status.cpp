#include "session/link_status.h"

#include "links/serial/com_port.h"
#include "links/serial/com_text.h"
#include "links/tcp/client_socket.h"

#include <QStringList>

namespace tessaly {

QString SerialStatusText(const TCustomComPort& port) {
  return QStringList{DisplayedPortName(port.Port()),
                     BaudRateText(port.BaudRate()),
                     DataBitsText(port.DataBits()),
                     ParityText(port.Parity().Bits()),
                     StopBitsText(port.StopBits()),
                     FlowControlText(port.FlowControl().FlowControlKind())}
      .join(u',');
}

QString TcpStatusText(const TClientSocket& socket) {
  return socket.Address() + u':' + QString::number(socket.Port());
}

}  // namespace tessaly
