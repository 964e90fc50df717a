// The program as a user starts it: a separate process, a real window on the display.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "tests/support/x11_driver.h"

namespace {

struct Running {
  QTemporaryDir Home;
  QProcess Process;
  QString WindowId;

  explicit Running(bool AWithDocuments = true) {
    if (AWithDocuments) QDir().mkpath(Home.path() + "/Documents");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", Home.path());
    env.remove("XDG_DOCUMENTS_DIR");
    env.insert("XDG_CONFIG_HOME", Home.path() + "/.config");
    Process.setProcessEnvironment(env);
    Process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    Process.start(QStringLiteral(SPHAERIX_EXECUTABLE), {});
  }
  ~Running() {
    if (Process.state() != QProcess::NotRunning) {
      Process.kill();
      Process.waitForFinished(5000);
    }
  }
};

}  // namespace

TEST(Program, StartsFullScreenAndExitsCleanlyWhenClosed) {
  Running app;
  ASSERT_TRUE(app.Process.waitForStarted(10000));
  const QString id = x11::WaitForWindow("^Sphaerix$", 30000);
  ASSERT_FALSE(id.isEmpty()) << "no window titled Sphaerix";

  // Full screen from the start: the window covers the whole screen.
  const QSize screen = x11::ScreenSize();
  QSize size;
  for (int i = 0; i < 50 && size != screen; ++i) {
    size = x11::WindowSize(id);
    QThread::msleep(100);
  }
  EXPECT_EQ(size, screen);

  EXPECT_TRUE(QFileInfo(app.Home.path() + "/Documents/Quorvane/Sphaerix").isDir());

  x11::CloseWindow(id);
  ASSERT_TRUE(app.Process.waitForFinished(15000)) << "the program did not end after its window closed";
  EXPECT_EQ(app.Process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(app.Process.exitCode(), 0);
}

TEST(Program, StartsWithoutADocumentsFolder) {
  Running app(false);
  ASSERT_TRUE(app.Process.waitForStarted(10000));
  const QString id = x11::WaitForWindow("^Sphaerix$", 30000);
  ASSERT_FALSE(id.isEmpty());
  // The desktop's Documents folder is named but missing: nothing is created below it.
  EXPECT_FALSE(QFileInfo(app.Home.path() + "/Documents").exists());
  x11::CloseWindow(id);
  ASSERT_TRUE(app.Process.waitForFinished(15000));
  EXPECT_EQ(app.Process.exitCode(), 0);
}

// Without a usable OpenGL 3.3 the program says so and ends with a failure code.
TEST(Program, WithoutOpenGL33SaysSoAndFails) {
  struct Case {
    const char* Platform;
    const char* GlOverride;
  } cases[] = {{"minimal", nullptr}, {"offscreen", "3.0"}};
  for (const Case& c : cases) {
    QTemporaryDir home;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("QT_QPA_PLATFORM", c.Platform);
    if (c.GlOverride) {
      env.insert("MESA_GL_VERSION_OVERRIDE", c.GlOverride);
      env.insert("MESA_GLSL_VERSION_OVERRIDE", "130");
    }
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(SPHAERIX_EXECUTABLE), {});
    ASSERT_TRUE(p.waitForFinished(30000)) << c.Platform;
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << c.Platform;
    EXPECT_EQ(p.exitCode(), 1) << c.Platform;
    EXPECT_TRUE(p.readAllStandardError().contains("Sphaerix needs OpenGL 3.3")) << c.Platform;
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
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"}) env.remove(name);
    if (c.Display) env.insert("DISPLAY", c.Display);
    if (c.WaylandDisplay) env.insert("WAYLAND_DISPLAY", c.WaylandDisplay);
    if (c.Platform) env.insert("QT_QPA_PLATFORM", c.Platform);
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(SPHAERIX_EXECUTABLE), {});
    ASSERT_TRUE(p.waitForFinished(30000)) << c.Names;
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << c.Names;
    EXPECT_EQ(p.exitCode(), 1) << c.Names;
    const QString err = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
    EXPECT_FALSE(err.contains('\n')) << err.toStdString();
    EXPECT_TRUE(err.startsWith("Sphaerix: no display could be opened")) << err.toStdString();
    EXPECT_TRUE(err.contains(c.Names)) << err.toStdString();
  }
}
