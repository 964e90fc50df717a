// Sphaerix: a viewer of fourteen bodies of the solar system.
#include "app/Unit1.h"
#include "app/Unit2.h"
#include "ui/application.h"

int main() {
  using namespace sphaerix;
  TApplication application;
  application.Initialize();
  application.CreateForm(Form2);
  application.CreateForm(Form1);
  return application.Run();
}
