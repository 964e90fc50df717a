// The program as a user starts it: a separate process, a real window on the display.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>

#include "tests/support/child_program.h"
#include "tests/support/wait.h"
#include "tests/support/x11_driver.h"

using sphaerix::testing::ChildProgram;

TEST(Program, StartsFullScreenAndExitsCleanlyWhenClosed) {
  ChildProgram app;
  app.Process().setProcessChannelMode(QProcess::ForwardedErrorChannel);
  ASSERT_TRUE(app.Start());
  const QString id = x11::WaitForWindow("^Sphaerix$", 30000);
  ASSERT_FALSE(id.isEmpty()) << "no window titled Sphaerix";

  // Full screen from the start: the window covers the whole screen.
  const QSize screen = x11::ScreenSize();
  EXPECT_TRUE(sphaerix::testing::WaitFor([&] { return x11::WindowSize(id) == screen; }, 30000));

  EXPECT_TRUE(QFileInfo(app.Home() + "/Documents/Quorvane/Sphaerix").isDir());

  x11::CloseWindow(id);
  ASSERT_TRUE(app.Process().waitForFinished(15000)) << "the program did not end after its window closed";
  EXPECT_EQ(app.Process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(app.Process().exitCode(), 0);
}

TEST(Program, StartsWithoutADocumentsFolder) {
  ChildProgram app(false);
  app.Process().setProcessChannelMode(QProcess::ForwardedErrorChannel);
  ASSERT_TRUE(app.Start());
  const QString id = x11::WaitForWindow("^Sphaerix$", 30000);
  ASSERT_FALSE(id.isEmpty());
  // The desktop's Documents folder is named but missing: nothing is created below it.
  EXPECT_FALSE(QFileInfo(app.Home() + "/Documents").exists());
  x11::CloseWindow(id);
  ASSERT_TRUE(app.Process().waitForFinished(15000));
  EXPECT_EQ(app.Process().exitCode(), 0);
}

// Without a usable OpenGL 3.3 the program says so and ends with a failure code: no
// OpenGL at all, an older version, and a driver that claims 3.3 but whose shading
// language is older than the drawing programs'.
TEST(Program, WithoutOpenGL33SaysSoAndFails) {
  struct Case {
    const char* Platform;
    const char* GlOverride;
    const char* Why;
  } cases[] = {{"minimal", nullptr, "no OpenGL 3.3 core context"},
               {"offscreen", "3.0", nullptr},  // the driver decides which step refuses
               {"offscreen", "3.3", "cannot build the drawing programs"}};
  for (const Case& c : cases) {
    ChildProgram app;
    app.Environment.insert("QT_QPA_PLATFORM", c.Platform);
    if (c.GlOverride) {
      app.Environment.insert("MESA_GL_VERSION_OVERRIDE", c.GlOverride);
      app.Environment.insert("MESA_GLSL_VERSION_OVERRIDE", "130");
    }
    ASSERT_TRUE(app.Run()) << c.Platform;
    EXPECT_EQ(app.Process().exitStatus(), QProcess::NormalExit) << c.Platform;
    EXPECT_EQ(app.Process().exitCode(), 1) << c.Platform;
    const QString err = app.StandardError();
    EXPECT_TRUE(err.contains("Sphaerix needs OpenGL 3.3")) << c.Platform;
    if (c.Why) EXPECT_TRUE(err.contains(c.Why)) << err.toStdString();
  }
}

// Without a display the program says which one it could not open, in one line, and ends
// with a failure code instead of aborting.
TEST(Program, WithoutADisplaySaysWhichInOneLineAndFails) {
  struct Case {
    const char* Display;         // nullptr: unset
    const char* WaylandDisplay;  // nullptr: unset
    const char* Platform;        // nullptr: the toolkit's choice
    const char* Names;
  } cases[] = {
      {":254", nullptr, nullptr, "X11 display \":254\""},
      {nullptr, nullptr, nullptr, "DISPLAY is not set"},
      {nullptr, "nowhere-7", "wayland", "Wayland display \"nowhere-7\""},
  };
  for (const Case& c : cases) {
    ChildProgram app;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE"}) app.Environment.remove(name);
    if (c.Display) app.Environment.insert("DISPLAY", c.Display);
    if (c.WaylandDisplay) app.Environment.insert("WAYLAND_DISPLAY", c.WaylandDisplay);
    if (c.Platform) app.Environment.insert("QT_QPA_PLATFORM", c.Platform);
    ASSERT_TRUE(app.Run()) << c.Names;
    EXPECT_EQ(app.Process().exitStatus(), QProcess::NormalExit) << c.Names;
    EXPECT_EQ(app.Process().exitCode(), 1) << c.Names;
    const QString err = app.StandardError().trimmed();
    EXPECT_FALSE(err.contains('\n')) << err.toStdString();
    EXPECT_TRUE(err.startsWith("Sphaerix: no display could be opened")) << err.toStdString();
    EXPECT_TRUE(err.contains(c.Names)) << err.toStdString();
  }
}
