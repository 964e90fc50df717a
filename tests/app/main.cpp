// Test entry for the tests that need Qt but no window: a QGuiApplication so that image
// I/O, fonts and paths work, on the offscreen platform when no display is around.
#include <QGuiApplication>
#include <QtGlobal>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
