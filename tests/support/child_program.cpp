#include "tests/support/child_program.h"

#include <QDir>

namespace sphaerix::testing {

Child::~Child() {
  if (Process.state() == QProcess::NotRunning) return;
  Process.kill();
  Process.waitForFinished(5000);
}

QProcessEnvironment EnvironmentWith(std::initializer_list<std::pair<const char*, QString>> ASet,
                                    std::initializer_list<const char*> AUnset) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : AUnset) env.remove(QString::fromLatin1(name));
  for (const auto& [name, value] : ASet) env.insert(QString::fromLatin1(name), value);
  return env;
}

ChildProgram::ChildProgram(bool AWithDocuments) {
  if (AWithDocuments) QDir().mkpath(Home() + "/Documents");
  Environment = EnvironmentWith({{"HOME", Home()}, {"XDG_CONFIG_HOME", Home() + "/.config"}},
                                {"XDG_DOCUMENTS_DIR", "QT_QPA_PLATFORM"});
}

bool ChildProgram::Start(const QStringList& AArguments) {
  FChild.Process.setProcessEnvironment(Environment);
  if (Launcher.isEmpty())
    FChild.Process.start(QStringLiteral(SPHAERIX_EXECUTABLE), AArguments);
  else
    FChild.Process.start(Launcher.first(), Launcher.mid(1) + QStringList{QStringLiteral(SPHAERIX_EXECUTABLE)} + AArguments);
  return FChild.Process.waitForStarted(10000);
}

bool ChildProgram::Run(const QStringList& AArguments, int ATimeoutMs) {
  return Start(AArguments) && FChild.Process.waitForFinished(ATimeoutMs);
}

}  // namespace sphaerix::testing
