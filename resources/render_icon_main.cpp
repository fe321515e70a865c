// Build tool: draws an SVG picture into a square PNG of a given side, for the
// desktop's icon theme, the same way the program draws its own icons.
//   tessaly-render-icon <picture.svg> <side> <out.png>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: tessaly-render-icon <picture.svg> <side> <out.png>\n");
    return 2;
  }
  bool sideOk = false;
  const int side = QString::fromLocal8Bit(argv[2]).toInt(&sideOk);
  QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
  if (!sideOk || side <= 0 || side > 4096 || !renderer.isValid()) {
    std::fprintf(stderr, "tessaly-render-icon: cannot draw %s at %s pixels\n", argv[1], argv[2]);
    return 1;
  }
  QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, side, side));
  }
  if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
    std::fprintf(stderr, "tessaly-render-icon: cannot write %s\n", argv[3]);
    return 1;
  }
  return 0;
}
