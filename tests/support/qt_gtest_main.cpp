// Test entry: one QApplication for the whole program, headless unless the
// caller asked for a platform, then GoogleTest.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tessaly"));
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
