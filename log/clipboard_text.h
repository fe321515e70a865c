#pragma once

#include <QByteArray>
#include <QMimeData>

namespace tessaly {

// Plain text for the clipboard, kept as the bytes it was written in. The log's
// texts are ASCII, so the bytes are already what a pasting program asks for
// (UTF-8): the clipboard hands them over as they are, where a text string
// would be converted whole on the window's thread at every paste.
class ClipboardText : public QMimeData {
  Q_OBJECT

 public:
  explicit ClipboardText(QByteArray ascii);

  QStringList formats() const override;
  bool hasFormat(const QString& mimeType) const override;

 protected:
  QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

 private:
  const QByteArray ascii_;
};

}  // namespace tessaly
