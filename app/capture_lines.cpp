#include "app/capture_lines.h"

namespace tessaly {

CaptureLines LinesOfCapture(const std::vector<CapturedInterface>& interfaces) {
  CaptureLines lines;
  for (const CapturedInterface& interface : interfaces) {
    const std::string& given = interface.link.lineName;
    const QString name = QString::fromStdString(given.empty() ? interface.link.name : given);
    qsizetype line = lines.names.indexOf(name);
    if (line < 0) {
      line = lines.names.size();
      lines.names << name;
    }
    lines.lineOfInterface.push_back(static_cast<int>(line));
  }
  return lines;
}

int LineOfInterface(const CaptureLines& lines, std::uint32_t interfaceId) {
  return interfaceId < lines.lineOfInterface.size() ? lines.lineOfInterface[interfaceId] : 0;
}

}  // namespace tessaly
