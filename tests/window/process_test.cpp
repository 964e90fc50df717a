// The program as a user starts it: a separate process, a real window on the display.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "platform/file_replace.h"

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

namespace {

// Adds what AApp writes on its standard error to ALog until it holds AText or the program
// ends; true when it holds it.
bool ReadErrorUntil(QProcess& AApp, QString& ALog, const QString& AText, int AMs) {
  sphaerix::testing::WaitFor([&] {
    AApp.waitForReadyRead(50);
    ALog += QString::fromLocal8Bit(AApp.readAllStandardError());
    return ALog.contains(AText) || AApp.state() == QProcess::NotRunning;
  }, AMs);
  return ALog.contains(AText);
}

// Ends AApp as the session does and expects a clean end.
void EndCleanly(QProcess& AApp) {
  ::kill(static_cast<pid_t>(AApp.processId()), SIGTERM);
  ASSERT_TRUE(AApp.waitForFinished(30000)) << "still running after the request to end";
  EXPECT_EQ(AApp.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(AApp.exitCode(), 0);
}

QStringList EntriesOf(const QString& AFolder) {
  return QDir(AFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

}  // namespace

// The driver maps its shader cache's index into memory, and on a full disk a write there
// ends the process with SIGBUS before the first frame. The program starts without the
// cache on such a disk and says so once.
TEST(Program, StartsWhenTheShaderCacheDiskIsFull) {
  ChildProgram app;
  const QString cache = app.Home() + "/.cache";
  ASSERT_TRUE(QDir().mkpath(cache));
  // A full tmpfs of 1 MiB on the cache folder, in a mount namespace of the program's own:
  // root mounts it there, an ordinary user in a user namespace of their own.
  const QStringList unshare = geteuid() == 0
                                  ? QStringList{"unshare", "--mount", "--propagation", "private"}
                                  : QStringList{"unshare", "--user", "--map-root-user", "--mount", "--propagation", "private"};
  const QString mount = QStringLiteral(R"(mount -t tmpfs -o size=1m tmpfs "$1")");
  QProcess probe;
  probe.setProcessChannelMode(QProcess::MergedChannels);
  probe.start(unshare.first(), unshare.mid(1) + QStringList{"sh", "-c", mount, "sh", cache});
  if (!probe.waitForFinished(30000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
    GTEST_SKIP() << "no tmpfs can be mounted here, as root or in a user namespace: "
                 << probe.readAll().toStdString();
  app.Launcher = unshare + QStringList{"sh", "-c", mount + QStringLiteral(R"( && { cat /dev/zero >"$1/fill" 2>/dev/null; shift; exec "$@"; })"),
                                       "sh", cache};
  app.Environment.insert("XDG_CACHE_HOME", cache);
  for (const char* name : {"MESA_SHADER_CACHE_DIR", "MESA_GLSL_CACHE_DIR", "MESA_SHADER_CACHE_DISABLE",
                           "MESA_GLSL_CACHE_DISABLE"})
    app.Environment.remove(name);
  // No steps to play: the report comes once the first frame is on screen.
  app.Environment.insert("SPHAERIX_WINDOW_STEPS", " ");
  ASSERT_TRUE(app.Start());
  QString log;
  ASSERT_TRUE(ReadErrorUntil(app.Process(), log, "window: steps done", 120000))
      << "no first frame, exit " << app.Process().exitCode() << ":\n" << log.toStdString();
  EXPECT_EQ(log.count("Sphaerix: "), 1) << log.toStdString();
  EXPECT_TRUE(log.contains("Sphaerix: the disk of the shader cache (" + cache + "/mesa_shader_cache) is full"))
      << log.toStdString();
  EndCleanly(app.Process());
}

// A save killed between naming its temporary and renaming it, in a folder other than the
// data folder: the next start clears the temporary, and the old file is as it was.
TEST(Program, AStartClearsWhatAKilledSaveLeftInAnyFolder) {
  ChildProgram app;
  const QString pictures = app.Home() + "/Pictures";
  ASSERT_TRUE(QDir().mkpath(pictures));
  {
    QFile old(pictures + "/shot.jpg");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old picture");
  }
  const std::string target = (pictures + "/shot.jpg").toStdString();
  const QByteArray home = QFile::encodeName(app.Home());
  const pid_t saver = fork();
  if (saver == 0) {
    // The same user's earlier run of the program.
    setenv("HOME", home.constData(), 1);
    unsetenv("XDG_STATE_HOME");
    sphaerix::OnTemporaryNamed = [] { raise(SIGKILL); };
    try {
      sphaerix::WriteFileReplacing(target, "new picture", 11);
    } catch (...) {
    }
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(saver, &status, 0), saver);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  ASSERT_EQ(EntriesOf(pictures).size(), 2) << EntriesOf(pictures).join(' ').toStdString();

  app.Environment.remove("XDG_STATE_HOME");
  app.Process().setProcessChannelMode(QProcess::ForwardedErrorChannel);
  ASSERT_TRUE(app.Start());
  const QString id = x11::WaitForWindow("^Sphaerix$", 60000);
  ASSERT_FALSE(id.isEmpty());
  EXPECT_EQ(EntriesOf(pictures), QStringList{"shot.jpg"});
  QFile kept(pictures + "/shot.jpg");
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), "old picture");
  EndCleanly(app.Process());
}
