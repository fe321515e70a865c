#include "resources/image_list.h"

#include <QImage>

#include <gtest/gtest.h>

#include <vector>

namespace tessaly {
namespace {

int OpaquePixels(const QImage& image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) count += qAlpha(image.pixel(x, y)) == 255;
  }
  return count;
}

TEST(ImageList, EveryIconIsADrawingOfItsOwn_IndexOutsideTheListGivesNone) {
  // The main window addresses icons 0 .. 10 by number.
  ASSERT_GE(ImageListCount(), 11);
  std::vector<QImage> icons;
  for (int index = 0; index < ImageListCount(); ++index) {
    icons.push_back(ImageListIcon(index).pixmap(QSize(32, 32)).toImage());
    // Not an empty or nearly empty square (the slim pencil covers about a
    // tenth of it).
    EXPECT_GE(OpaquePixels(icons.back()), 32 * 32 / 16) << index;
    for (int other = 0; other < index; ++other) EXPECT_NE(icons[other], icons[index]) << other << " and " << index;
  }
  EXPECT_TRUE(ImageListIcon(-1).isNull());
  EXPECT_TRUE(ImageListIcon(ImageListCount()).isNull());
  EXPECT_GE(OpaquePixels(AboutPicture().toImage()), 48 * 48 / 2);
}

}  // namespace
}  // namespace tessaly
