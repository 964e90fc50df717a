// The program's command line: --help and --version of its own; the toolkit's standard
// options (-platform, -style, ...) are left for the toolkit, which takes them itself.
#pragma once

#include <QString>
#include <QStringList>

namespace sphaerix {

struct TCommandLine {
  enum class TAction { Run, Help, Version, Error };
  TAction Action = TAction::Run;
  // What to print: the help, the version line, or the one-line error.
  QString Text;
};

// Reads the arguments (the program's name first).
TCommandLine ParseCommandLine(const QStringList& AArguments);

// Handles the command line before the toolkit starts (so --help works without a
// display). Returns -1 when the program is to run, else its exit code: 0 after the help
// or the version, 2 after an error.
int HandleCommandLine(int AArgc, char** AArgv);

}  // namespace sphaerix
