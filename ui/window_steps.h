#pragma once

#include <QString>

namespace sphaerix {

class TFormBase;

// For window tests where no keyboard can reach the window (a headless Wayland
// compositor): plays a list of steps on the form's window, separated by spaces. "max"
// maximises the window as a window manager's button would; any other step is a key name
// ("F11", "Esc") delivered as a key press. Each step waits until the window has reached
// the state the previous one asked for and shown a frame in it. Every resize and state
// change is written to standard error as "window: <states> <width>x<height>", and
// "window: steps done" follows the last step.
void PlayWindowSteps(TFormBase& AForm, const QString& ASteps);

}  // namespace sphaerix
