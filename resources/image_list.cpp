#include "resources/image_list.h"

#include "resources/embedded.h"

#include <QCoreApplication>
#include <QPainter>
#include <QSvgRenderer>
#include <QtDebug>

#include <array>
#include <map>

namespace tessaly {
namespace {

// Index order is the image list's order.
constexpr std::array<const char*, 11> kIconFiles = {
    ":/icons/about.svg",      ":/icons/cross.svg",        ":/icons/serial_connector.svg",
    ":/icons/globe.svg",      ":/icons/folder_open.svg",  ":/icons/diskette.svg",
    ":/icons/pencil.svg",     ":/icons/blank_page.svg",   ":/icons/start.svg",
    ":/icons/stop.svg",       ":/icons/curved_arrow.svg",
};
constexpr const char* kAboutPictureFile = ":/pictures/packet_trace.svg";

// Rendered ahead for the sizes toolbars and menus ask for, and twice the
// image-list size for high-density screens, so no size is a blurry rescale.
constexpr std::array<int, 5> kIconRenderSides = {16, 24, kImageListIconSide, 48, 2 * kImageListIconSide};
// Title bars, task switchers and docks.
constexpr std::array<int, 6> kApplicationIconSides = {16, 24, 32, 48, 64, 128};

QPixmap RenderSvg(QSvgRenderer& renderer, const char* resourcePath, int sidePixels) {
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

QPixmap RenderSvg(const char* resourcePath, int sidePixels) {
  LoadEmbeddedResources();
  QSvgRenderer renderer(QString::fromLatin1(resourcePath));
  return RenderSvg(renderer, resourcePath, sidePixels);
}

// The picture read once and drawn at every size (reading it is most of the
// cost, and the toolbar's icons are drawn before the window first shows).
template <size_t Count>
QIcon RenderIcon(const char* resourcePath, const std::array<int, Count>& sides) {
  LoadEmbeddedResources();
  QSvgRenderer renderer(QString::fromLatin1(resourcePath));
  QIcon icon;
  for (int side : sides) {
    const QPixmap pixmap = RenderSvg(renderer, resourcePath, side);
    if (!pixmap.isNull()) icon.addPixmap(pixmap);
  }
  return icon;
}

// Every picture is drawn once per size and then handed out as a shared copy.
// A widget given the same icon again (the Start/Stop button on every click)
// then finds its pixmaps in Qt's pixmap cache under the same key, instead of
// filling that cache with a new, equal drawing each time. Used from the user
// interface thread only. Emptied when the application object goes, as Qt's
// pixmaps must not outlive it.
struct DrawnPictures {
  std::array<QIcon, kIconFiles.size()> icons;
  std::map<int, QPixmap> aboutPictures;  // by side
  QIcon applicationIcon;
  bool clearScheduled = false;
};

DrawnPictures& Stored() {
  static DrawnPictures drawn;
  return drawn;
}

// Runs in the application object's destructor; schedules nothing itself, as
// Qt keeps calling post routines until none is left.
void ForgetDrawnPictures() { Stored() = DrawnPictures(); }

DrawnPictures& Drawn() {
  DrawnPictures& drawn = Stored();
  if (!drawn.clearScheduled && QCoreApplication::instance() != nullptr) {
    drawn.clearScheduled = true;
    qAddPostRoutine(ForgetDrawnPictures);
  }
  return drawn;
}

}  // namespace

int ImageListCount() { return static_cast<int>(kIconFiles.size()); }

QIcon ImageListIcon(int index) {
  if (index < 0 || index >= ImageListCount()) return {};
  QIcon& icon = Drawn().icons[static_cast<size_t>(index)];
  if (icon.isNull()) icon = RenderIcon(kIconFiles[static_cast<size_t>(index)], kIconRenderSides);
  return icon;
}

QPixmap AboutPicture(int sidePixels) {
  if (sidePixels <= 0) return RenderSvg(kAboutPictureFile, sidePixels);
  QPixmap& picture = Drawn().aboutPictures[sidePixels];
  if (picture.isNull()) picture = RenderSvg(kAboutPictureFile, sidePixels);
  return picture;
}

QIcon ApplicationIcon() {
  QIcon& icon = Drawn().applicationIcon;
  if (icon.isNull()) icon = RenderIcon(kAboutPictureFile, kApplicationIconSides);
  return icon;
}

}  // namespace tessaly
