// Opening the display. The toolkit aborts the process when its window-system plugin
// cannot connect (no X server at DISPLAY, no Wayland compositor at WAYLAND_DISPLAY), with
// a hint about reinstalling that misleads. This turns that into one line that names the
// display that could not be opened, and exit code 1.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace sphaerix {

// Runs AMakeApplication, which constructs the toolkit's application object. If that
// finds no display, prints "Sphaerix: no display could be opened (...)." to standard
// error and ends the process with exit code 1; it does not return then. Otherwise what
// the toolkit printed while connecting is passed on to standard error as usual.
// ARequestedDisplay is the X display named on the command line ("-display :1"), if any:
// the toolkit connects to it rather than to DISPLAY, so the message must name it.
void OpenDisplayOrExit(const std::function<void()>& AMakeApplication, const std::string& ARequestedDisplay = {});

// The line printed for the window-system plugins that could not connect (as the
// toolkit names them: "xcb", "wayland", ...), from the environment they read.
std::string NoDisplayMessage(const std::vector<std::string>& APlatforms, const std::string& ARequestedDisplay = {});

// The value of the toolkit's "-display" option in AArguments ("-display :1",
// "--display=:1"), or empty.
std::string RequestedDisplay(const std::vector<std::string>& AArguments);

}  // namespace sphaerix
