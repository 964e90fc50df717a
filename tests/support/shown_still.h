// The viewer held on one body: its fades over, its spin stopped where it is, so that
// pictures taken one after another differ only by what a test changes.
#pragma once

#include "app/Unit2.h"
#include "ui/controls.h"
#include "app/map_residency.h"
#include "scene/animation/animation.h"
#include "scene/mesh/mesh.h"
#include "tests/support/wait.h"

namespace sphaerix::testing {

// Selects body ABody (0 is the one shown at start) and waits until it is loaded and
// whole, and every picture still decoding (a finer map, the whole star map) has arrived;
// false when it did not get there within a minute.
inline bool ShowBodyStill(int ABody) {
  auto settled = [] {
    return !Form2->Maps().SelectionRunning() && Form2->Sphere1->Opacity() == 1 && Form2->Maps().Settled() &&
           Form2->Maps().StarsReduction() == 1;
  };
  if (!WaitFor(settled, 60000)) return false;
  if (Form2->Maps().ShownBody() != ABody) {
    Form2->Buttons[ABody]->Click();
    if (!WaitFor([&] { return settled() && Form2->Maps().ShownBody() == ABody; }, 60000)) return false;
  }
  Form2->FloatAnimation1->StopAtCurrent();
  return true;
}

}  // namespace sphaerix::testing
