// Programs started by a test as child processes: the viewer itself, with a home folder
// of its own, or a helper such as a private X server or compositor. A child the test
// leaves running is killed when it goes out of scope.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <initializer_list>
#include <utility>

namespace sphaerix::testing {

// A child process that is killed if the test leaves it running.
struct Child {
  QProcess Process;
  Child() = default;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child();
};

// The environment of this process with the names in AUnset removed and those in ASet set.
QProcessEnvironment EnvironmentWith(std::initializer_list<std::pair<const char*, QString>> ASet,
                                    std::initializer_list<const char*> AUnset = {});

// The viewer as a user starts it: its own home (with a Documents folder unless asked
// otherwise), no Documents setting, its own configuration folder, the toolkit's own
// choice of platform. Start it after adjusting Environment.
class ChildProgram {
 public:
  explicit ChildProgram(bool AWithDocuments = true);

  QString Home() const { return FHome.path(); }
  QProcessEnvironment Environment;
  // A program and its arguments that start the viewer for the test (a namespace or a
  // mount around it), the viewer's path and arguments following; empty: none.
  QStringList Launcher;
  QProcess& Process() { return FChild.Process; }

  // Starts the program with AArguments in Environment; false when it could not start.
  bool Start(const QStringList& AArguments = {});
  // Runs it to its end; false when it was still running after ATimeoutMs.
  bool Run(const QStringList& AArguments = {}, int ATimeoutMs = 30000);
  QString StandardOutput() { return QString::fromLocal8Bit(FChild.Process.readAllStandardOutput()); }
  QString StandardError() { return QString::fromLocal8Bit(FChild.Process.readAllStandardError()); }

 private:
  QTemporaryDir FHome;
  Child FChild;
};

}  // namespace sphaerix::testing
