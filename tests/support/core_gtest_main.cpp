// Test entry for what must work with no window system at all: Qt Core's
// application, then GoogleTest.
#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Tessaly"));
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
