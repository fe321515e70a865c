// The bad-frame tint and its text read at 4.5:1 or better whatever the
// theme: light, dark, and one whose text barely reads on its own base.
#include "views/mark_colors.h"

#include <QPalette>

#include <gtest/gtest.h>

namespace tessaly {
namespace {

QPalette Theme(QColor base, QColor text) {
  QPalette palette;
  palette.setColor(QPalette::Base, base);
  palette.setColor(QPalette::Text, text);
  return palette;
}

TEST(MarkColors, TintAndTextReadInLightAndDarkThemes) {
  const struct {
    const char* theme;
    QPalette palette;
  } themes[] = {
      {"light", Theme(Qt::white, Qt::black)},
      {"light, grey text", Theme(QColor(0xFC, 0xFC, 0xFC), QColor(0x5E, 0x5E, 0x5E))},
      {"dark", Theme(QColor(0x2A, 0x2A, 0x2A), QColor(0xFF, 0xFF, 0xFF))},
      {"dark, grey text", Theme(QColor(0x23, 0x26, 0x29), QColor(0xBB, 0xBB, 0xBB))},
      {"text barely readable on its base", Theme(QColor(0x77, 0x77, 0x77), Qt::white)},
  };
  for (const auto& theme : themes) {
    SCOPED_TRACE(theme.theme);
    const QColor tint = MarkTint(theme.palette);
    const QColor text = MarkText(theme.palette, tint);
    EXPECT_GE(ContrastRatio(tint, text), kMinimumMarkContrast)
        << tint.name().toStdString() << " under " << text.name().toStdString();
    EXPECT_GE(tint.red(), tint.green()) << "still a red tint";
  }
  // The light look stays as it was; a dark theme gets a dark red, not pink.
  EXPECT_EQ(MarkTint(Theme(Qt::white, Qt::black)), QColor(0xFF, 0xD8, 0xD0));
  const QColor dark = MarkTint(Theme(QColor(0x2A, 0x2A, 0x2A), Qt::white));
  EXPECT_LT(dark.lightness(), 110) << dark.name().toStdString();
  EXPECT_GT(dark.red() - dark.green(), 30) << dark.name().toStdString();
  EXPECT_EQ(MarkText(Theme(QColor(0x2A, 0x2A, 0x2A), Qt::white), dark), QColor(Qt::white));
  // Grey text on a grey base: the usual share of red would drown the text,
  // so the tint is fainter and the theme's own text colour stays.
  const QPalette grey = Theme(QColor(0xE0, 0xE0, 0xE0), QColor(0x59, 0x59, 0x59));
  const QColor fainter = MarkTint(grey);
  EXPECT_EQ(MarkText(grey, fainter), QColor(0x59, 0x59, 0x59)) << fainter.name().toStdString();
  EXPECT_GT(fainter.red(), fainter.green()) << fainter.name().toStdString();

  EXPECT_NEAR(ContrastRatio(Qt::black, Qt::white), 21.0, 0.01);
  EXPECT_NEAR(ContrastRatio(QColor(0x77, 0x77, 0x77), Qt::white), 4.48, 0.01);
}

}  // namespace
}  // namespace tessaly
