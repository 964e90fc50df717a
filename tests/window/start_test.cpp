// The start of the program as its own process: the session's requests to end it from the
// first moment on, a signal it was started to ignore (nohup) left ignored, and the
// screenshot folder cleared of what killed saves left there.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>

#include "tests/support/child_program.h"
#include "tests/support/wait.h"
#include "tests/support/x11_driver.h"

using sphaerix::testing::ChildProgram;

namespace {

// The signals the process APid ignores or catches, from its status ("SigIgn", "SigCgt").
unsigned long long SignalMask(qint64 APid, const char* AField) {
  QFile status(QStringLiteral("/proc/%1/status").arg(APid));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith(AField)) return line.mid(line.indexOf(':') + 1).trimmed().toULongLong(nullptr, 16);
  return 0;
}

bool Has(unsigned long long AMask, int ASignal) { return (AMask >> (ASignal - 1)) & 1u; }

}  // namespace

// The request to end reaches a program whose menu is open, and the menu goes with it.
TEST(Signals, ATerminationRequestWithTheMenuOpenEndsTheProgramCleanly) {
  ChildProgram app;
  ASSERT_TRUE(app.Start());
  const QString id = x11::WaitForWindow("^Sphaerix$", 30000);
  ASSERT_FALSE(id.isEmpty());
  x11::Xdotool({"windowactivate", "--sync", id});
  x11::Xdotool({"key", "--window", id, "shift+F10"});
  // The menu is a window of its own once it is open.
  const QString pid = QString::number(app.Process().processId());
  ASSERT_TRUE(sphaerix::testing::WaitFor(
      [&] { return x11::Xdotool({"search", "--onlyvisible", "--pid", pid}).trimmed().split('\n').size() >= 2; },
      30000))
      << "the menu did not open";
  kill(static_cast<pid_t>(app.Process().processId()), SIGTERM);
  ASSERT_TRUE(app.Process().waitForFinished(30000)) << "still running after the request to end";
  EXPECT_EQ(app.Process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(app.Process().exitCode(), 0);
}

// A TERM that is already waiting when the program begins (the earliest a request can
// come) ends it as cleanly as one that comes later.
TEST(Signals, ATerminationRequestFromTheFirstMomentEndsTheProgramCleanly) {
  ChildProgram app;
  app.Process().setChildProcessModifier([] {
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigprocmask(SIG_BLOCK, &term, nullptr);
    raise(SIGTERM);  // waits, blocked, into the program
  });
  ASSERT_TRUE(app.Start());
  ASSERT_TRUE(app.Process().waitForFinished(60000)) << "the request was never acted on";
  EXPECT_EQ(app.Process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(app.Process().exitCode(), 0);
}

// Started under nohup, the program keeps ignoring HUP, and still ends cleanly on TERM.
TEST(Signals, AnInheritedIgnoreOfHangUpIsKept) {
  ChildProgram app;
  app.Process().setChildProcessModifier([] { signal(SIGHUP, SIG_IGN); });
  ASSERT_TRUE(app.Start());
  ASSERT_FALSE(x11::WaitForWindow("^Sphaerix$", 30000).isEmpty());
  EXPECT_TRUE(Has(SignalMask(app.Process().processId(), "SigIgn"), SIGHUP));
  EXPECT_FALSE(Has(SignalMask(app.Process().processId(), "SigCgt"), SIGHUP));
  EXPECT_TRUE(Has(SignalMask(app.Process().processId(), "SigCgt"), SIGTERM));
  EXPECT_TRUE(Has(SignalMask(app.Process().processId(), "SigCgt"), SIGINT));
  kill(static_cast<pid_t>(app.Process().processId()), SIGHUP);
  kill(static_cast<pid_t>(app.Process().processId()), SIGTERM);
  ASSERT_TRUE(app.Process().waitForFinished(30000));
  EXPECT_EQ(app.Process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(app.Process().exitCode(), 0);
}

// Saves killed halfway leave hidden temporaries; the start clears those of the screenshot
// folder, and leaves alone one that a running save (here: this test) holds.
TEST(Start, ClearsWhatKilledSavesLeftInTheScreenshotFolder) {
  ChildProgram app;
  const QString folder = app.Home() + "/Documents/Quorvane/Sphaerix/";
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString stale = folder + ".sphaerix-save-12345-aBcDeF";
  const QString held = folder + ".sphaerix-save-678-gHiJkL";
  for (const QString& name : {stale, held}) {
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(1 << 20, 'x'));
  }
  const int holder = open(QFile::encodeName(held).constData(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);

  ASSERT_TRUE(app.Start());
  const QString id = x11::WaitForWindow("^Sphaerix$", 30000);
  ASSERT_FALSE(id.isEmpty());
  EXPECT_FALSE(QFile::exists(stale));
  EXPECT_TRUE(QFile::exists(held));
  close(holder);
  kill(static_cast<pid_t>(app.Process().processId()), SIGTERM);
  EXPECT_TRUE(app.Process().waitForFinished(30000));
}
