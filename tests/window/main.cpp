// Window tests: real windows on the display the test script provides. One toolkit
// application serves every test; each test makes its own windows.
#include <gtest/gtest.h>

#include <QApplication>

#include "platform/driver_residency.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests (at build time, maybe without a display) needs no windows.
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  const int result = RUN_ALL_TESTS();
  // A leak check at the end tells the driver's leaks from ours only while it is loaded.
  sphaerix::KeepGraphicsDriverLoaded();
  return result;
}
