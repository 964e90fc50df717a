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
// "window: steps done" follows the last step. A step that asks the window for no change
// (Esc in a window), or that the window system does not answer within a minute, ends the
// steps with "window: step <n> (<step>) <what happened>" and "window: steps failed".
void PlayWindowSteps(TFormBase& AForm, const QString& ASteps);

}  // namespace sphaerix
