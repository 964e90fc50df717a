// The main window's state as the window system changes it.
#include "app/Unit2.h"
#include "ui/popup_menu.h"

namespace sphaerix {

void TForm2::FormFullScreenChange(TSceneObject*) {
  // The check mark is the state of full screen; it is set, not switched, so that it can
  // never drift from what the window shows.
  MenuItem5->SetIsChecked(FullScreen());
}

}  // namespace sphaerix
