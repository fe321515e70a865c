#include "resources/image_list.h"

#include "resources/embedded.h"

#include <QPainter>
#include <QSvgRenderer>
#include <QtDebug>

#include <array>

namespace tessaly {
namespace {

// Index order is the image list's order.
constexpr std::array<const char*, 11> kIconFiles = {
    ":/icons/about.svg",      ":/icons/cross.svg",        ":/icons/serial_connector.svg",
    ":/icons/globe.svg",      ":/icons/folder_open.svg",  ":/icons/diskette.svg",
    ":/icons/pencil.svg",     ":/icons/blank_page.svg",   ":/icons/start.svg",
    ":/icons/stop.svg",       ":/icons/curved_arrow.svg",
};

// Rendered ahead for the sizes toolbars and menus ask for, and twice the
// image-list size for high-density screens, so no size is a blurry rescale.
constexpr std::array<int, 5> kIconRenderSides = {16, 24, kImageListIconSide, 48, 2 * kImageListIconSide};

QPixmap RenderSvg(const char* resourcePath, int sidePixels) {
  LoadEmbeddedResources();
  QSvgRenderer renderer(QString::fromLatin1(resourcePath));
  if (!renderer.isValid() || sidePixels <= 0) {
    qWarning("Tessaly: cannot draw picture %s at %d pixels", resourcePath, sidePixels);
    return {};
  }
  QPixmap pixmap(sidePixels, sidePixels);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter, QRectF(0, 0, sidePixels, sidePixels));
  return pixmap;
}

}  // namespace

int ImageListCount() { return static_cast<int>(kIconFiles.size()); }

QIcon ImageListIcon(int index) {
  if (index < 0 || index >= ImageListCount()) return {};
  QIcon icon;
  for (int side : kIconRenderSides) {
    const QPixmap pixmap = RenderSvg(kIconFiles[static_cast<size_t>(index)], side);
    if (!pixmap.isNull()) icon.addPixmap(pixmap);
  }
  return icon;
}

QPixmap AboutPicture(int sidePixels) { return RenderSvg(":/pictures/packet_trace.svg", sidePixels); }

}  // namespace tessaly
