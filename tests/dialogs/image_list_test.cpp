#include "resources/image_list.h"

#include <QImage>

#include <gtest/gtest.h>

namespace tessaly {
namespace {

int OpaquePixels(const QImage& image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) count += qAlpha(image.pixel(x, y)) == 255;
  }
  return count;
}

bool CornersTransparent(const QImage& image) {
  const int right = image.width() - 1;
  const int bottom = image.height() - 1;
  return qAlpha(image.pixel(0, 0)) == 0 && qAlpha(image.pixel(right, 0)) == 0 &&
         qAlpha(image.pixel(0, bottom)) == 0 && qAlpha(image.pixel(right, bottom)) == 0;
}

QImage IconImage(int index) { return ImageListIcon(index).pixmap(QSize(32, 32)).toImage(); }

class ImageListIndex : public testing::TestWithParam<int> {};

TEST_P(ImageListIndex, Renders32PixelDrawingOnTransparentBackground) {
  const QImage image = IconImage(GetParam());
  ASSERT_EQ(image.size(), QSize(32, 32));
  EXPECT_TRUE(CornersTransparent(image));
  // A drawing, not an empty or nearly empty square (the slim pencil covers
  // about a tenth of it).
  EXPECT_GE(OpaquePixels(image), 32 * 32 / 16);
}

// The main window addresses icons 0 .. 10 by number.
INSTANTIATE_TEST_SUITE_P(EveryIndex, ImageListIndex, testing::Range(0, 11));

TEST(ImageList, EveryIndexShowsItsOwnDrawing) {
  for (int first = 0; first < ImageListCount(); ++first) {
    for (int second = first + 1; second < ImageListCount(); ++second) {
      EXPECT_NE(IconImage(first), IconImage(second)) << first << " and " << second;
    }
  }
}

TEST(ImageList, IndexOutsideTheList_GivesEmptyIcon) {
  EXPECT_TRUE(ImageListIcon(-1).isNull());
  EXPECT_TRUE(ImageListIcon(ImageListCount()).isNull());
}

TEST(AboutPicture, Renders48PixelDrawingOnTransparentBackground) {
  const QImage image = AboutPicture().toImage();
  ASSERT_EQ(image.size(), QSize(48, 48));
  EXPECT_TRUE(CornersTransparent(image));
  EXPECT_GE(OpaquePixels(image), 48 * 48 / 2);
}

}  // namespace
}  // namespace tessaly
