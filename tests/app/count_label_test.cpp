#include "app/count_label.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

namespace tessaly {
namespace {

// The panel holds its laid-out size while counts change within it, and
// takes the width the status bar would give any text that needs another.
TEST(CountLabel, TextShownAtOnce_WidthFollowsOnlyTextsThatNeedAnother) {
  QMainWindow window;
  auto* panel = new CountLabel(QStringLiteral("Frames: 0 good, 0 bad"), 200, window.statusBar());
  window.statusBar()->addWidget(panel);
  window.resize(900, 300);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const QSize laidOut = panel->size();
  EXPECT_EQ(laidOut.width(), 200);

  panel->SetCount(QStringLiteral("Frames: 12 good, 3 bad"));
  EXPECT_EQ(panel->text(), QStringLiteral("Frames: 12 good, 3 bad"));
  EXPECT_EQ(panel->size(), laidOut);
  EXPECT_EQ(panel->minimumSize(), panel->maximumSize());  // no new layout asked for

  // As wide as a plain label given the same text in the same place.
  const QString wide = QStringLiteral("Frames: 123456789012 good, 123456789012 bad");
  QMainWindow plainWindow;
  auto* plain = new QLabel(wide, plainWindow.statusBar());
  plain->setMinimumWidth(200);
  plainWindow.statusBar()->addWidget(plain);
  plainWindow.resize(900, 300);
  plainWindow.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&plainWindow));
  panel->SetCount(wide);
  QApplication::processEvents();
  EXPECT_GT(plain->width(), 200);
  EXPECT_EQ(panel->size(), plain->size());

  panel->SetCount(QStringLiteral("Frames: 0 good, 0 bad"));
  QApplication::processEvents();
  EXPECT_EQ(panel->size(), laidOut);
}

}  // namespace
}  // namespace tessaly
