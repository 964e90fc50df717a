// The window system going away under the running program (the Wayland compositor or the
// X server ends): the toolkit notices, prints its own words and ends the process. The
// user gets the program's one line instead.
#pragma once

#include <string>

namespace sphaerix {

// The program's words for the toolkit's message of a lost window-system connection
// ("Sphaerix: ..."), or empty for any other message.
std::string ConnectionLostMessage(const std::string& AToolkitMessage);

// From now on, the toolkit's messages of a lost connection are written in the program's
// words; all others go where they went. Needs the toolkit's application made.
void SayConnectionLostInOurWords();

}  // namespace sphaerix
