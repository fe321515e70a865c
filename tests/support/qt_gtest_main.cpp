// Test entry: one QApplication for the whole program, headless unless the
// caller asked for a platform, then GoogleTest.
#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // A window that captures records into the user's data folder: tests keep
  // theirs in a folder removed when they end.
  QTemporaryDir dataHome;
  qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tessaly"));
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
