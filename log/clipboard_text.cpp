#include "log/clipboard_text.h"

#include <utility>

namespace tessaly {

namespace {

const QString kPlainText = QStringLiteral("text/plain");
const QString kUtf8Text = QStringLiteral("text/plain;charset=utf-8");

}  // namespace

ClipboardText::ClipboardText(QByteArray ascii) : ascii_(std::move(ascii)) {}

QStringList ClipboardText::formats() const { return {kPlainText, kUtf8Text}; }

bool ClipboardText::hasFormat(const QString& mimeType) const {
  return mimeType == kPlainText || mimeType == kUtf8Text;
}

QVariant ClipboardText::retrieveData(const QString& mimeType, QMetaType type) const {
  if (!hasFormat(mimeType)) return {};
  // Asked for a string (a paste within the program), the bytes are made one
  // then; asked for bytes, they are shared, not copied.
  if (type.id() == QMetaType::QString) return QString::fromLatin1(ascii_);
  return ascii_;
}

}  // namespace tessaly
