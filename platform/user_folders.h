// The user's folders as the desktop's conventions name them, as bytes: a folder's name
// need not be text in any encoding, and what the program makes there must land in the
// very folder the user has.
#pragma once

#include <string>

namespace sphaerix {

// $HOME when it is an absolute path, else the home folder of the account running the
// program; empty when neither is known.
std::string HomeFolder();
// The home folder of the account running the program, whatever $HOME says; empty when
// the account has none.
std::string AccountHomeFolder();
// An XDG base folder: the variable AVariable when it holds an absolute path (the
// desktop's rules ignore a relative one), else ADefault below the home folder ("" when
// no home is known).
std::string XdgFolder(const char* AVariable, const char* ADefault);

}  // namespace sphaerix
