#include "resources/license_text.h"

#include "resources/embedded.h"

#include <QFile>
#include <QtDebug>

namespace tessaly {

QString LicenseText() {
  LoadEmbeddedResources();
  QFile file(QStringLiteral(":/LICENSE"));
  if (!file.open(QIODevice::ReadOnly)) {
    qWarning("Tessaly: the built-in licence text is missing: %s", qPrintable(file.errorString()));
    return {};
  }
  return QString::fromUtf8(file.readAll());
}

}  // namespace tessaly
