// Sphaerix: a viewer of fourteen bodies of the solar system.
#include "app/Unit1.h"
#include "app/Unit2.h"
#include "app/command_line.h"
#include "platform/quit_signals.h"
#include "ui/application.h"

int main(int argc, char** argv) {
  using namespace sphaerix;
  if (const int code = HandleCommandLine(argc, argv); code >= 0) return code;
  // Before the toolkit starts: an end asked for in the first moments is still a clean one.
  CatchQuitSignals();
  TApplication application;
  application.Initialize(argc, argv);
  application.CreateForm(Form2);
  application.CreateForm(Form1);
  return application.Run();
}
